#include "editor/template_editor_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "editor/ai_page.h"
#include "editor/ao_page.h"
#include "editor/device_page.h"
#include "editor/no_config_page.h"
#include "editor/resource.h"
#include "editor/template_page.h"
#include "templates/template_file.h"
#include "winui/bitmap.h"
#include "winui/module.h"

namespace zuv {

TemplateEditorDialog* ActiveEditor = nullptr;
bool IsModified = false;

const char kTooManyTemplatesText[] = "Support up to 16 Templates";
const char kSaveChangesText[] = "The configuration of USB-8620 is change, save the change";
const char kSaveChangesCaption[] = "Note";
const char kSaveFailedText[] = "The templates could not be saved.";

namespace {

const char* const kTabNames[TemplateEditorDialog::kPageCount] = {"Device", "AI", "AO", "DIO",
                                                                 "Counter"};

// Room left above a page for the tab headers, and to its left, in pixels at
// 96 DPI (the headers grow with the DPI).
constexpr int kPageOffsetX = 5;
constexpr int kPageOffsetY = 25;

// Copies at most size - 1 characters and terminates; reads no further than
// that from `source`.
void CopyBounded(char* target, size_t size, const char* source) {
  size_t length = source != nullptr ? strnlen(source, size - 1) : 0;
  std::memset(target, 0, size);
  if (length != 0) std::memcpy(target, source, length);
}

// "Template" in any letter case.
bool StartsWithTemplate(const std::string& text) {
  return text.size() >= 8 && _strnicmp(text.c_str(), "Template", 8) == 0;
}

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(TemplateEditorDialog, winui::Dialog)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_ADD, OnAdd)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_REMOVE, OnRemove)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDA, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDW, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TCN_SELCHANGE, IDC_TAB, OnSelchangeTab)
  WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)
WINUI_END_MESSAGE_MAP()

TemplateEditorDialog::TemplateEditorDialog(HWND parent)
    : winui::Dialog(IDD_TEMPLATE_EDITOR, parent), parent_(parent) {
  ActiveEditor = this;
}

TemplateEditorDialog::~TemplateEditorDialog() {
  // Pages with a window deleted themselves with it; the others are ours.
  for (int i = 0; i < kPageCount; ++i) {
    if (!pageHasWindow_[i]) delete pages_[i];
  }
  if (ActiveEditor == this) ActiveEditor = nullptr;
}

void TemplateEditorDialog::SetArguments(const char* rootPath, const char* driverName,
                                        const char* extraText) {
  CopyBounded(rootPath_, sizeof(rootPath_), rootPath);
  CopyBounded(driverName_, sizeof(driverName_), driverName);
  CopyBounded(extraText_, sizeof(extraText_), extraText);
}

bool TemplateEditorDialog::SetDriverFilePath(const char* path) {
  size_t length = strnlen(path, sizeof(driverFilePath_));
  if (length >= sizeof(driverFilePath_)) return false;
  CopyBounded(driverFilePath_, sizeof(driverFilePath_), path);
  return true;
}

BOOL TemplateEditorDialog::CreateEditor() {
  winui::InitCommonControls(ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                            ICC_STANDARD_CLASSES);
  return Create() ? TRUE : FALSE;
}

void TemplateEditorDialog::DoDataExchange() {
  BindControl(saveButton_, IDOK);
  BindControl(tabControl_, IDC_TAB);
  BindControl(templateTree_, IDC_TEMPLATE_TREE);
}

BOOL TemplateEditorDialog::OnInitDialog() {
  winui::Dialog::OnInitDialog();
  saveButton_.Enable(false);

  CreatePageObjects();
  for (int i = 0; i < kPageCount; ++i) tabControl_.InsertItem(i, kTabNames[i]);

  try {
    LoadTemplateTable(templates_, driverFilePath_);
  } catch (...) {
    // Nothing could be read: the editor opens with every slot free.
    templates_.Clear();
    for (uint32_t n = 0; n < kTemplateCount; ++n) templates_[n].SwitchID = n;
  }

  PlacePages();
  ShowCurrentPage();
  FillTemplateTree();
  // The pages precede the tree in the tab order (they lie on top of the tab
  // control); the user starts at the tree, with its selection in view.
  SetFocus(templateTree_.Handle());
  return FALSE;
}

void TemplateEditorDialog::CreatePageObjects() {
  // Tab order: Device, AI, AO, DIO, Counter; DIO and Counter are two
  // objects of the same class, each with its own window.
  pages_[0] = new DevicePage(this);
  pages_[1] = new AiPage(this);
  pages_[2] = new AoPage(this);
  pages_[3] = new NoConfigPage(this);
  pages_[4] = new NoConfigPage(this);
}

void TemplateEditorDialog::PlacePages() {
  RECT area = tabControl_.ClientRect();
  MapWindowPoints(tabControl_.Handle(), hwnd_, reinterpret_cast<POINT*>(&area), 2);
  for (int i = 0; i < kPageCount; ++i) {
    TemplatePage* page = pages_[i];
    if (page == nullptr || !page->CreatePage()) continue;
    pageHasWindow_[i] = true;
    // The dialog manager moves the focus into the page's controls with Tab
    // and the arrows as into the editor's own.
    LONG exStyle = GetWindowLongA(page->Handle(), GWL_EXSTYLE);
    SetWindowLongA(page->Handle(), GWL_EXSTYLE, exStyle | WS_EX_CONTROLPARENT);
    RECT size = page->ClientRect();
    // Above the tab control, so that the page is drawn over its client area.
    SetWindowPos(page->Handle(), HWND_TOP, area.left + winui::ScaleToScreen(kPageOffsetX),
                 area.top + winui::ScaleToScreen(kPageOffsetY),
                 size.right - size.left, size.bottom - size.top, SWP_NOREDRAW | SWP_NOACTIVATE);
    page->Show(SW_HIDE);
  }
}

void TemplateEditorDialog::HideAllPages() {
  for (int i = 0; i < kPageCount; ++i) {
    if (pages_[i] != nullptr && pageHasWindow_[i]) pages_[i]->Show(SW_HIDE);
  }
}

bool TemplateEditorDialog::FillTemplateTree() {
  HTREEITEM top = templateTree_.InsertItem("DeviceTemplate", kTopItem, TVI_ROOT, TVI_LAST);
  HTREEITEM module = templateTree_.InsertItem("USB-8620A", kModuleItem, top, TVI_LAST);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (templates_[n].Used == 0) continue;
    char text[32];
    std::snprintf(text, sizeof(text), "Template%u", static_cast<unsigned>(n));
    templateTree_.InsertItem(text, kTemplateItem, module, TVI_LAST);
  }
  HTREEITEM first = templateTree_.GetChildItem(module);
  templateTree_.SelectItem(first != nullptr ? first : module);
  return true;
}

DeviceTemplate* TemplateEditorDialog::GetSelectedTemplate() {
  HTREEITEM item = templateTree_.GetSelectedItem();
  if (item == nullptr || templateTree_.GetItemData(item) != kTemplateItem) return nullptr;
  std::string text = templateTree_.GetItemText(item);
  uint32_t n = 0;
  size_t position = 8;
  if (text.size() <= position) return nullptr;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    n = n * 10 + static_cast<uint32_t>(text[position] - '0');
    if (n >= kTemplateCount) return nullptr;
  }
  if (position == 8) return nullptr;
  return &templates_[n];
}

BOOL TemplateEditorDialog::ShowCurrentPage() {
  int tab = tabControl_.GetCurSel();
  if (tab >= 0 && tab < kPageCount && pages_[tab] != nullptr) {
    pages_[tab]->SetTemplate(GetSelectedTemplate());
  }
  return TRUE;
}

void TemplateEditorDialog::OnSelchangedTree(NMHDR*, LRESULT* result) {
  *result = 0;
  HideAllPages();
  HTREEITEM item = templateTree_.GetSelectedItem();
  if (item == nullptr || templateTree_.GetItemData(item) != kTemplateItem) return;
  int tab = tabControl_.GetCurSel();
  if (tab >= 0 && tab < kPageCount && pages_[tab] != nullptr && pageHasWindow_[tab]) {
    pages_[tab]->Show(SW_SHOW);
  }
  ShowCurrentPage();
}

void TemplateEditorDialog::OnSelchangeTab(NMHDR*, LRESULT* result) {
  *result = 0;
  int tab = tabControl_.GetCurSel();
  HTREEITEM item = templateTree_.GetSelectedItem();
  if (item == nullptr || !StartsWithTemplate(templateTree_.GetItemText(item))) return;
  HideAllPages();
  if (tab >= 0 && tab < kPageCount && pages_[tab] != nullptr && pageHasWindow_[tab]) {
    pages_[tab]->Show(SW_SHOW);
  }
  ShowCurrentPage();
}

void TemplateEditorDialog::OnAdd() {
  HTREEITEM module = templateTree_.GetChildItem(templateTree_.GetRootItem());
  uint32_t slot = kTemplateCount;
  if (!templates_.AllocateTemplate(&slot) || slot >= kTemplateCount) {
    MessageBoxA(hwnd_, kTooManyTemplatesText, winui::ModuleName(), MB_OK);
    return;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "Template%u", static_cast<unsigned>(slot));
  HTREEITEM item = templateTree_.InsertItem(text, kTemplateItem, module, TVI_LAST);
  templateTree_.SelectItem(item);
  MarkModified();
}

void TemplateEditorDialog::OnRemove() {
  HTREEITEM item = templateTree_.GetSelectedItem();
  if (item == nullptr) return;
  LPARAM kind = templateTree_.GetItemData(item);
  if (kind == kTopItem || kind == kModuleItem) return;
  if (DeviceTemplate* removed = GetSelectedTemplate()) removed->Used = 0;
  templateTree_.DeleteItem(item);
  MarkModified();
}

void TemplateEditorDialog::MarkModified() {
  IsModified = true;
  saveButton_.Enable(true);
}

bool TemplateEditorDialog::Save(HWND owner) {
  SaveResult result = SaveTemplateTable(templates_, driverFilePath_);
  if (!result.ok) {
    std::string text = std::string(kSaveFailedText) + "\n\n" + result.message;
    MessageBoxA(owner, text.c_str(), winui::ModuleName(), MB_OK | MB_ICONERROR);
    MarkModified();
    return false;
  }
  IsModified = false;
  // A disabled window cannot keep the focus; hand it on so that the keyboard
  // still works after Enter pressed Save.
  if (GetFocus() == saveButton_.Handle()) {
    SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(templateTree_.Handle()), TRUE);
  }
  saveButton_.Enable(false);
  return true;
}

void TemplateEditorDialog::OnOK() { Save(hwnd_); }

bool TemplateEditorDialog::AskToSave(HWND owner) {
  int answer = MessageBoxA(owner, kSaveChangesText, kSaveChangesCaption, MB_OKCANCEL);
  if (answer == IDOK && !Save(owner)) return false;
  IsModified = false;
  return true;
}

void TemplateEditorDialog::OnCancel() {
  // A failed save keeps the window open with the edits still unsaved.
  if (IsModified && !AskToSave(hwnd_)) return;
  EndDialog(IDCANCEL);
}

void TemplateEditorDialog::OnDestroy() {
  if (IsModified) AskToSave(nullptr);
  IsModified = false;
}

void TemplateEditorDialog::PostNcDestroy() { delete this; }

}  // namespace zuv

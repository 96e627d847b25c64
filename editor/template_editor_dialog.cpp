#include "editor/template_editor_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "editor/open_editors.h"
#include "editor/page_controls.h"
#include "editor/reading_order.h"
#include "editor/resource.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"
#include "winui/accessibility.h"
#include "winui/bitmap.h"
#include "winui/module.h"

namespace zuv {

const char kSaveChangesText[] = "The configuration of USB-8620 is change, save the change";
const char kSaveChangesCaption[] = "Note";
const char kSaveFailedText[] = "The templates could not be saved.";
const char kOpenFailedText[] = "The driver file could not be read; the editor shows no templates.";
const char kNotWrittenText[] =
    "The editor shows the driver file's templates, but Save will not write this file.";
const char kChangedOnDiskText[] =
    "The templates in the driver file were changed by another program after this editor "
    "read them.\n\n"
    "Yes: save, replacing the file's templates with the editor's.\n"
    "No: reload the templates from the file; the editor's changes are lost.\n"
    "Cancel: save nothing and keep editing.";

namespace {

const char* const kTabNames[TemplateEditorDialog::kPageCount] = {"Device", "AI", "AO", "DIO",
                                                                 "Counter"};

// Room left above a page for the tab headers, and to its left, in pixels at
// 96 DPI (the headers grow with the DPI).
constexpr int kPageOffsetX = 5;
constexpr int kPageOffsetY = 25;

// Posted to the editor to show the box of a file not read at open once the
// window is up.
constexpr UINT kShowOpenErrorMessage = WM_APP + 1;

// Copies at most size - 1 characters and terminates; reads no further than
// that from `source`.
void CopyBounded(char* target, size_t size, const char* source) {
  size_t length = source != nullptr ? strnlen(source, size - 1) : 0;
  std::memset(target, 0, size);
  if (length != 0) std::memcpy(target, source, length);
}

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(TemplateEditorDialog, winui::Dialog)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_ADD, OnAdd)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_REMOVE, OnRemove)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDA, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDW, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TCN_SELCHANGE, IDC_TAB, OnSelchangeTab)
  WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)
  WINUI_ON_MESSAGE(kShowOpenErrorMessage, OnShowOpenError)
WINUI_END_MESSAGE_MAP()

TemplateEditorDialog::TemplateEditorDialog(HWND parent)
    : winui::Dialog(IDD_TEMPLATE_EDITOR, parent),
      devicePage_(*this),
      aiPage_(*this),
      aoPage_(*this),
      dioPage_(*this),
      counterPage_(*this),
      pages_{&devicePage_, &aiPage_, &aoPage_, &dioPage_, &counterPage_} {}

TemplateEditorDialog::~TemplateEditorDialog() { UnregisterOpenEditor(this); }

TemplateEditorDialog* TemplateEditorDialog::FindOpen(const char* driverFilePath) {
  return FindOpenEditor(driverFilePath);
}

void TemplateEditorDialog::BringToFront() const {
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  BringWindowToTop(hwnd_);
  SetForegroundWindow(hwnd_);
  SetActiveWindow(hwnd_);
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
  if (!Create()) return FALSE;
  RegisterOpenEditor(this, driverFilePath_);
  return TRUE;
}

void TemplateEditorDialog::DoDataExchange() {
  BindControl(saveButton_, IDOK);
  BindControl(tabControl_, IDC_TAB);
  BindControl(templateTree_, IDC_TEMPLATE_TREE);
}

BOOL TemplateEditorDialog::OnInitDialog() {
  winui::Dialog::OnInitDialog();
  saveButton_.Enable(false);
  for (int i = 0; i < kPageCount; ++i) tabControl_.InsertItem(i, kTabNames[i]);

  LoadFromFile();

  PlacePages();
  for (HWND control : NamedControls()) winui::AnnotateAccessibleName(control);
  FillTemplateTree();
  // The user starts at the tree, with its selection in view.
  SetFocus(templateTree_.Handle());
  if (!openStatus_.ok() || !notWritten_.ok()) PostMessageA(hwnd_, kShowOpenErrorMessage, 0, 0);
  return FALSE;
}

void TemplateEditorDialog::LoadFromFile() {
  try {
    openStatus_ = LoadTemplateTableReporting(templates_, driverFilePath_, NativeFileSystem(), {},
                                             &notWritten_);
  } catch (...) {
    // Nothing could be read: the editor shows every slot free.
    templates_.Clear();
    for (uint32_t n = 0; n < kTemplateCount; ++n) templates_[n].SwitchID = n;
  }
  onDisk_ = templates_;
}

void TemplateEditorDialog::OnShowOpenError() {
  const std::string text = !openStatus_.ok()
                               ? std::string(kOpenFailedText) + "\n\n" + ErrorText(openStatus_)
                               : std::string(kNotWrittenText) + "\n\n" + ErrorText(notWritten_);
  MessageBoxA(hwnd_, text.c_str(), winui::ModuleName(), MB_OK | MB_ICONWARNING);
}

std::vector<HWND> TemplateEditorDialog::NamedControls() const {
  return {templateTree_.Handle(), tabControl_.Handle(),
          GetDlgItem(aiPage_.Handle(), IDC_CHANNEL_LIST)};
}

void TemplateEditorDialog::PlacePages() {
  RECT area = tabControl_.ClientRect();
  MapWindowPoints(tabControl_.Handle(), hwnd_, reinterpret_cast<POINT*>(&area), 2);
  for (TemplatePage* page : pages_) {
    if (!page->CreatePage(hwnd_)) continue;
    // The dialog manager handles the keys of the page's controls (arrows,
    // Enter, Escape) as those of the editor's own.
    LONG exStyle = GetWindowLongA(page->Handle(), GWL_EXSTYLE);
    SetWindowLongA(page->Handle(), GWL_EXSTYLE, exStyle | WS_EX_CONTROLPARENT);
    RECT size = page->ClientRect();
    // Above the tab control, which leaves its siblings above it unpainted
    // (WS_CLIPSIBLINGS): the page shows over its client area whichever of
    // the two repaints.
    SetWindowPos(page->Handle(), HWND_TOP, area.left + winui::ScaleToScreen(kPageOffsetX),
                 area.top + winui::ScaleToScreen(kPageOffsetY),
                 size.right - size.left, size.bottom - size.top, SWP_NOREDRAW | SWP_NOACTIVATE);
    page->Show(SW_HIDE);
  }
}

void TemplateEditorDialog::FillTemplateTree() {
  HTREEITEM top = templateTree_.InsertItem("DeviceTemplate", kTopItem, TVI_ROOT, TVI_LAST);
  HTREEITEM module = templateTree_.InsertItem("USB-8620A", kModuleItem, top, TVI_LAST);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (templates_[n].Used == 0) continue;
    templateTree_.InsertItem(TemplateName(n).c_str(), static_cast<LPARAM>(n), module, TVI_LAST);
  }
  HTREEITEM first = templateTree_.GetChildItem(module);
  templateTree_.SelectItem(first != nullptr ? first : module);
}

int TemplateEditorDialog::SlotOf(HTREEITEM item) const {
  if (item == nullptr) return -1;
  LPARAM data = templateTree_.GetItemData(item);
  return data >= 0 && data < static_cast<LPARAM>(kTemplateCount) ? static_cast<int>(data) : -1;
}

DeviceTemplate* TemplateEditorDialog::SelectedTemplate() {
  int slot = SlotOf(templateTree_.GetSelectedItem());
  return slot >= 0 ? &templates_[static_cast<uint32_t>(slot)] : nullptr;
}

void TemplateEditorDialog::ShowPage() {
  int tab = tabControl_.GetCurSel();
  bool selected = SelectedTemplate() != nullptr;
  for (int i = 0; i < kPageCount; ++i) {
    if (i != tab || !selected) pages_[i]->Show(SW_HIDE);
  }
  if (!selected || tab < 0 || tab >= kPageCount) return;
  pages_[tab]->Show(SW_SHOW);
  pages_[tab]->Refresh();
}

void TemplateEditorDialog::SelectTab(int index) {
  HWND focus = GetFocus();
  bool focusInPage = std::any_of(std::begin(pages_), std::end(pages_), [focus](TemplatePage* page) {
    return focus != nullptr && IsChild(page->Handle(), focus);
  });
  tabControl_.SetCurSel(index);
  ShowPage();
  // The focus does not stay on a control of a page just hidden.
  if (focusInPage) {
    SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tabControl_.Handle()), TRUE);
  }
}

std::vector<HWND> TemplateEditorDialog::TabStops() const {
  std::vector<HWND> stops = {templateTree_.Handle(), tabControl_.Handle()};
  for (TemplatePage* page : pages_) {
    if (page->IsVisible()) AppendChildren(page->Handle(), stops);
  }
  for (int id : {IDC_ADD, IDC_REMOVE, IDOK, IDCANCEL}) stops.push_back(GetDlgItem(hwnd_, id));
  KeepTabStops(stops);
  return stops;
}

bool TemplateEditorDialog::MoveFocusInReadingOrder(HWND focus, bool backwards) {
  HWND next = NextTabStop(TabStops(), focus, backwards);
  if (next == nullptr) return false;
  SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
  return true;
}

bool TemplateEditorDialog::PreTranslateKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || GetKeyState(VK_MENU) < 0) return false;
  if (GetKeyState(VK_CONTROL) >= 0) {
    // Tab: the pages lie above the tab control, so the dialog manager's order
    // would put their controls first.
    if (message.wParam != VK_TAB) return false;
    LRESULT code = SendMessageA(message.hwnd, WM_GETDLGCODE, VK_TAB,
                                reinterpret_cast<LPARAM>(&message));
    if ((code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) != 0) return false;
    return MoveFocusInReadingOrder(message.hwnd, GetKeyState(VK_SHIFT) < 0);
  }
  int step = 0;
  if (message.wParam == VK_TAB) step = GetKeyState(VK_SHIFT) < 0 ? -1 : 1;
  if (message.wParam == VK_NEXT) step = 1;
  if (message.wParam == VK_PRIOR) step = -1;
  if (step == 0) return false;
  int tab = std::max(tabControl_.GetCurSel(), 0);
  SelectTab((tab + step + kPageCount) % kPageCount);
  return true;
}

void TemplateEditorDialog::OnSelchangedTree(NMHDR*, LRESULT* result) {
  *result = 0;
  ShowPage();
}

void TemplateEditorDialog::OnSelchangeTab(NMHDR*, LRESULT* result) {
  *result = 0;
  ShowPage();
}

void TemplateEditorDialog::OnAdd() {
  HTREEITEM module = templateTree_.GetChildItem(templateTree_.GetRootItem());
  uint32_t slot = kTemplateCount;
  const Refusal refusal = AddTemplate(templates_, &slot);
  if (refusal != Refusal::kNone) {
    MessageBoxA(hwnd_, RefusalText(refusal), winui::ModuleName(), MB_OK);
    return;
  }
  HTREEITEM item = templateTree_.InsertItem(TemplateName(slot).c_str(), static_cast<LPARAM>(slot),
                                            module, TVI_LAST);
  templateTree_.SelectItem(item);
  MarkModified();
}

void TemplateEditorDialog::OnRemove() {
  HTREEITEM item = templateTree_.GetSelectedItem();
  int slot = SlotOf(item);
  if (slot < 0) return;
  RemoveTemplate(templates_, static_cast<uint32_t>(slot));
  templateTree_.DeleteItem(item);
  MarkModified();
}

void TemplateEditorDialog::MarkModified() {
  modified_ = true;
  saveButton_.Enable(true);
}

void TemplateEditorDialog::MarkSaved() {
  modified_ = false;
  // A disabled window cannot keep the focus; hand it on so that the keyboard
  // still works after Enter pressed Save.
  if (GetFocus() == saveButton_.Handle()) {
    SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(templateTree_.Handle()), TRUE);
  }
  saveButton_.Enable(false);
}

void TemplateEditorDialog::Reload() {
  LoadFromFile();
  MarkSaved();
  templateTree_.DeleteItem(TVI_ROOT);
  FillTemplateTree();
  // A file that cannot be read now is told as at open.
  if (!openStatus_.ok()) PostMessageA(hwnd_, kShowOpenErrorMessage, 0, 0);
}

bool TemplateEditorDialog::Save(HWND owner) {
  Status result = SaveTemplateTable(templates_, driverFilePath_, NativeFileSystem(), &onDisk_);
  if (result.condition() == Condition::kChangedOnDisk) {
    std::string text = std::string(driverFilePath_) + "\n\n" + kChangedOnDiskText;
    int answer = MessageBoxA(owner, text.c_str(), winui::ModuleName(),
                             MB_YESNOCANCEL | MB_ICONWARNING);
    if (answer == IDNO) {
      Reload();
      return true;
    }
    if (answer != IDYES) return false;
    result = SaveTemplateTable(templates_, driverFilePath_);
  }
  if (!result.ok()) {
    std::string text = std::string(kSaveFailedText) + "\n\n" + ErrorText(result);
    MessageBoxA(owner, text.c_str(), winui::ModuleName(), MB_OK | MB_ICONERROR);
    MarkModified();
    return false;
  }
  onDisk_ = templates_;
  MarkSaved();
  return true;
}

void TemplateEditorDialog::OnOK() { Save(hwnd_); }

bool TemplateEditorDialog::AskToSave(HWND owner) {
  int answer = MessageBoxA(owner, kSaveChangesText, kSaveChangesCaption, MB_OKCANCEL);
  if (answer == IDOK && !Save(owner)) return false;
  modified_ = false;
  return true;
}

void TemplateEditorDialog::OnCancel() {
  // A failed or cancelled save keeps the window open with the edits unsaved.
  if (modified_ && !AskToSave(hwnd_)) return;
  EndDialog(IDCANCEL);
}

void TemplateEditorDialog::OnDestroy() {
  for (HWND control : NamedControls()) winui::ClearAccessibleName(control);
  if (modified_) AskToSave(nullptr);
  modified_ = false;
}

void TemplateEditorDialog::PostNcDestroy() { delete this; }

}  // namespace zuv

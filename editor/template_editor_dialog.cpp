#include "editor/template_editor_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/bounded_copy.h"
#include "editor/message_boxes.h"
#include "editor/open_boxes.h"
#include "editor/open_editors.h"
#include "editor/page_controls.h"
#include "editor/reading_order.h"
#include "editor/resource.h"
#include "editor/save_prompts.h"
#include "templates/template_changes_text.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"
#include "winui/accessibility.h"
#include "winui/bitmap.h"
#include "winui/module.h"
#include "winui/wait_cursor.h"
#include "winui/wide_text.h"

namespace zuv {

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

// Posted by the image walk's thread with the text of the image's other .reg
// files (a std::string the handler takes over).
constexpr UINT kImageCheckedMessage = WM_APP + 27;

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(TemplateEditorDialog, winui::Dialog)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_ADD, OnAdd)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_REMOVE, OnRemove)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDA, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDW, IDC_TEMPLATE_TREE, OnSelchangedTree)
  WINUI_ON_NOTIFY(TCN_SELCHANGE, IDC_TAB, OnSelchangeTab)
  WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)
  WINUI_ON_MESSAGE(kShowOpenErrorMessage, OnShowOpenError){
      kImageCheckedMessage, 0, 0, [](winui::Dialog& dialog, WPARAM, LPARAM) -> INT_PTR {
        static_cast<TemplateEditorDialog&>(dialog).OnImageChecked();
        return TRUE;
      }},
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

bool TemplateEditorDialog::SetDriverFilePath(const std::string& path) {
  if (winui::Utf16Length(path) >= kDriverFilePathSize) return false;
  driverFilePath_ = path;
  return true;
}

BOOL TemplateEditorDialog::CreateEditor() {
  winui::InitCommonControls(ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                            ICC_STANDARD_CLASSES);
  if (!Create()) return FALSE;
  RegisterOpenEditor(this, driverFilePath_.c_str());
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
  if (!openStatus_.ok() || !notWritten_.ok() || !problems_.empty()) {
    PostMessageA(hwnd_, kShowOpenErrorMessage, 0, 0);
  }
  // The image's other .reg files are looked for on a thread of their own.
  CheckImageFor(hwnd_, kImageCheckedMessage, driverFilePath_, imageCheck_);
  return FALSE;
}

void TemplateEditorDialog::LoadFromFile() {
  winui::WaitCursor cursor;
  notWritten_ = Status();
  problems_.clear();
  const BuildConfiguration* build = build_ ? &*build_ : nullptr;
  unshown_.clear();
  openStatus_ = LoadForEditor(templates_, driverFilePath_, *files_, &notWritten_, build, &unshown_);
  read_ = openStatus_.ok();
  // Nothing read: the editor shows every slot free, and Save writes nothing
  // until a read succeeds. Else what `check` reports, told once at open.
  if (read_) problems_ = ProblemsToTell(driverFilePath_, *files_, notWritten_, build);
  SetItemText(IDC_BUILD_LINE, BuildLineText(driverFilePath_, *files_, build));
  base_ = templates_;
  added_ = 0;
}

void TemplateEditorDialog::OnShowOpenError() {
  if (IsBoxShowing()) {
    PostWhenNoBox(hwnd_, kShowOpenErrorMessage);
    return;
  }
  if (!openStatus_.ok()) {
    // The editor has not read the file: the box offers to read it again.
    if (AskAboutUnreadFile(hwnd_, driverFilePath_, openStatus_)) Reload();
    return;
  }
  ShowOpenProblems(hwnd_, driverFilePath_, notWritten_, problems_);
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

void TemplateEditorDialog::RebuildTemplateTree(int selected) {
  templateTree_.DeleteItem(TVI_ROOT);
  FillTemplateTree();
  if (selected < 0) return;
  HTREEITEM module = templateTree_.GetChildItem(templateTree_.GetRootItem());
  for (HTREEITEM item = templateTree_.GetChildItem(module); item != nullptr;
       item = templateTree_.GetNextSiblingItem(item)) {
    if (SlotOf(item) == selected) templateTree_.SelectItem(item);
  }
}

void TemplateEditorDialog::FillTemplateTree() {
  HTREEITEM top = templateTree_.InsertItem("DeviceTemplate", kTopItem, TVI_ROOT, TVI_LAST);
  HTREEITEM module = templateTree_.InsertItem("USB-8620A", kModuleItem, top, TVI_LAST);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (templates_[n].Used == 0) continue;
    // A template the device reads otherwise than the load shows it (the box
    // at open says how) is marked, with a mark the tree never cuts; the note
    // under the buttons says what it means.
    // One the device reads from another file of the image is marked too.
    const std::string name = TemplateName(n) + (templates_.IsReserved(n) ? " *" : "") +
                             (imageReadFrom_[n].empty() ? "" : " +");
    templateTree_.InsertItem(name.c_str(), static_cast<LPARAM>(n), module, TVI_LAST);
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
  ShowBuildNotes();
  if (!selected || tab < 0 || tab >= kPageCount) return;
  pages_[tab]->Show(SW_SHOW);
  pages_[tab]->Refresh();
  // A reserved template's pages are read-only: what they hold is not what
  // every build reads, and a Save would be refused.
  const int slot = SlotOf(templateTree_.GetSelectedItem());
  pages_[tab]->SetReadOnly(slot >= 0 && templates_.IsReserved(static_cast<uint32_t>(slot)));
}

void TemplateEditorDialog::SetItemText(int id, const std::string& text) const {
  SetWindowTextW(GetDlgItem(hwnd_, id), winui::WideFromUtf8(text).c_str());
}

void TemplateEditorDialog::ShowBuildNotes() {
  const int slot = SlotOf(templateTree_.GetSelectedItem());
  const bool reserved = slot >= 0 && templates_.IsReserved(static_cast<uint32_t>(slot));
  EnableWindow(GetDlgItem(hwnd_, IDC_REMOVE), !reserved);
  std::string note;
  if (reserved) {
    const uint32_t n = static_cast<uint32_t>(slot);
    note = "* " + TemplateName(n) + " is read-only here: ";
    std::string why;
    for (const UnshownTemplate& unshown : unshown_) {
      if (unshown.n != n) continue;
      if (!unshown.variants.empty()) {
        // What to do first, so that the line's end, cut where the readings
        // run long, never takes it away.
        const std::string way = VariantsWayForward(unshown.variants);
        why = "it reads otherwise by build. To edit it, open the editor from a build window" +
              (way.empty() ? std::string(".") : ", or use zuv8620 and " + way + ".") +
              "\nThe builds read: " + VariantsWords(unshown.variants) + ".";
      } else if (why.empty()) {
        why = "the device reads it otherwise than shown (" + TreeNames(unshown.text) +
              "); correct its lines in a text editor.";
      }
    }
    note += why.empty() ? "the device reads it otherwise than shown." : why;
  }
  if (slot >= 0 && !imageReadFrom_[static_cast<uint32_t>(slot)].empty()) {
    if (!note.empty()) note += "\n";
    note += "+ The device reads " + TemplateName(static_cast<uint32_t>(slot)) + "'s " +
            imageReadFrom_[static_cast<uint32_t>(slot)] +
            ", not from this file: edit it there, or remove those lines.";
  }
  SetItemText(IDC_TEMPLATE_NOTE, note);
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
  // Alt+F4 closes the editor from any of its controls, as Close does (with
  // its prompt): not every control passes it on to the window (under wine
  // neither the tree nor the pages' controls do).
  if (message.message == WM_SYSKEYDOWN && message.wParam == VK_F4) {
    PostMessageA(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  }
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
  const Status refusal = AddTemplate(templates_, &slot);
  if (!refusal.ok()) {
    const BoxShowing showing;
    MessageBoxA(hwnd_, ReasonText(refusal).c_str(), kEditorTitle, MB_OK);
    return;
  }
  added_ |= 1u << slot;
  HTREEITEM item = templateTree_.InsertItem(TemplateName(slot).c_str(), static_cast<LPARAM>(slot),
                                            module, TVI_LAST);
  templateTree_.SelectItem(item);
  MarkModified();
}

void TemplateEditorDialog::OnRemove() {
  HTREEITEM item = templateTree_.GetSelectedItem();
  int slot = SlotOf(item);
  if (slot < 0 || templates_.IsReserved(static_cast<uint32_t>(slot))) return;
  // The tree lists only used slots, so the slot holds a template to remove.
  if (!RemoveTemplate(templates_, static_cast<uint32_t>(slot)).ok()) return;
  added_ &= ~(1u << slot);
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
  if (!read_) {
    if (AskToReadBeforeSave(owner, driverFilePath_)) Reload();
    return false;
  }
  MergedTemplates merged;
  std::vector<std::string> notes;
  if (!SaveAsking(owner, driverFilePath_, base_, templates_, added_, *files_, &merged,
                  build_ ? &*build_ : nullptr, &notes)) {
    MarkModified();
    return false;
  }
  // Saved: the editor shows the file's templates, another program's
  // changes among them, and an added template where the Save put it.
  const int selected = SlotOf(templateTree_.GetSelectedItem());
  base_ = merged.table;
  added_ = 0;
  if (templates_ != merged.table) {
    templates_ = merged.table;
    RebuildTemplateTree(selected < 0
                            ? selected
                            : static_cast<int>(merged.SlotInFile(static_cast<uint32_t>(selected))));
  }
  MarkSaved();
  ShowSaved(owner, driverFilePath_, merged, notes);
  return true;
}

void TemplateEditorDialog::OnOK() { Save(hwnd_); }

bool TemplateEditorDialog::AskToSave(HWND owner) {
  if (AskToSaveOnClose(owner) && !Save(owner)) return false;
  modified_ = false;
  return true;
}

void TemplateEditorDialog::OnCancel() {
  // A failed or cancelled save keeps the window open with the edits unsaved.
  if (modified_ && !AskToSave(hwnd_)) return;
  EndDialog(IDCANCEL);
}

void TemplateEditorDialog::OnImageChecked() {
  // Told once no other box shows: a second box over the first would enable
  // the editor under it as it closes.
  if (IsBoxShowing()) {
    PostWhenNoBox(hwnd_, kImageCheckedMessage);
    return;
  }
  ImageCheckOutcome outcome = imageCheck_->Take();
  if (outcome.text.empty()) return;
  imageReadFrom_ = std::move(outcome.readFrom);
  RebuildTemplateTree(SlotOf(templateTree_.GetSelectedItem()));
  ShowBuildNotes();
  ShowImageFiles(hwnd_, driverFilePath_, outcome.text);
}

void TemplateEditorDialog::OnDestroy() {
  imageCheck_->stop.store(true);
  for (HWND control : NamedControls()) winui::ClearAccessibleName(control);
  if (modified_) AskToSave(nullptr);
  modified_ = false;
}

void TemplateEditorDialog::PostNcDestroy() { delete this; }

}  // namespace zuv

// The template editor: a modeless top-level dialog listing the driver file's
// templates in a tree, with the five tab pages that edit the selected one and
// the buttons Add, Remove, Save and Close. Each editor has its own table and
// its own unsaved state; on each host thread one editor at a time is open on
// a driver file.
#ifndef ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H
#define ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/ai_page.h"
#include "editor/ao_page.h"
#include "editor/device_page.h"
#include "editor/message_boxes.h"
#include "editor/no_config_page.h"
#include "editor/open_boxes.h"
#include "editor/page_host.h"
#include "templates/bounded_files.h"
#include "templates/build_environment.h"
#include "templates/device_template.h"
#include "templates/template_check.h"
#include "templates/template_file.h"
#include "winui/button.h"
#include "winui/dialog.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace zuv {

// How long the window's thread waits for the driver file's lock before it
// tells the user that another program holds it: a moment.
constexpr uint32_t kEditorLockWaitMs = 200;

// Item data of the tree's items: a template item holds its slot (0 to 15).
constexpr LPARAM kTopItem = -1;     // "DeviceTemplate"
constexpr LPARAM kModuleItem = -2;  // "USB-8620A"

class TemplateEditorDialog : public winui::Dialog, public PageHost {
 public:
  static constexpr int kPageCount = 5;  // Device, AI, AO, DIO, Counter

  // Sizes of the argument copies and of the driver file's path, terminator
  // included.
  static constexpr size_t kRootPathSize = 50;
  static constexpr size_t kDriverNameSize = 20;
  static constexpr size_t kExtraTextSize = 10;
  static constexpr size_t kDriverFilePathSize = 260;

  // `parent` may be null.
  explicit TemplateEditorDialog(HWND parent = nullptr);
  ~TemplateEditorDialog() override;

  // The editor of this thread whose window is open on this driver file
  // (letter case and the path's spelling aside), or null: FindOpenEditor. An
  // editor belongs to the thread that opened it; another thread's call opens
  // its own.
  static TemplateEditorDialog* FindOpen(const char* driverFilePath);
  // Shows the window restored and makes it the active one.
  void BringToFront() const;

  // Keeps copies of the host's arguments, each cut to its field's size; they
  // are not read again.
  void SetArguments(const char* rootPath, const char* driverName, const char* extraText);
  // The .reg file the table is loaded from and saved to, in UTF-8. False, and
  // nothing stored, when the path has kDriverFilePathSize UTF-16 units or
  // more.
  bool SetDriverFilePath(const std::string& path);
  const char* DriverFilePath() const { return driverFilePath_.c_str(); }

  // Creates the modeless window from dialog template 105; OnInitDialog loads
  // the table and builds the tree inside. Nonzero on success; on failure the
  // object is still the caller's.
  BOOL CreateEditor();

  // PageHost: the table, the record of the selected template item, and the
  // report of an edit (marks the edits unsaved and enables Save).
  TemplateTable& Templates() override { return templates_; }
  DeviceTemplate* SelectedTemplate() override;
  void MarkModified() override;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  // Save.
  void OnOK() override;
  // Close: asks about unsaved edits, then hides the window.
  void OnCancel() override;
  void PostNcDestroy() override;
  // Ctrl+Tab and Ctrl+PageDown: the next tab; with Shift, and Ctrl+PageUp:
  // the previous one. Tab and Shift+Tab: the focus in reading order.
  bool PreTranslateKey(const MSG& message) override;

  void OnAdd();
  void OnRemove();
  void OnSelchangedTree(NMHDR* header, LRESULT* result);
  void OnSelchangeTab(NMHDR* header, LRESULT* result);
  void OnDestroy();
  // Posted by OnInitDialog when the file could not be read, will not be
  // written, or holds what `check` reports.
  void OnShowOpenError();
  // Posted by the image walk when other .reg files of the image touch the
  // driver's template keys: a box names them.
  void OnImageChecked();

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  // Creates each page's window and places it over the tab control's client
  // area, hidden, after the tab control in the tab order.
  void PlacePages();
  // The controls that draw no text of their own: the tree, the tab row and
  // the AI page's channel list. Their window texts name them.
  std::vector<HWND> NamedControls() const;
  // The build line and, for a template whose reading depends on the build,
  // why its pages are read-only and Remove is off; for one the device reads
  // from another file of the image, where from.
  void ShowBuildNotes();
  // A control's text, from UTF-8.
  void SetItemText(int id, const std::string& text) const;
  // Builds the tree from the table and selects the first template.
  void FillTemplateTree();
  // The tree built again from the table, `selected` selected when it holds a
  // template.
  void RebuildTemplateTree(int selected);
  // The slot of a template item; -1 for the other items and for null.
  int SlotOf(HTREEITEM item) const;
  // Shows the page of the current tab, with the selected template's values,
  // while a template is selected; hides the others.
  void ShowPage();
  // Selects a tab as a click on it does.
  void SelectTab(int index);
  // The controls Tab visits, in reading order: the tree, the tab row, the
  // shown page's controls, then Add, Remove, Save and Close; hidden and
  // disabled ones left out.
  std::vector<HWND> TabStops() const;
  // The focus to the next (previous) of TabStops after `focus`.
  bool MoveFocusInReadingOrder(HWND focus, bool backwards);
  // The file's templates again, the edits dropped. A file that cannot be
  // read is told as at open.
  void Reload();
  // Loads templates_ and base_ from the driver file; openStatus_,
  // notWritten_ and problems_ tell what went wrong, read_ whether it was
  // read. The lock is waited for a moment at most.
  void LoadFromFile();
  // No unsaved edits: Save disabled, the focus handed on if Save had it.
  void MarkSaved();
  // Applies what the user did (templates_ against base_, added_) to the
  // file's templates as they are now, under the file's lock; asks first, in
  // one box, about the templates both changed or one removed and the other
  // changed since base_ (Cancel is the default; No keeps the file's version
  // of those only). A lock another program holds is told at once,
  // with Retry. On failure a box names the file and the reason (owned by
  // `owner`), and the edits stay marked unsaved. Never writes while the
  // file's templates were not read. False when nothing was saved or
  // reloaded.
  bool Save(HWND owner);
  // The close prompt; OK saves. False when the user chose to save and the
  // save did not happen.
  bool AskToSave(HWND owner);

  winui::Button saveButton_;
  winui::TabControl tabControl_;
  winui::TreeView templateTree_;
  // The table being edited, and the file's templates as read or last saved:
  // what the user changed is the difference.
  TemplateTable templates_;
  TemplateTable base_;
  // The slots of templates_ holding a template the user added (bit n).
  uint32_t added_ = 0;
  bool read_ = false;  // a read of the file succeeded: base_ is the file's
  bool modified_ = false;
  Status openStatus_;                      // why the file could not be read, shown at open
  Status notWritten_;                      // why Save will never write the file, shown at open
  std::vector<TemplateProblem> problems_;  // what `check` reports, shown at open
  // The build the editor reads and saves for: a CE build window's, when the
  // host runs in one; else every build.
  std::optional<BuildConfiguration> build_ = BuildWindowConfiguration();
  std::vector<UnshownTemplate> unshown_;  // why each reserved template is reserved
  // The image walk's outcome; its stop flag is set as the window goes.
  std::shared_ptr<ImageCheckResult> imageCheck_ = std::make_shared<ImageCheckResult>();
  // By template, the values the device reads from another file of the image
  // (ImageReport::readFrom); the tree marks those templates with "+".
  std::array<std::string, kTemplateCount> imageReadFrom_;
  // Loads and saves wait for the file's lock a moment at most.
  std::unique_ptr<FileSystem> files_ = NativeFilesWaitingAtMost(kEditorLockWaitMs);
  char rootPath_[kRootPathSize] = {};
  char driverName_[kDriverNameSize] = {};
  char extraText_[kExtraTextSize] = {};
  std::string driverFilePath_;
  // The pages in tab order; DIO and Counter are two objects of one class.
  DevicePage devicePage_;
  AiPage aiPage_;
  AoPage aoPage_;
  NoConfigPage dioPage_;
  NoConfigPage counterPage_;
  TemplatePage* const pages_[kPageCount];
};

}  // namespace zuv

#endif  // ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H

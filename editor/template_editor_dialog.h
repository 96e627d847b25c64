// The template editor: a modeless top-level dialog listing the driver file's
// templates in a tree, with the five tab pages that edit the selected one and
// the buttons Add, Remove, Save and Close.
#ifndef ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H
#define ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H

#include <windows.h>

#include "templates/device_template.h"
#include "winui/button.h"
#include "winui/dialog.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace zuv {

class TemplatePage;
class TemplateEditorDialog;

// The editor the pages report to: set by the editor's constructor (the
// library assumes one editor at a time) and cleared when that editor goes.
extern TemplateEditorDialog* ActiveEditor;
// Unsaved edits: set by every edit, cleared by Save and by the close prompts.
extern bool IsModified;

// The texts the user sees.
extern const char kTooManyTemplatesText[];  // "Support up to 16 Templates"
extern const char kSaveChangesText[];       // the close prompt
extern const char kSaveChangesCaption[];    // "Note"
extern const char kSaveFailedText[];        // first line of a failed Save's box

// Item data of the tree's items.
enum TreeItemKind : LPARAM {
  kTopItem = 0,       // "DeviceTemplate"
  kModuleItem = 1,    // "USB-8620A"
  kTemplateItem = 2,  // "Template%d"
};

class TemplateEditorDialog : public winui::Dialog {
 public:
  static constexpr int kPageCount = 5;  // Device, AI, AO, DIO, Counter

  // Sizes of the argument copies and of the driver file's path, terminator
  // included.
  static constexpr size_t kRootPathSize = 50;
  static constexpr size_t kDriverNameSize = 20;
  static constexpr size_t kExtraTextSize = 10;
  static constexpr size_t kDriverFilePathSize = 260;

  // Makes the new editor the ActiveEditor. `parent` may be null.
  explicit TemplateEditorDialog(HWND parent = nullptr);
  ~TemplateEditorDialog() override;

  // Keeps copies of the host's arguments, each cut to its field's size; they
  // are not read again.
  void SetArguments(const char* rootPath, const char* driverName, const char* extraText);
  // The .reg file the table is loaded from and saved to. False, and nothing
  // stored, when the path does not fit.
  bool SetDriverFilePath(const char* path);
  const char* DriverFilePath() const { return driverFilePath_; }

  // Creates the modeless window from dialog template 105; OnInitDialog loads
  // the table and builds the tree inside. Nonzero on success; on failure the
  // object is still the caller's.
  BOOL CreateEditor();

  // The record of the selected template item, or null.
  DeviceTemplate* GetSelectedTemplate();
  // Binds the page of the current tab to the selected template.
  BOOL ShowCurrentPage();
  // Builds the tree from the table and selects the first template.
  bool FillTemplateTree();

  // For the pages: the table, the Save button, and the report of an edit
  // (sets IsModified and enables Save).
  TemplateTable& Templates() { return templates_; }
  winui::Button& SaveButton() { return saveButton_; }
  void MarkModified();

  TemplatePage* Page(int index) const { return pages_[index]; }

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  // Save.
  void OnOK() override;
  // Close: asks about unsaved edits, then hides the window.
  void OnCancel() override;
  void PostNcDestroy() override;

  void OnAdd();
  void OnRemove();
  void OnSelchangedTree(NMHDR* header, LRESULT* result);
  void OnSelchangeTab(NMHDR* header, LRESULT* result);
  void OnDestroy();

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  // Constructs the five page objects in tab order; a null page is skipped by
  // everything that places, shows or binds pages.
  void CreatePageObjects();
  // Creates each page's window and places it over the tab control's client
  // area, hidden.
  void PlacePages();
  void HideAllPages();
  // Writes the table to the file. On failure a box names the file and the
  // system's reason (owned by `owner`), and the edits stay marked unsaved.
  bool Save(HWND owner);
  // The close prompt; OK saves. False when the user chose to save and the
  // save failed.
  bool AskToSave(HWND owner);

  HWND parent_;
  winui::Button saveButton_;
  winui::TabControl tabControl_;
  winui::TreeView templateTree_;
  TemplateTable templates_;
  char rootPath_[kRootPathSize] = {};
  char driverName_[kDriverNameSize] = {};
  char extraText_[kExtraTextSize] = {};
  char driverFilePath_[kDriverFilePathSize] = {};
  TemplatePage* pages_[kPageCount] = {};
  // Whether page i got a window; a page without one never deletes itself.
  bool pageHasWindow_[kPageCount] = {};
};

}  // namespace zuv

#endif  // ZUV_EDITOR_TEMPLATE_EDITOR_DIALOG_H

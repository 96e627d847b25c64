// The base of the editor's tab pages (Device, AI, AO, DIO, Counter).
#ifndef ZUV_EDITOR_TEMPLATE_PAGE_H
#define ZUV_EDITOR_TEMPLATE_PAGE_H

#include "editor/page_host.h"
#include "templates/device_template.h"
#include "winui/dialog.h"

namespace zuv {

// A page is a modeless child dialog placed over the editor's tab control. The
// editor owns the page objects (its members) and creates their windows; it
// shows the page of the current tab while a template is selected, calls
// Refresh and sets the page read-only or not. A page edits its host's
// selected record in place and reports each edit to its host.
//
// What every page does the same way lives here: creating the window,
// filling the controls once they are bound, showing the selected record, the
// read-only state, and an edit of the selected record. A page with settings
// gives its controls (DoDataExchange, FillControls), how a record shows on
// them (ShowTemplate), and its message map, whose handlers make their edits
// through EditSelected.
class TemplatePage : public winui::Dialog {
 public:
  TemplatePage(UINT templateId, PageHost& host);

  // Creates the page's window, hidden, from its own dialog template as a
  // child of `parent`. Nonzero on success.
  BOOL CreatePage(HWND parent);
  // Shows the values of the host's selected template (ShowTemplate); with
  // none selected the controls stay as they are.
  void Refresh();
  // Disables every control of the page (read-only) or enables them all.
  void SetReadOnly(bool readOnly) const;

  PageHost& Host() const { return host_; }

 protected:
  // Binds the controls (DoDataExchange), then fills them (FillControls).
  BOOL OnInitDialog() final;
  // Puts what the controls offer in them (list items, column headers,
  // fixed texts), once, after DoDataExchange. The base fills nothing.
  virtual void FillControls() {}
  // Shows `record` on the controls. The record is the host's own, not a
  // copy: an edit made while it shows (a notification of a control the page
  // changes) is seen at once. The base shows nothing: a page without
  // settings looks the same for all.
  virtual void ShowTemplate(const DeviceTemplate& /*record*/) {}

  // Runs `edit` on the host's selected record, when one is selected; when
  // `edit` returns true it changed the record (or counts as an edit all the
  // same) and the host is told. True when the host was told.
  template <typename Edit>
  bool EditSelected(Edit edit) {
    DeviceTemplate* record = host_.SelectedTemplate();
    if (record == nullptr || !edit(*record)) return false;
    host_.MarkModified();
    return true;
  }

 private:
  PageHost& host_;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_TEMPLATE_PAGE_H

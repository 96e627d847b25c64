// The base of the editor's tab pages (Device, AI, AO, DIO, Counter).
#ifndef ZUV_EDITOR_TEMPLATE_PAGE_H
#define ZUV_EDITOR_TEMPLATE_PAGE_H

#include "editor/page_host.h"
#include "winui/dialog.h"

namespace zuv {

// A page is a modeless child dialog placed over the editor's tab control. The
// editor owns the page objects (its members) and creates their windows; it
// shows the page of the current tab while a template is selected and calls
// Refresh. A page edits its host's selected record in place and reports each
// edit to its host.
class TemplatePage : public winui::Dialog {
 public:
  TemplatePage(UINT templateId, PageHost& host);

  // Creates the page's window, hidden, from its own dialog template as a
  // child of `parent`. Nonzero on success.
  BOOL CreatePage(HWND parent);
  // Shows the values of the host's selected template; with none selected the
  // controls stay as they are. The base version does nothing: a page without
  // settings looks the same for all.
  virtual void Refresh();

  PageHost& Host() const { return host_; }

 protected:
  // Binds the controls (DoDataExchange), then fills them (FillControls).
  BOOL OnInitDialog() final;
  // Puts what the controls offer in them (list items, column headers,
  // fixed texts), once, after DoDataExchange. The base fills nothing.
  virtual void FillControls() {}

 private:
  PageHost& host_;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_TEMPLATE_PAGE_H

// The base of every dialog: built from a numbered dialog template in the
// library's own module, created modeless, with member control wrappers bound
// to control IDs and WM_COMMAND / WM_NOTIFY routed by the message map.
//
// Life of a dialog object: construct, Create() (which runs OnInitDialog),
// use. The object outlives a hidden window; after its window is destroyed,
// at WM_NCDESTROY, the window's pointer to it is cleared and PostNcDestroy
// runs, which a self-owning dialog overrides to delete itself.
//
// No exception leaves the dialog procedure: one raised by a handler is caught
// there and the message counts as not handled.
#ifndef ZUV_WINUI_DIALOG_H
#define ZUV_WINUI_DIALOG_H

#include <windows.h>

#include "winui/message_map.h"
#include "winui/window.h"

namespace winui {

class Dialog : public Window {
 public:
  // `parent` may be null: a top-level window without owner.
  Dialog(UINT templateId, HWND parent);
  ~Dialog() override;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the modeless window from the dialog template, in the module's
  // activation context (as is every message the map handles); OnInitDialog
  // runs inside. A top-level dialog also gets its keyboard routed through
  // IsDialogMessage, whatever message loop its thread runs. True on success;
  // on failure the object is still the caller's, even when a window came and
  // went during the attempt (PostNcDestroy does not run for it).
  bool Create();
  // Create() as a child or owned window of `parent`, given only now (a dialog
  // that is a member of its parent's object).
  bool Create(HWND parent);

 protected:
  // Binds the controls (DoDataExchange) and returns TRUE, letting the dialog
  // manager put the focus on the first tab stop.
  virtual BOOL OnInitDialog();
  // Attaches the member control wrappers to their controls with BindControl.
  virtual void DoDataExchange() {}
  // The IDOK and IDCANCEL commands: both end the dialog.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Runs after the window is gone and no message reaches this object any more.
  virtual void PostNcDestroy() {}
  // A top-level dialog sees each keyboard message for it or its children
  // before the dialog manager does; true takes the message.
  virtual bool PreTranslateKey(const MSG& /*message*/) { return false; }

  virtual const MessageMap* GetMessageMap() const;

  // Binds `control` to the child with this ID; false when there is none.
  bool BindControl(Window& control, int id) const;
  // Hides a modeless dialog (the window and this object stay).
  void EndDialog(int result) const { ::EndDialog(hwnd_, result); }

 private:
  static bool KeyFilter(HWND hwnd, const MSG& message);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam);
  // The first entry of the map chain that matches; null when none does.
  const MessageMapEntry* FindHandler(UINT message, WPARAM wParam, LPARAM lParam) const;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Detach();

  UINT templateId_;
  HWND parent_;
  bool routesKeyboard_ = false;
  bool creating_ = false;
};

}  // namespace winui

#endif  // ZUV_WINUI_DIALOG_H

// A tab control (class "SysTabControl32"). TCM_SETCURSEL does not notify the
// parent; only a click on a tab raises TCN_SELCHANGE.
#ifndef ZUV_WINUI_TAB_CONTROL_H
#define ZUV_WINUI_TAB_CONTROL_H

#include <commctrl.h>

#include <string>

#include "winui/window.h"

namespace winui {

class TabControl : public Window {
 public:
  using Window::Window;

  // TCM_INSERTITEM with text only; the new tab's index, or -1.
  int InsertItem(int index, const char* text) const;
  // TCM_GETCURSEL; -1 when no tab is selected.
  int GetCurSel() const { return static_cast<int>(Send(TCM_GETCURSEL)); }
  // TCM_SETCURSEL; the previous selection, or -1.
  int SetCurSel(int index) const {
    return static_cast<int>(Send(TCM_SETCURSEL, static_cast<WPARAM>(index)));
  }
  // TCM_GETITEMCOUNT.
  int GetItemCount() const { return static_cast<int>(Send(TCM_GETITEMCOUNT)); }
  // TCM_GETITEM with text; empty for an invalid index.
  std::string GetItemText(int index) const;
};

}  // namespace winui

#endif  // ZUV_WINUI_TAB_CONTROL_H

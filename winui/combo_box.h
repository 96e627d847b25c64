// A combo box (class "ComboBox"). CB_SETCURSEL does not notify the parent;
// only a selection by the user raises CBN_SELCHANGE.
#ifndef ZUV_WINUI_COMBO_BOX_H
#define ZUV_WINUI_COMBO_BOX_H

#include <string>

#include "winui/window.h"

namespace winui {

class ComboBox : public Window {
 public:
  using Window::Window;

  // CB_ADDSTRING; the new item's index, or CB_ERR.
  int AddString(const char* text) const {
    return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  // CB_SETCURSEL; -1 clears the selection.
  int SetCurSel(int index) const {
    return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index)));
  }
  // CB_GETCURSEL; CB_ERR (-1) when nothing is selected.
  int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
  // CB_GETCOUNT.
  int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
  // CB_GETLBTEXT of item `index`; empty for an invalid index.
  std::string GetItemText(int index) const;
};

}  // namespace winui

#endif  // ZUV_WINUI_COMBO_BOX_H

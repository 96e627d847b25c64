// A push button, check box or radio button (class "Button").
#ifndef ZUV_WINUI_BUTTON_H
#define ZUV_WINUI_BUTTON_H

#include "winui/window.h"

namespace winui {

class Button : public Window {
 public:
  using Window::Window;

  // BM_CLICK: as if the user clicked it; the parent gets BN_CLICKED.
  void Click() const { Send(BM_CLICK); }
  // BM_GETCHECK / BM_SETCHECK with BST_CHECKED, BST_UNCHECKED, ...
  int GetCheck() const { return static_cast<int>(Send(BM_GETCHECK)); }
  void SetCheck(int state) const { Send(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

}  // namespace winui

#endif  // ZUV_WINUI_BUTTON_H

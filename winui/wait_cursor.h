// The wait cursor while the window's thread does something that may take a
// moment (a file's lock tried).
#ifndef ZUV_WINUI_WAIT_CURSOR_H
#define ZUV_WINUI_WAIT_CURSOR_H

#include <windows.h>

namespace winui {

class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace winui

#endif  // ZUV_WINUI_WAIT_CURSOR_H

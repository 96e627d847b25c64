// A window handle with the few operations every control shares. The wrapper
// does not own the window: binding it to an ID or handle attaches it, and the
// window is destroyed by its parent.
#ifndef ZUV_WINUI_WINDOW_H
#define ZUV_WINUI_WINDOW_H

#include <windows.h>

#include <string>

namespace winui {

class Window {
 public:
  Window() = default;
  explicit Window(HWND hwnd) : hwnd_(hwnd) {}
  virtual ~Window() = default;

  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  HWND Handle() const { return hwnd_; }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageA(hwnd_, message, wParam, lParam);
  }

  bool Show(int command) const { return ShowWindow(hwnd_, command) != FALSE; }
  bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
  void Enable(bool enable) const { EnableWindow(hwnd_, enable ? TRUE : FALSE); }
  bool IsEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }

  // WM_SETTEXT / WM_GETTEXT.
  void SetText(const char* text) const {
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  std::string Text() const;

  // The client rectangle, in this window's client coordinates.
  RECT ClientRect() const {
    RECT rect = {};
    GetClientRect(hwnd_, &rect);
    return rect;
  }

 protected:
  HWND hwnd_ = nullptr;
};

}  // namespace winui

#endif  // ZUV_WINUI_WINDOW_H

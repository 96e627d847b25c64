// A static control: text, frame or picture (class "Static").
#ifndef ZUV_WINUI_STATIC_TEXT_H
#define ZUV_WINUI_STATIC_TEXT_H

#include "winui/window.h"

namespace winui {

class StaticText : public Window {
 public:
  using Window::Window;

  // STM_SETIMAGE with IMAGE_BITMAP; returns the bitmap shown before.
  HBITMAP SetBitmap(HBITMAP bitmap) const {
    return reinterpret_cast<HBITMAP>(
        Send(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  }
  // STM_GETIMAGE with IMAGE_BITMAP.
  HBITMAP GetBitmap() const {
    return reinterpret_cast<HBITMAP>(Send(STM_GETIMAGE, IMAGE_BITMAP));
  }
};

}  // namespace winui

#endif  // ZUV_WINUI_STATIC_TEXT_H

#include "winui/window.h"

namespace winui {

std::string Window::Text() const {
  char text[1024] = {};
  LRESULT length = Send(WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace winui

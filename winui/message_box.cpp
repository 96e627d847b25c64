#include "winui/message_box.h"

#include "winui/wide_text.h"

namespace winui {

int MessageBoxUtf8(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), flags);
}

}  // namespace winui

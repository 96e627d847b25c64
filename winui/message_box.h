// A message box whose text and caption are UTF-8 (a path of any name),
// shown with the wide API.
#ifndef ZUV_WINUI_MESSAGE_BOX_H
#define ZUV_WINUI_MESSAGE_BOX_H

#include <windows.h>

#include <string>

namespace winui {

// MessageBoxW with `text` and `caption` converted from UTF-8; the answer
// (IDOK, IDRETRY...). Text that is not UTF-8 is the caller's to convert first.
int MessageBoxUtf8(HWND owner, const std::string& text, const std::string& caption, UINT flags);

}  // namespace winui

#endif  // ZUV_WINUI_MESSAGE_BOX_H

// UTF-8 text for the wide API.
#ifndef ZUV_WINUI_WIDE_TEXT_H
#define ZUV_WINUI_WIDE_TEXT_H

#include <cstddef>
#include <string>

namespace winui {

// `utf8` as UTF-16; empty when it does not convert.
std::wstring WideFromUtf8(const std::string& utf8);

// The number of UTF-16 units of UTF-8 text (its bytes when it does not
// convert).
size_t Utf16Length(const std::string& utf8);

}  // namespace winui

#endif  // ZUV_WINUI_WIDE_TEXT_H

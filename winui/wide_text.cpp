#include "winui/wide_text.h"

#include <windows.h>

namespace winui {

std::wstring WideFromUtf8(const std::string& utf8) {
  std::wstring result;
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (length <= 0) return result;
  result.assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &result[0], length);
  result.resize(static_cast<size_t>(length) - 1);
  return result;
}

size_t Utf16Length(const std::string& utf8) {
  if (utf8.empty()) return 0;
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  return length > 0 ? static_cast<size_t>(length) : utf8.size();
}

}  // namespace winui

// The system's words for an error code on Windows, in UTF-8 as every text
// inside the program.
#include <windows.h>

#include <string>

#include "base/status.h"

namespace zuv {

std::string SystemErrorText(uint32_t systemError) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, systemError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                            nullptr, nullptr);
    if (bytes > 0) {
      result.resize(static_cast<size_t>(bytes));
      ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &result[0], bytes, nullptr,
                            nullptr);
    }
    ::LocalFree(text);
  }
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  if (result.empty()) result = "system error " + std::to_string(systemError);
  return result;
}

}  // namespace zuv

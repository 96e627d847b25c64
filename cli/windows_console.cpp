#include "cli/windows_console.h"

namespace zuv::cli {

namespace {

std::string Utf8Of(const wchar_t* text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], bytes, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(bytes) - 1);
  return utf8;
}

// The length of the longest start of `text` that ends on a whole UTF-8
// sequence (bytes that are no UTF-8 count as whole: the console shows them
// as U+FFFD).
size_t WholeSequences(const std::string& text) {
  size_t end = text.size();
  // At most three continuation bytes and their lead can be cut off.
  for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const unsigned char c = static_cast<unsigned char>(text[text.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length > back) end = text.size() - back;
    break;
  }
  return end;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8Of(argv[i]));
  return args;
}

bool IsConsole(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

ConsoleStream::ConsoleStream(DWORD which)
    : handle_(GetStdHandle(which)), console_(IsConsole(which)) {}

ConsoleStream::~ConsoleStream() { Drain(); }

void ConsoleStream::Write(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() >= 4096 && !Drain()) failed_ = true;
}

bool ConsoleStream::Flush() {
  const bool drained = Drain();
  return drained && !failed_;
}

bool ConsoleStream::Drain() {
  if (buffer_.empty() || handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
    buffer_.clear();
    return true;
  }
  bool ok = true;
  if (console_) {
    const size_t whole = WholeSequences(buffer_);
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, buffer_.data(), static_cast<int>(whole), nullptr, 0);
    if (units > 0) {
      std::wstring wide(static_cast<size_t>(units), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, buffer_.data(), static_cast<int>(whole), &wide[0], units);
      for (size_t done = 0; ok && done < wide.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
        ok = WriteConsoleW(handle_, wide.data() + done, chunk, &written, nullptr) != 0 &&
             written != 0;
        done += written;
      }
    }
    buffer_.erase(0, whole);
    return ok;
  }
  for (size_t done = 0; ok && done < buffer_.size();) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(buffer_.size() - done, 1 << 20));
    ok = WriteFile(handle_, buffer_.data() + done, chunk, &written, nullptr) != 0 && written != 0;
    done += written;
  }
  buffer_.clear();
  return ok;
}

}  // namespace zuv::cli

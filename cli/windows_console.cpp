#include "cli/windows_console.h"

#include <io.h>

#include <cstdint>

#include "cli/edit_session.h"

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

std::wstring WideOf(const std::string& text) {
  const int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (chars <= 1) return {};
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], chars);
  wide.resize(static_cast<size_t>(chars) - 1);
  return wide;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text != nullptr ? Utf8Of(text) : "error " + std::to_string(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

// The user's temporary folder, which other users cannot read; a name made
// new with CREATE_NEW, never an existing file opened.
std::string CreatePrivateFile(const std::string& text, std::string* why) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    *why = "the temporary folder: " + SystemMessage(GetLastError());
    return {};
  }
  uint64_t seed = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    wchar_t name[32];
    swprintf(name, 32, L"zuv8620-%08lx.json", static_cast<unsigned long>(seed >> 32));
    const std::wstring path = std::wstring(folder) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      *why = Utf8Of(path.c_str()) + ": " + SystemMessage(GetLastError());
      return {};
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
      DeleteFileW(path.c_str());
      *why = Utf8Of(path.c_str()) + ": " + SystemMessage(error);
      return {};
    }
    return Utf8Of(path.c_str());
  }
  *why = "no new name in the temporary folder";
  return {};
}

void RemovePrivateFile(const std::string& path) { DeleteFileW(WideOf(path).c_str()); }

int RunEditor(const std::string& path, std::string* why) {
  std::wstring editor;
  for (const wchar_t* name : {L"VISUAL", L"EDITOR"}) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    if (length > 0 && length < 32768) {
      editor = value;
      break;
    }
  }
  if (editor.empty()) editor = L"notepad";
  // The variable's words as a command line, the path quoted after them.
  std::wstring line = editor + L" \"" + WideOf(path) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    *why = "cannot start the editor '" + Utf8Of(editor.c_str()) +
           "': " + SystemMessage(GetLastError());
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

bool StandardInputIsTerminal() { return _isatty(0) != 0; }

// A document is a file or standard input here: a pipe by name is not read.
bool IsStream(const std::string&) { return false; }

bool ReadStream(const std::string&, size_t, std::string*, std::string* why) {
  *why = "not a regular file (give a document file, or - for standard input)";
  return false;
}

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

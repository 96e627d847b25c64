// The Windows edge of zuv8620: its arguments come as UTF-16 (wmain) and are
// made UTF-8, the text every part of the tool works in; its output is UTF-8,
// written as UTF-16 to a console (WriteConsoleW shows any character whatever
// the console's code page) and as the UTF-8 bytes to a file or a pipe.
#ifndef ZUV_CLI_WINDOWS_CONSOLE_H
#define ZUV_CLI_WINDOWS_CONSOLE_H

#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/text_stream.h"

namespace zuv::cli {

// The arguments that follow the program name, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// Whether a standard handle (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) is a console.
bool IsConsole(DWORD which);

// A sink over a standard handle (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) that
// takes UTF-8.
class ConsoleStream : public TextSink {
 public:
  explicit ConsoleStream(DWORD which);
  ~ConsoleStream() override;
  ConsoleStream(const ConsoleStream&) = delete;
  ConsoleStream& operator=(const ConsoleStream&) = delete;

  void Write(std::string_view text) override;
  bool Flush() override;

 private:
  // Writes what is buffered; on a console, a UTF-8 sequence cut at the
  // buffer's end waits for its last bytes.
  bool Drain();

  HANDLE handle_;
  bool console_;
  bool failed_ = false;  // a write before the last Flush did not arrive
  std::string buffer_;
};

}  // namespace zuv::cli

#endif  // _WIN32

#endif  // ZUV_CLI_WINDOWS_CONSOLE_H

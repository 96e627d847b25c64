// zuv8620: edits the device setting templates of a driver file from scripts.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "cli/windows_console.h"
#endif
#include <string>
#include <vector>

#include "cli/cli.h"
#include "zuv_version.h"

namespace {

// Runs the tool on the arguments that follow the program name (UTF-8). Run
// reports its own failures; what it cannot (no memory, a failure while
// writing its report) still ends in a message and exit status 2, never in an
// abort.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.size() == 1 && args[0] == "--version") {
      out << "zuv8620 " ZUV_VERSION "\n";
      out.flush();
      return zuv::cli::kExitOk;
    }
    const int status = zuv::cli::Run(args, out, err);
    out.flush();
    err.flush();
    return status;
  } catch (const std::bad_alloc&) {
    err << "zuv8620: out of memory\n";
  } catch (const std::exception& e) {
    err << "zuv8620: " << e.what() << "\n";
  } catch (...) {
    err << "zuv8620: unexpected failure\n";
  }
  err.flush();
  return zuv::cli::kExitFailed;
}

}  // namespace

#ifdef _WIN32
// The arguments as UTF-16 (linked with -municode), so that a path of any name
// Windows can hold reaches the tool; inside it every text is UTF-8.
int wmain(int argc, wchar_t** argv) {
  // The same bytes on every platform: a diff keeps the driver file's own line
  // ends, which text mode would double.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  try {
    // UTF-8 to a file or a pipe; to a console, UTF-16 (any character shows).
    zuv::cli::StandardOutput outBuffer(STD_OUTPUT_HANDLE), errBuffer(STD_ERROR_HANDLE);
    std::ostream out(&outBuffer), err(&errBuffer);
    return RunTool(zuv::cli::Utf8Arguments(argc, argv), out, err);
  } catch (...) {
    std::fputs("zuv8620: out of memory\n", stderr);
    return zuv::cli::kExitFailed;
  }
}
#else
int main(int argc, char** argv) {
  try {
    return RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  } catch (...) {
    std::fputs("zuv8620: out of memory\n", stderr);
    return zuv::cli::kExitFailed;
  }
}
#endif

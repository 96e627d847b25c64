// zuv8620: edits the device setting templates of a driver file from scripts.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/cli.h"
#ifdef _WIN32
#include "cli/windows_console.h"
#endif

namespace {

// Runs the tool: RunProcess reports its own failures; what it cannot (no
// memory for the arguments) still ends in a message and exit status 2, never
// in an abort.
template <class Tool>
int Guarded(const Tool& tool) {
  try {
    return tool();
  } catch (const std::bad_alloc&) {
    std::fputs("zuv8620: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zuv8620: %s\n", e.what());
  } catch (...) {
    std::fputs("zuv8620: unexpected failure\n", stderr);
  }
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
  return Guarded([&] {
    // UTF-8 to a file or a pipe; to a console, UTF-16 (any character shows).
    zuv::cli::ConsoleStream err(STD_ERROR_HANDLE);
    const std::vector<std::string> args = zuv::cli::Utf8Arguments(argc, argv);
    if (zuv::cli::IsConsole(STD_OUTPUT_HANDLE)) {
      zuv::cli::ConsoleStream out(STD_OUTPUT_HANDLE);
      return zuv::cli::RunProcess(args, &err, &out);
    }
    return zuv::cli::RunProcess(args, &err);
  });
}
#else
int main(int argc, char** argv) {
  return Guarded(
      [&] { return zuv::cli::RunProcess(std::vector<std::string>(argv + 1, argv + argc)); });
}
#endif

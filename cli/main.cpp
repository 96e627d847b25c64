// zuv8620: edits the device setting templates of a driver file from scripts.
#include <cstdio>
#include <exception>
#include <new>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes on every platform: a diff keeps the driver file's own line
  // ends, which text mode would double.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  // Run reports its own failures; what it cannot (no memory for the
  // arguments, a failure while writing its report) still ends in a message
  // and exit status 2, never in an abort.
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Standard output is flushed and closed there, and a failure reported.
    return zuv::cli::RunProcess(args);
  } catch (const std::bad_alloc&) {
    std::fputs("zuv8620: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zuv8620: %s\n", e.what());
  } catch (...) {
    std::fputs("zuv8620: unexpected failure\n", stderr);
  }
  return zuv::cli::kExitFailed;
}

// zuv8620: edits the device setting templates of a driver file from scripts.
#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <string>
#include <vector>

#include "cli/cli.h"
#include "zuv_version.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes on every platform: a diff keeps the driver file's own line
  // ends, which text mode would double.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "zuv8620 " ZUV_VERSION "\n";
    return zuv::cli::kExitOk;
  }
  const int status = zuv::cli::Run(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}

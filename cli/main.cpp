// zuv8620: edits the device setting templates of a driver file from scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = zuv::cli::Run(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}

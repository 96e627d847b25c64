// The tool's exit statuses.
#ifndef ZUV_CLI_EXIT_CODES_H
#define ZUV_CLI_EXIT_CODES_H

namespace zuv::cli {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // check found problems
constexpr int kExitChanges = 1;   // --dry-run --exit-code: the save would change the file
constexpr int kExitFailed = 2;    // bad arguments, refused edit, file not usable

}  // namespace zuv::cli

#endif  // ZUV_CLI_EXIT_CODES_H

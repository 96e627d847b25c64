// A programming error found while the program runs: misuse that no caller
// can recover from (a step out of order, the value of a failure used). It
// stops the program at once, in every build, writing "BUG: file:line: message"
// to standard error. A failure the user can meet is a Status, never a BUG.
#ifndef ZUV_BASE_BUG_H
#define ZUV_BASE_BUG_H

#include <string_view>

namespace zuv {

[[noreturn]] void Bug(const char* file, int line, std::string_view message);

}  // namespace zuv

#define ZUV_BUG(message) ::zuv::Bug(__FILE__, __LINE__, message)

#endif  // ZUV_BASE_BUG_H

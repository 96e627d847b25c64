#include "base/bug.h"

#include <cstdio>
#include <cstdlib>

namespace zuv {

void Bug(const char* file, int line, std::string_view message) {
  std::fprintf(stderr, "BUG: %s:%d: %.*s\n", file, line, static_cast<int>(message.size()),
               message.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace zuv

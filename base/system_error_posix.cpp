// The system's words for an error code on POSIX systems.
#include <cstring>
#include <string>

#include "base/status.h"

namespace zuv {

std::string SystemErrorText(uint32_t systemError) {
  return std::strerror(static_cast<int>(systemError));
}

}  // namespace zuv

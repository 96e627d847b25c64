#include "regfile/file.h"

namespace zuv {

FileError::FileError(uint32_t systemError, std::string path, const char* operation)
    : systemError_(systemError), path_(std::move(path)) {
  message_ = std::string(operation) + " " + path_ + ": " + SystemErrorText(systemError_);
}

}  // namespace zuv

#include "templates/bounded_files.h"

namespace zuv {

std::unique_ptr<FileSystem> NativeFilesWaitingAtMost(uint32_t waitMilliseconds) {
  return std::make_unique<LockWaitBoundFileSystem>(NativeFileSystem(), waitMilliseconds);
}

}  // namespace zuv

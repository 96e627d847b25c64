// The system's files for a caller that must not wait long for a driver file's
// lock: the editor's window thread, which tells the user at once that another
// program holds it.
#ifndef ZUV_TEMPLATES_BOUNDED_FILES_H
#define ZUV_TEMPLATES_BOUNDED_FILES_H

#include <cstdint>
#include <memory>

#include "fileio/file.h"

namespace zuv {

// NativeFileSystem, with each lock waited for `waitMilliseconds` at most (the
// smaller of that and ZUV8620_LOCK_WAIT_MS, see LockWaitBound), whatever wait the
// loads and saves ask for.
std::unique_ptr<FileSystem> NativeFilesWaitingAtMost(uint32_t waitMilliseconds);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_BOUNDED_FILES_H

// The lock on a driver file over the Win32 file API.
#ifndef ZUV_FILEIO_WIN32_LOCK_H
#define ZUV_FILEIO_WIN32_LOCK_H

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "fileio/file.h"
#include "fileio/win32_handle.h"

namespace zuv::win32 {

// FileSystem::Lock for the system's files.
std::unique_ptr<FileLock> LockFile(const std::string& path, LockMode mode, Status* status,
                                   uint32_t waitMilliseconds);

}  // namespace zuv::win32

#endif  // ZUV_FILEIO_WIN32_LOCK_H

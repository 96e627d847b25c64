// The file object over the Win32 file API, and what the other Win32 files
// share of it.
#ifndef ZUV_FILEIO_WIN32_FILE_H
#define ZUV_FILEIO_WIN32_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "fileio/file.h"
#include "fileio/win32_handle.h"

namespace zuv::win32 {

// The system's error of the call that just failed (ERROR_WRITE_FAULT when
// it left none).
uint32_t LastError();

// Writes all `size` bytes at the position, in pieces a DWORD counts: 0, or
// the system's error code of the write that failed.
DWORD WriteAll(HANDLE handle, const char* data, size_t size);

// A device (NUL, CON, COM1) or a pipe where a driver file is wanted is
// refused before it is read: it reads as an empty file, or never ends.
Status CheckRegular(HANDLE handle, const std::string& path);
// Condition::kNotRegularFile for a folder at `path`.
Status NotAFile(const std::string& path);

// The file object over a handle already open.
std::unique_ptr<File> FileOf(Handle handle, std::string path);

// Opens the existing file at `path` with the access and sharing asked for:
// null with *status set when it does not open or is not a regular file.
std::unique_ptr<File> OpenFile(const std::string& path, DWORD access, DWORD share, Status* status);

}  // namespace zuv::win32

#endif  // ZUV_FILEIO_WIN32_FILE_H

// A save's replacement of a driver file over the Win32 file API, and the
// files beside it that a killed save leaves.
#ifndef ZUV_FILEIO_WIN32_REPLACE_H
#define ZUV_FILEIO_WIN32_REPLACE_H

#include <string>
#include <string_view>

#include "base/status.h"
#include "fileio/file.h"

namespace zuv::win32 {

// FileSystem::ReplaceContent for the system's files; `files` writes in place
// where a replacement would change the file.
Status ReplaceContent(FileSystem& files, const std::string& path, std::string_view content);

// Working files and backups that killed saves left beside the file; run
// while the exclusive lock holds the driver file, which is then whole and
// no live save can own one.
void RemoveLeftovers(const std::string& path);

// A missing driver file beside a backup that no live save holds (a save
// keeps its lock on the old file as it moves to the backup name): the
// newest such backup takes the driver file's name back. True when it did.
bool RestoreFromBackup(const std::string& path);

}  // namespace zuv::win32

#endif  // ZUV_FILEIO_WIN32_REPLACE_H

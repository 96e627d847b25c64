// The driver file's text as a load reads it: the whole file, read once and
// decoded, under the file's shared lock.
#ifndef ZUV_TEMPLATES_DRIVER_TEXT_H
#define ZUV_TEMPLATES_DRIVER_TEXT_H

#include <string>

#include "base/status.h"
#include "fileio/file.h"
#include "regfile/text_encoding.h"

namespace zuv {

// The whole content of an existing file, opened for reading only (a save
// writes through FileSystem::ReplaceContent). No lock is taken: the caller
// holds one.
Status ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content);

// The whole content of the file `lock` holds: read through the lock's own
// handle where it has one, else as ReadWholeFile reads it.
Status ReadLockedFile(FileLock& lock, const std::string& path, FileSystem& fileSystem,
                      std::string* content);

// The driver file read once, under a shared lock, and decoded (see
// DecodeText). Condition::kLockTimedOut when another program held the lock
// for the whole wait.
Status ReadDriverText(const std::string& path, FileSystem& fileSystem, DecodedText* text);

// Why a Save will never write a file read as `text`, or success: an encoding
// never written, or text that does not decode (the byte offset named).
Status NotWritable(const DecodedText& text);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DRIVER_TEXT_H

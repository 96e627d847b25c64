// The driver file's text as a load reads it: the whole file, read once and
// decoded, under the file's shared lock.
#ifndef ZUV_TEMPLATES_DRIVER_TEXT_H
#define ZUV_TEMPLATES_DRIVER_TEXT_H

#include <cstdint>
#include <string>

#include "regfile/file.h"
#include "regfile/text_encoding.h"

namespace zuv {

// The whole content of an existing file, opened for reading only (a save
// writes through FileSystem::ReplaceContent). No lock is taken: the caller
// holds one. 0, or the system's error code.
uint32_t ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content);

// The driver file read once, under a shared lock, and decoded (see
// DecodeText). 0, or the system's error code (kLockTimedOut when another
// program held the lock for the whole wait).
uint32_t ReadDriverText(const std::string& path, FileSystem& fileSystem, DecodedText* text);

// The text for a code from the calls here: the system's reason, or for
// kLockTimedOut that another program holds the file.
std::string DriverFileErrorText(uint32_t systemError);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DRIVER_TEXT_H

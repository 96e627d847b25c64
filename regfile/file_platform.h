// What the portable file code needs of the platform's own files.
#ifndef ZUV_REGFILE_FILE_PLATFORM_H
#define ZUV_REGFILE_FILE_PLATFORM_H

#include <string>
#include <string_view>

namespace zuv::platform {

// Writes `content` to a new file in the system's temporary folder, named after
// the file at `path`, and flushes it to disk. Its path, or empty when none
// could be written (a partial one is removed).
std::string WriteSafeCopy(const std::string& path, std::string_view content);
void RemoveFile(const std::string& path);

}  // namespace zuv::platform

#endif  // ZUV_REGFILE_FILE_PLATFORM_H

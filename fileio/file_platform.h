// What the portable file code needs of the platform's own files.
#ifndef ZUV_FILEIO_FILE_PLATFORM_H
#define ZUV_FILEIO_FILE_PLATFORM_H

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace zuv::platform {

// Writes `content` to a new file in the system's temporary folder, named after
// the file at `path`, and flushes it to disk. Its path, or empty when none
// could be written (a partial one is removed) with *systemError set.
std::string WriteSafeCopy(const std::string& path, std::string_view content,
                          uint32_t* systemError);
void RemoveFile(const std::string& path);
// The temporary folder WriteSafeCopy writes to, and the environment variable
// that chooses it ("/tmp (TMPDIR)").
std::string TemporaryFolderName();

// The pauses between tries for a lock another program holds: growing as the
// squares of 1, 2, 3 ... ms up to 250 ms, each one between 75 % and 125 % of
// that so that waiting processes drift apart (git's lockfile does the same).
class LockBackoff {
 public:
  explicit LockBackoff(uint32_t waitMilliseconds);
  // Sleeps the next pause, never past the end of the wait; false (without
  // sleeping) once the wait is over.
  bool Pause();

 private:
  std::chrono::steady_clock::time_point deadline_;
  uint32_t multiplier_ = 1;
  uint32_t n_ = 1;
  std::minstd_rand random_;
};

#ifdef _WIN32
// The call that puts a new file in place of the old one (ReplaceFileW with the
// flags the save uses), replaceable so that a test can make it fail as the
// system may. Nonzero is success; on failure GetLastError tells why.
using ReplaceFileCall = int (*)(const wchar_t* replaced, const wchar_t* replacement,
                                const wchar_t* backup);
// Sets the call (null: the system's); returns the one it replaces.
ReplaceFileCall SetReplaceFileCall(ReplaceFileCall call);
#endif

}  // namespace zuv::platform

#endif  // ZUV_FILEIO_FILE_PLATFORM_H

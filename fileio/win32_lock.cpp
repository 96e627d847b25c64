// The lock on a driver file over the Win32 file API.
#include "fileio/win32_lock.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "fileio/file_platform.h"
#include "fileio/win32_file.h"
#include "fileio/win32_path.h"
#include "fileio/win32_replace.h"

namespace zuv::win32 {

namespace {

// Holds the file whose byte range is locked; closing it drops the lock.
class Win32Lock : public FileLock {
 public:
  Win32Lock(Handle handle, std::string path)
      : file_(FileOf(std::move(handle), path)), path_(std::move(path)) {}

  // The locked byte lies past the content, so the lock's own handle reads
  // the whole file.
  bool ReadAll(std::string* content, Status* status) override {
    *status = ReadWholeText(*file_, path_, content);
    return true;
  }

 private:
  std::unique_ptr<File> file_;
  std::string path_;
};

}  // namespace

// LockFileEx on the driver file itself, on a byte range past any content
// the store reads (a Windows lock would stop other handles' reads and
// writes of the bytes it covers): no file is made for the lock, and the
// system drops it with the process. A replacement while this process
// waited leaves it holding the old file; it sees that the path names
// another file now and locks that one.
std::unique_ptr<FileLock> LockFile(const std::string& path, LockMode mode, Status* status,
                                   uint32_t waitMilliseconds) {
  const auto failed = [&](Status why) {
    if (status) *status = std::move(why);
    return nullptr;
  };
  const auto systemFailed = [&](uint32_t code) { return failed(Status::System(code, path)); };
  if (Status problem = LockWaitProblem(); !problem.ok()) return failed(problem);
  const uint32_t wait = LockWaitBound(waitMilliseconds);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
  platform::LockBackoff backoff(wait);
  // ReplaceFileW moves the old file aside before it moves the new one in:
  // for that instant the name is missing, and an open then finds nothing.
  // A name still missing a moment later is a missing file.
  std::chrono::steady_clock::time_point missingUntil{};
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
  if (mode == LockMode::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
  for (;;) {
    Handle handle = OpenHandle(path, GENERIC_READ, kShareAll);
    if (!handle) {
      const uint32_t error = LastError();
      const auto now = std::chrono::steady_clock::now();
      if (missingUntil == std::chrono::steady_clock::time_point{}) {
        missingUntil = std::min(deadline, now + std::chrono::milliseconds(250));
      }
      // A save killed between ReplaceFileW's two steps left the driver
      // file under its backup name: the writer puts it back.
      if (error == ERROR_FILE_NOT_FOUND && mode == LockMode::kExclusive &&
          RestoreFromBackup(path)) {
        continue;
      }
      if (error == ERROR_FILE_NOT_FOUND && now < missingUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      if (IsFolder(path)) return failed(NotAFile(path));
      return systemFailed(error);
    }
    if (Status regular = CheckRegular(handle.Get(), path); !regular.ok()) return failed(regular);
    for (;;) {
      OVERLAPPED at = {};
      at.Offset = kLockByte;
      if (::LockFileEx(handle.Get(), flags, 0, 1, 0, &at)) break;
      const DWORD error = ::GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        return systemFailed(error != 0 ? error : ERROR_LOCK_VIOLATION);
      }
      if (!backoff.Pause()) return failed(Status::LockTimedOut(wait));
    }
    BY_HANDLE_FILE_INFORMATION held, named;
    if (!::GetFileInformationByHandle(handle.Get(), &held)) return systemFailed(LastError());
    if (!Identify(path, &named)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) return systemFailed(LastError());
      continue;  // gone between the two calls: the open says what is there now
    }
    if (SameFile(held, named)) {
      if (mode == LockMode::kExclusive) RemoveLeftovers(path);
      return std::make_unique<Win32Lock>(std::move(handle), path);
    }
  }
}

}  // namespace zuv::win32

// The system's file system on Windows: the Win32 file layer's jobs (the file
// object, the replacement, the lock, the paths) behind one FileSystem.
#include <string>

#include "base/status.h"
#include "fileio/file.h"
#include "fileio/win32_file.h"
#include "fileio/win32_lock.h"
#include "fileio/win32_path.h"
#include "fileio/win32_replace.h"

namespace zuv {

namespace {

class Win32FileSystem : public FileSystem {
 public:
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override {
    return Opened(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
  }

  StatusOr<std::unique_ptr<File>> OpenForReading(const std::string& path) override {
    return Opened(path, GENERIC_READ, win32::kShareAll);
  }

  std::string RealPath(const std::string& path) override { return win32::RealPath(path); }

  Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries) override {
    return win32::ListFolder(path, entries);
  }

  Status ReplaceContent(const std::string& path, std::string_view content) override {
    return win32::ReplaceContent(*this, path, content);
  }

  StatusOr<std::unique_ptr<FileLock>> Lock(
      const std::string& path, LockMode mode,
      uint32_t waitMilliseconds = kLockWaitFromEnvironment) override {
    Status status;
    std::unique_ptr<FileLock> lock = win32::LockFile(path, mode, &status, waitMilliseconds);
    if (!lock) return status;
    return lock;
  }

 private:
  static StatusOr<std::unique_ptr<File>> Opened(const std::string& path, DWORD access,
                                                DWORD share) {
    Status status;
    std::unique_ptr<File> file = win32::OpenFile(path, access, share, &status);
    if (!file) return status;
    return file;
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static Win32FileSystem fileSystem;
  return fileSystem;
}

}  // namespace zuv

// The file object over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "regfile/file.h"
#include "regfile/file_platform.h"

namespace zuv {

namespace {

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  uint64_t Seek(int64_t offset, SeekOrigin origin) override {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET
                 : origin == SeekOrigin::End ? SEEK_END
                                             : SEEK_CUR;
    off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) Fail("seek");
    return static_cast<uint64_t>(at);
  }

  void SetLength(uint64_t length) override {
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail("set the length of");
  }

  uint64_t GetLength() override {
    struct stat info;
    if (::fstat(fd_, &info) != 0) Fail("get the length of");
    return static_cast<uint64_t>(info.st_size);
  }

  size_t Read(void* buffer, size_t count) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      ssize_t got = ::read(fd_, out + done, count - done);
      if (got < 0) {
        if (errno == EINTR) continue;
        Fail("read");
      }
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

  void Write(const void* buffer, size_t count) override {
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      ssize_t put = ::write(fd_, in + done, count - done);
      if (put < 0) {
        if (errno == EINTR) continue;
        Fail("write");
      }
      done += static_cast<size_t>(put);
    }
  }

  void Flush() override {
    if (::fsync(fd_) != 0) Fail("flush");
  }

  void Close() override {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail("close");
  }

 private:
  [[noreturn]] void Fail(const char* operation) {
    throw FileError(static_cast<uint32_t>(errno), path_, operation);
  }

  int fd_;
  std::string path_;
};

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<File> OpenExisting(const std::string& path,
                                     uint32_t* systemError) override {
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (systemError) *systemError = static_cast<uint32_t>(errno);
      return nullptr;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      if (systemError) *systemError = EISDIR;
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, path);
  }

  uint32_t ReplaceContent(const std::string& path, std::string_view content) override {
    // A symbolic link stays a link: the file it names is the one replaced.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return Error();
    const std::string target(resolved);
    std::free(resolved);
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) return Error();
    if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    // A second hard link would keep the old file after a rename.
    if (info.st_nlink > 1) return ReplaceInPlace(*this, target, content, true);

    const size_t slash = target.rfind('/');
    const std::string folder = target.substr(0, slash + 1);
    std::string working = folder + "." + target.substr(slash + 1) + ".saving-XXXXXX";
    int fd = ::mkostemp(working.data(), O_CLOEXEC);
    if (fd < 0) {
      // A folder where this user may not create files, around a file they may
      // write: the file itself is all there is to write to.
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        return ReplaceInPlace(*this, target, content, true);
      }
      return Error();
    }

    uint32_t error = 0;
    size_t done = 0;
    while (error == 0 && done < content.size()) {
      ssize_t put = ::write(fd, content.data() + done, content.size() - done);
      if (put < 0) {
        if (errno != EINTR) error = Error();
      } else {
        done += static_cast<size_t>(put);
      }
    }
    // The old file's owner and permissions; an owner that cannot be given
    // (not running as root) leaves the file to the one who saves it.
    if (error == 0 && (info.st_uid != ::geteuid() || info.st_gid != ::getegid())) {
      if (::fchown(fd, info.st_uid, info.st_gid) != 0 && errno != EPERM) error = Error();
    }
    if (error == 0 && ::fchmod(fd, info.st_mode & 07777) != 0) error = Error();
    if (error == 0 && ::fsync(fd) != 0) error = Error();
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = Error();
    if (error == 0 && ::rename(working.c_str(), target.c_str()) != 0) error = Error();
    if (error != 0) {
      ::unlink(working.c_str());
      return error;
    }
    // The rename itself reaches the disk with the folder's entry.
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
      ::fsync(folderFd);
      ::close(folderFd);
    }
    return 0;
  }

  // flock on the driver file itself: no file is made for the lock, so nothing
  // is left beside the driver file, and the system drops the lock with the
  // process. A save replaces the file by rename, which leaves a waiting
  // process holding the old file; it sees that the path names another file
  // now and locks that one.
  std::unique_ptr<FileLock> Lock(const std::string& path, LockMode mode,
                                 uint32_t* systemError) override {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(LockWaitMilliseconds());
    const int operation = (mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
      int fd;
      do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      } while (fd < 0 && errno == EINTR);
      if (fd < 0) return Failed(systemError, Error());
      auto lock = std::make_unique<PosixLock>(fd);
      for (;;) {
        if (::flock(fd, operation) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return Failed(systemError, Error());
        if (std::chrono::steady_clock::now() >= deadline) {
          return Failed(systemError, kLockTimedOut);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      struct stat held, named;
      if (::fstat(fd, &held) != 0) return Failed(systemError, Error());
      if (::stat(path.c_str(), &named) != 0) {
        if (errno != ENOENT) return Failed(systemError, Error());
        continue;  // gone between the two calls: the open says what is there now
      }
      if (held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        if (mode == LockMode::kExclusive) RemoveLeftovers(path);
        return lock;
      }
    }
  }

 private:
  class PosixLock : public FileLock {
   public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { ::close(fd_); }

   private:
    int fd_;
  };

  static std::unique_ptr<FileLock> Failed(uint32_t* systemError, uint32_t code) {
    if (systemError) *systemError = code;
    return nullptr;
  }

  // ".NAME.saving-XXXXXX" beside the file the path names: a save's working
  // file (mkostemp's six characters), left by a save that was killed.
  static void RemoveLeftovers(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return;
    const std::string target(resolved);
    std::free(resolved);
    const size_t slash = target.rfind('/');
    const std::string folder = target.substr(0, slash + 1);
    const std::string stem = "." + target.substr(slash + 1) + ".saving-";
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return;
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name.size() != stem.size() + 6 || name.compare(0, stem.size(), stem) != 0) continue;
      bool ours = true;
      for (size_t i = stem.size(); i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        ours = ours && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
      }
      struct stat info;
      const std::string leftover = folder + name;
      if (ours && ::lstat(leftover.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ::unlink(leftover.c_str());
      }
    }
    ::closedir(listing);
  }

  static uint32_t Error() { return errno != 0 ? static_cast<uint32_t>(errno) : EIO; }
};

}  // namespace

namespace platform {

std::string WriteSafeCopy(const std::string& path, std::string_view content) {
  const char* folder = std::getenv("TMPDIR");
  std::string copy = (folder != nullptr && *folder != '\0') ? folder : "/tmp";
  if (copy.back() != '/') copy += '/';
  copy += "zuv8620-" + path.substr(path.rfind('/') + 1) + ".old-XXXXXX";
  const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
  if (fd < 0) return {};
  bool ok = true;
  size_t done = 0;
  while (ok && done < content.size()) {
    const ssize_t put = ::write(fd, content.data() + done, content.size() - done);
    if (put < 0) {
      ok = errno == EINTR;
    } else {
      done += static_cast<size_t>(put);
    }
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(copy.c_str());
    return {};
  }
  return copy;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace platform

std::string SystemErrorText(uint32_t systemError) {
  return std::strerror(static_cast<int>(systemError));
}

FileSystem& NativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace zuv

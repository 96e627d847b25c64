// The file object over POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "regfile/file.h"

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

    const size_t slash = target.rfind('/');
    const std::string folder = target.substr(0, slash + 1);
    std::string working = folder + "." + target.substr(slash + 1) + ".saving-XXXXXX";
    int fd = ::mkostemp(working.data(), O_CLOEXEC);
    if (fd < 0) return Error();

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

 private:
  static uint32_t Error() { return errno != 0 ? static_cast<uint32_t>(errno) : EIO; }
};

}  // namespace

std::string SystemErrorText(uint32_t systemError) {
  return std::strerror(static_cast<int>(systemError));
}

FileSystem& NativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace zuv

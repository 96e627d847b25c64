// The file object over POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

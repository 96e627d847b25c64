// The file object over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "fileio/file.h"
#include "fileio/file_platform.h"

namespace zuv {

namespace {

// open(2), tried again while a signal interrupts it.
int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all `size` bytes at the position, again where a signal interrupted a
// write: 0, or the errno of the write that failed.
int WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno != 0 ? errno : static_cast<int>(kNoSystemCode);
    }
    done += static_cast<size_t>(put);
  }
  return 0;
}

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
    if (at < 0) Fail();
    return static_cast<uint64_t>(at);
  }

  void SetLength(uint64_t length) override {
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail();
  }

  uint64_t GetLength() override {
    struct stat info;
    if (::fstat(fd_, &info) != 0) Fail();
    return static_cast<uint64_t>(info.st_size);
  }

  size_t Read(void* buffer, size_t count) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      ssize_t got = ::read(fd_, out + done, count - done);
      if (got < 0) {
        if (errno == EINTR) continue;
        Fail();
      }
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

  void Write(const void* buffer, size_t count) override {
    if (const int error = WriteAll(fd_, static_cast<const char*>(buffer), count)) {
      throw FileError(static_cast<uint32_t>(error), path_);
    }
  }

  void Flush() override {
    if (::fsync(fd_) != 0) Fail();
  }

  void Close() override {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail();
  }

 private:
  [[noreturn]] void Fail() { throw FileError(static_cast<uint32_t>(errno), path_); }

  int fd_;
  std::string path_;
};

class PosixFileSystem : public FileSystem {
 public:
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override {
    return Opened(path, O_RDWR);
  }

  StatusOr<std::unique_ptr<File>> OpenForReading(const std::string& path) override {
    return Opened(path, O_RDONLY);
  }

  std::string RealPath(const std::string& path) override {
    // Absolute, so that a file named from inside its driver's folder has the
    // keys it has by its full path; links, "." and ".." resolved. A path that
    // does not resolve is made absolute as written.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (!error) return real.string();
    const std::filesystem::path plain = std::filesystem::absolute(path, error).lexically_normal();
    return error ? path : plain.string();
  }

  Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries) override {
    // O_NOFOLLOW: a link named as the folder is not listed either.
    const int fd = OpenRetrying(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Status::System(Error(), path);
    DIR* listing = ::fdopendir(fd);
    if (listing == nullptr) {
      const uint32_t error = Error();
      ::close(fd);
      return Status::System(error, path);
    }
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      unsigned char type = entry->d_type;
      struct stat info;
      // Some file systems leave the type to a look of its own, which never
      // follows a link.
      if (type == DT_UNKNOWN && ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISREG(info.st_mode)   ? DT_REG
               : S_ISDIR(info.st_mode) ? DT_DIR
               : S_ISLNK(info.st_mode) ? DT_LNK
                                       : DT_UNKNOWN;
      }
      entries->push_back({name, type == DT_REG   ? EntryKind::kFile
                                : type == DT_DIR ? EntryKind::kFolder
                                : type == DT_LNK ? EntryKind::kLink
                                                 : EntryKind::kOther});
      errno = 0;
    }
    const uint32_t error = static_cast<uint32_t>(errno);
    ::closedir(listing);
    return error != 0 ? Status::System(error, path) : Status();
  }

  Status ReplaceContent(const std::string& path, std::string_view content) override {
    const auto failed = [&](uint32_t code) { return Status::System(code, path); };
    // A symbolic link stays a link: the file it names is the one replaced.
    std::string target;
    if (!Target(path, &target)) return failed(Error());
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) return failed(Error());
    if (!S_ISREG(info.st_mode)) return failed(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    // A file this user may not write is refused before anything is written
    // (a rename would replace it all the same).
    if (Status writable = CheckWritable(target); !writable.ok()) return writable;
    // A second hard link would keep the old file after a rename.
    if (info.st_nlink > 1) return ReplaceInPlace(*this, target, content, true);

    const std::string folder = FolderOf(target);
    // The working file has one name while the exclusive lock keeps saves
    // apart, so the next lock finds what a killed save left with one look;
    // where that name is taken (a save without the lock), a unique one.
    std::string working = DeadSaveMarker(target);
    int fd = ::open(working.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
      working.replace(working.size() - 6, 6, "XXXXXX");
      fd = ::mkostemp(working.data(), O_CLOEXEC);
    }
    if (fd < 0) {
      // A folder where this user may not create files, around a file they may
      // write: the file itself is all there is to write to.
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        return ReplaceInPlace(*this, target, content, true);
      }
      return failed(Error());
    }

    uint32_t error = static_cast<uint32_t>(WriteAll(fd, content.data(), content.size()));
    // Who may use the file stays as it was: owner, group, every extended
    // attribute (the access list among them), then the mode. A new file that
    // cannot be given them is dropped, and the old file written in place.
    bool inPlace = false;
    if (error == 0) error = KeepAccess(fd, target, info, &inPlace);
    if (error == 0 && !inPlace && ::fsync(fd) != 0) error = Error();
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = Error();
    if (error == 0 && !inPlace && ::rename(working.c_str(), target.c_str()) != 0) {
      // A sticky folder refuses to let this user replace another's file.
      if (errno == EPERM || errno == EACCES) {
        inPlace = true;
      } else {
        error = Error();
      }
    }
    if (error != 0 || inPlace) {
      ::unlink(working.c_str());
      return error != 0 ? failed(error) : ReplaceInPlace(*this, target, content, true);
    }
    // The rename itself reaches the disk with the folder's entry.
    int folderFd = OpenRetrying(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
      ::fsync(folderFd);
      ::close(folderFd);
    }
    return {};
  }

  // flock on the driver file itself: no file is made for the lock, so nothing
  // is left beside the driver file, and the system drops the lock with the
  // process. A save replaces the file by rename, which leaves a waiting
  // process holding the old file; it sees that the path names another file
  // now and locks that one.
  StatusOr<std::unique_ptr<FileLock>> Lock(
      const std::string& path, LockMode mode,
      uint32_t waitMilliseconds = kLockWaitFromEnvironment) override {
    Status status;
    std::unique_ptr<FileLock> lock = LockReporting(path, mode, &status, waitMilliseconds);
    if (!lock) return status;
    return lock;
  }

 private:
  static StatusOr<std::unique_ptr<File>> Opened(const std::string& path, int access) {
    Status status;
    std::unique_ptr<File> file = Open(path, access, &status);
    if (!file) return status;
    return file;
  }

  static std::unique_ptr<FileLock> LockReporting(const std::string& path, LockMode mode,
                                                 Status* status, uint32_t waitMilliseconds) {
    const auto failed = [&](Status why) {
      if (status) *status = std::move(why);
      return nullptr;
    };
    const auto systemFailed = [&]() { return failed(Status::System(Error(), path)); };
    if (Status problem = LockWaitProblem(); !problem.ok()) return failed(problem);
    const uint32_t wait = LockWaitBound(waitMilliseconds);
    platform::LockBackoff backoff(wait);
    const int operation = (mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
      const int fd = OpenRetrying(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (fd < 0) return systemFailed();
      auto lock = std::make_unique<PosixLock>(fd, path);
      struct stat opened;
      if (::fstat(fd, &opened) != 0) return systemFailed();
      if (!S_ISREG(opened.st_mode)) return failed(NotRegular(opened.st_mode, path));
      for (;;) {
        if (::flock(fd, operation) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return systemFailed();
        if (!backoff.Pause()) return failed(Status::LockTimedOut(wait));
      }
      // An open file stays the same file: what its first look found is what
      // is locked.
      const struct stat& held = opened;
      struct stat named;
      if (::stat(path.c_str(), &named) != 0) {
        if (errno != ENOENT) return systemFailed();
        continue;  // gone between the two calls: the open says what is there now
      }
      if (held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        if (mode == LockMode::kExclusive) RemoveLeftoversOfDeadSaves(path);
        return lock;
      }
    }
  }

  static std::unique_ptr<File> Open(const std::string& path, int access, Status* status) {
    // Without O_NONBLOCK the open of a FIFO waits for a writer; what it opens
    // is looked at before anything is read.
    const int fd = OpenRetrying(path, access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      if (status) {
        *status = errno == EISDIR ? NotRegular(S_IFDIR, path) : Status::System(Error(), path);
      }
      return nullptr;
    }
    struct stat info;
    Status refused;
    if (::fstat(fd, &info) != 0) {
      refused = Status::System(Error(), path);
    } else if (!S_ISREG(info.st_mode)) {
      refused = NotRegular(info.st_mode, path);
    } else {
      // Reads of a regular file never wait; the flag goes all the same.
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        refused = Status::System(Error(), path);
      }
    }
    if (!refused.ok()) {
      ::close(fd);
      if (status) *status = std::move(refused);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, path);
  }

  // A folder, a FIFO, a device or a socket where a driver file or a document
  // is wanted: refused before it is read (a FIFO would wait for a writer, a
  // device read as an empty file or never end).
  static Status NotRegular(mode_t mode, const std::string& path) {
    const char* what = S_ISDIR(mode)    ? "a folder"
                       : S_ISFIFO(mode) ? "a FIFO or pipe"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "";
    return Status::Of(Condition::kNotRegularFile, what).WithPath(path);
  }

  // Condition::kReadOnly when the system refuses this user the file for
  // writing: its mode or access list, a read-only file system, an immutable
  // file.
  static Status CheckWritable(const std::string& target) {
    const int fd = OpenRetrying(target, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        return Status::Of(Condition::kReadOnly);
      }
      return Status::System(Error(), target);
    }
    ::close(fd);
    return {};
  }

  // The extended attributes' names, each ending in a NUL; false when the file
  // system has none (an empty list) or they cannot be listed.
  static bool AttributeNames(int fd, const std::string& path, std::string* names) {
    for (;;) {
      const ssize_t size =
          fd >= 0 ? ::flistxattr(fd, nullptr, 0) : ::listxattr(path.c_str(), nullptr, 0);
      if (size < 0) return errno == ENOTSUP;
      // No attributes (the usual case): nothing more to ask.
      names->assign(static_cast<size_t>(size), '\0');
      if (size == 0) return true;
      const ssize_t got = fd >= 0 ? ::flistxattr(fd, names->data(), names->size())
                                  : ::listxattr(path.c_str(), names->data(), names->size());
      if (got >= 0) {
        names->resize(static_cast<size_t>(got));
        return true;
      }
      if (errno != ERANGE) return false;
    }
  }

  static std::vector<std::string> Split(const std::string& names) {
    std::vector<std::string> list;
    for (size_t at = 0; at < names.size();) {
      const size_t end = names.find('\0', at);
      list.push_back(names.substr(at, end - at));
      at = end == std::string::npos ? names.size() : end + 1;
    }
    return list;
  }

  // Gives the working file `fd` what decides who may use the old file:
  // owner and group, exactly the old file's extended attributes (the POSIX
  // access list is "system.posix_acl_access"; one that the folder's default
  // list gave the new file goes), then the mode. *inPlace when one of them
  // cannot be given (an owner or group this user may not give away, an
  // attribute only root may set): the caller then writes in place, which
  // keeps them all. 0, or the system's error code.
  static uint32_t KeepAccess(int fd, const std::string& target, const struct stat& old,
                             bool* inPlace) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) return Error();
    struct stat now;
    if (::fstat(fd, &now) != 0) return Error();
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
      *inPlace = true;
      return 0;
    }
    std::string oldNames, newNames;
    if (!AttributeNames(-1, target, &oldNames) || !AttributeNames(fd, target, &newNames)) {
      *inPlace = true;
      return 0;
    }
    const std::vector<std::string> keep = Split(oldNames);
    for (const std::string& name : Split(newNames)) {
      if (std::find(keep.begin(), keep.end(), name) != keep.end()) continue;
      if (::fremovexattr(fd, name.c_str()) != 0) {
        *inPlace = true;
        return 0;
      }
    }
    std::string value;
    for (const std::string& name : keep) {
      ssize_t size = ::getxattr(target.c_str(), name.c_str(), nullptr, 0);
      while (size >= 0) {
        value.assign(static_cast<size_t>(size), '\0');
        const ssize_t got = ::getxattr(target.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0 || errno != ERANGE) {
          size = got;
          break;
        }
        size = ::getxattr(target.c_str(), name.c_str(), nullptr, 0);
      }
      if (size < 0 ||
          ::fsetxattr(fd, name.c_str(), value.data(), static_cast<size_t>(size), 0) != 0) {
        *inPlace = true;
        return 0;
      }
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) return Error();
    return 0;
  }

  // Holds the open file whose flock is the lock; closing it drops the lock.
  class PosixLock : public FileLock {
   public:
    PosixLock(int fd, std::string path) : file_(fd, path), path_(std::move(path)) {}

    bool ReadAll(std::string* content, Status* status) override {
      *status = ReadWholeText(file_, path_, content);
      return true;
    }

   private:
    PosixFile file_;
    std::string path_;
  };

  // The file a path names: the path itself unless it is a symbolic link (a
  // folder on the way that is a link names the same folder), else the path
  // with every link resolved. False with errno set when it cannot be found.
  static bool Target(const std::string& path, std::string* target) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISLNK(info.st_mode)) {
      *target = path;
      return true;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    *target = resolved;
    std::free(resolved);
    return true;
  }

  // The folder of a file's path, with its trailing "/" ("./" for a bare name).
  static std::string FolderOf(const std::string& target) {
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? std::string("./") : target.substr(0, slash + 1);
  }

  // ".NAME.saving-000000" beside the file: the working file of a save made
  // under the exclusive lock, there afterwards only when that save was killed.
  static std::string DeadSaveMarker(const std::string& target) {
    const size_t slash = target.rfind('/');
    return FolderOf(target) + "." + target.substr(slash == std::string::npos ? 0 : slash + 1) +
           ".saving-000000";
  }

  // The folder is searched for leftovers only when a save under the lock was
  // killed: its working file is still there.
  static void RemoveLeftoversOfDeadSaves(const std::string& path) {
    std::string target;
    struct stat info;
    if (!Target(path, &target) || ::lstat(DeadSaveMarker(target).c_str(), &info) != 0) return;
    RemoveLeftovers(target);
  }

  // ".NAME.saving-XXXXXX" beside the file: a save's working file (six
  // characters, as mkostemp makes them), left by a save that was killed.
  static void RemoveLeftovers(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = FolderOf(target);
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

  static uint32_t Error() { return errno != 0 ? static_cast<uint32_t>(errno) : kNoSystemCode; }
};

}  // namespace

namespace platform {

namespace {

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return (folder != nullptr && *folder != '\0') ? folder : "/tmp";
}

}  // namespace

std::string TemporaryFolderName() { return TemporaryFolder() + " (TMPDIR)"; }

std::string WriteSafeCopy(const std::string& path, std::string_view content,
                          uint32_t* systemError) {
  std::string copy = TemporaryFolder();
  if (copy.back() != '/') copy += '/';
  copy += "zuv8620-" + path.substr(path.rfind('/') + 1) + ".old-XXXXXX";
  const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
  if (fd < 0) {
    *systemError = static_cast<uint32_t>(errno);
    return {};
  }
  int error = WriteAll(fd, content.data(), content.size());
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error != 0) {
    ::unlink(copy.c_str());
    *systemError = static_cast<uint32_t>(error);
    return {};
  }
  return copy;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace platform

FileSystem& NativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace zuv

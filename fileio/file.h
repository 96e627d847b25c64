// The file object under the registry text store: an existing file opened for
// reading (and writing), with positioned reads and writes and a settable length.
// Failures of an open file raise FileError; every other call returns a Status.
#ifndef ZUV_FILEIO_FILE_H
#define ZUV_FILEIO_FILE_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace zuv {

// Raised by a File when the system refuses an operation on an open file.
class FileError : public std::exception {
 public:
  FileError(uint32_t systemError, std::string path);

  // The system error with the path.
  const Status& GetStatus() const { return status_; }
  // errno on Linux, GetLastError() on Windows.
  uint32_t SystemError() const { return status_.SystemCode(); }
  const std::string& Path() const { return status_.Path(); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  Status status_;
  std::string message_;
};

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// The store addresses its text with 32-bit offsets: a driver file or text of
// kTextLimit bytes (2 GiB less one) or more is refused, and a change that
// would make one is not written. On Windows the driver file's lock covers the
// one byte at kLockByte, past every file the store takes, so that the lock
// never stops another handle's reads and writes of the content (a Windows
// lock would): the two numbers are one, and change together.
constexpr uint32_t kTextLimit = 0x7FFFFFFF;
constexpr uint32_t kLockByte = kTextLimit;

class File {
 public:
  virtual ~File() = default;

  // Moves the position; returns the new position.
  virtual uint64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  // The file is exactly `length` bytes long afterwards. The position is left
  // where it was (a position past the new end is allowed).
  virtual void SetLength(uint64_t length) = 0;
  virtual uint64_t GetLength() = 0;
  // Reads up to `count` bytes at the position; returns how many were read
  // (fewer only at the end of the file).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all `count` bytes at the position, or raises.
  virtual void Write(const void* buffer, size_t count) = 0;
  // Closes the file; a closed file ignores a second Close.
  virtual void Close() = 0;
  // Makes what was written reach the disk (nothing to do for files in memory).
  virtual void Flush() {}
};

enum class LockMode { kShared, kExclusive };

// A lock on a driver file, held until the object goes. The system releases it
// when the process ends, however it ends.
class FileLock {
 public:
  virtual ~FileLock() = default;
  // Reads the whole locked file through the lock's own handle, so that a
  // locked read opens the file once. False when the lock has no handle to
  // read with (the caller then opens the file); else true with *status set.
  virtual bool ReadAll(std::string* content, Status* status) {
    static_cast<void>(content);
    static_cast<void>(status);
    return false;
  }
};

// How long a lock is waited for: 10 s, or the milliseconds (0 to
// kLockWaitLongest) given in the environment variable ZUV8620_LOCK_WAIT_MS. A
// value that is not such a number makes every Lock fail with
// Condition::kLockWaitMalformed.
constexpr uint32_t kLockWaitLongest = 3600000;
uint32_t LockWaitMilliseconds();
// Condition::kLockWaitMalformed quoting the variable's text when it is not
// such a number, else success.
Status LockWaitProblem();
// Lock's default wait bound: LockWaitMilliseconds().
constexpr uint32_t kLockWaitFromEnvironment = 0xFFFFFFFFu;
// The milliseconds a Lock given `waitMilliseconds` waits: LockWaitMilliseconds()
// for kLockWaitFromEnvironment, else the smaller of the two.
uint32_t LockWaitBound(uint32_t waitMilliseconds);

// One entry of a folder, as the folder's own listing tells it: a symbolic
// link (on Windows any reparse point, a junction among them) is a link,
// never what it points to.
enum class EntryKind { kFile, kFolder, kLink, kOther };
struct FolderEntry {
  std::string name;  // the entry's name alone, UTF-8
  EntryKind kind;
};

// Where files come from. The store opens every file through one of these, so a
// test can put a file in memory or make the k-th call fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file for reading and writing, without creating or
  // truncating it; or the system's error. A path that names anything but a
  // regular file (a folder, a FIFO, a device) is refused at once, never
  // waited on, with Condition::kNotRegularFile.
  virtual StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) = 0;
  // Opens an existing file for reading only, sharing it with every other
  // reader and writer (on Windows reading, writing and deletion): what a path
  // that only reads uses, so that read-only files and file systems read as
  // any other and readers never refuse one another. Writing to it raises.
  // This default opens it as OpenExisting does.
  virtual StatusOr<std::unique_ptr<File>> OpenForReading(const std::string& path);

  // Makes the existing file at `path` hold exactly `content`, in one step:
  // whenever this stops (an error, the process killed, the power gone), the
  // file holds either all of its old content or all of the new. The file keeps
  // its permissions. Returns success, or the failure with the file as it was.
  // A file this user may not write is refused before anything is written:
  // Condition::kReadOnly, or kReadOnlyAttribute.
  //
  // The platforms' file systems write the new content to a file beside the
  // old one, flush it to disk and rename it over the old one (on Windows with
  // ReplaceFileW, which gives the new file the old one's attributes and
  // security descriptor). On Linux the new file gets the old one's owner,
  // group, extended attributes (its access list among them) and mode. Where
  // a rename would change the file, it is written in place instead
  // (ReplaceInPlace with a safe copy), as an editor's "backup copy" rule
  // does: a file with more than one link (a rename would cut the others
  // off), a folder that refuses the working file or the rename (no write
  // permission, sticky), and an owner, group or attribute the new file cannot
  // be given (the saver is not root). Every name then sees the new content,
  // at the price of a file left mixed (with a copy of the old content in the
  // temporary folder) when the process is killed half way.
  // This fallback, for file systems that cannot rename, writes in place
  // through OpenExisting and puts the old content back when a write fails;
  // it survives errors but not a process killed half way.
  virtual Status ReplaceContent(const std::string& path, std::string_view content);

  // Locks the existing file at `path`, shared (readers) or exclusive (one
  // writer, no reader), waiting up to LockWaitBound(waitMilliseconds): 0 tries
  // once, a window's thread waits a moment at most. The lock stays
  // on whatever file the path names: a replacement by another process while
  // this one waited is noticed, and the new file is locked instead. An
  // exclusive lock also removes working files that killed saves of this file
  // left behind (no live save can hold one while the lock is had); on Windows
  // it first puts back a driver file that a save killed inside ReplaceFileW
  // left missing beside its backup, and removes backups once the file is
  // whole. The failure when it cannot be had (Condition::kLockTimedOut after
  // the wait). Files in memory are not locked: this returns a lock that
  // holds nothing.
  virtual StatusOr<std::unique_ptr<FileLock>> Lock(
      const std::string& path, LockMode mode, uint32_t waitMilliseconds = kLockWaitFromEnvironment);

  // The absolute path of the file `path` names, through every symbolic link
  // (on Windows the open file's final path when the path leads through a
  // link, else the full path with the letter case as given), so that a
  // relative path or a link of another name keeps the driver keys of the file
  // it names. A path that cannot be resolved comes back made absolute as
  // written. This default (files in memory) returns it unchanged.
  virtual std::string RealPath(const std::string& path);

  // The entries of the folder at `path` ("." and ".." left out), in the
  // order the system gives them; reads only, follows no link inside the
  // folder. The system's failure (a folder this user may not read, a path
  // that is no folder). This default (files in memory) has no folders: it
  // fails with the system's code for a missing path.
  virtual Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries);
};

// Another file system whose locks wait at most `waitMilliseconds` (see
// LockWaitBound), whatever wait its callers ask for; every other call goes
// to it unchanged. What a window's thread loads and saves through, so that a
// lock another program holds is told at once instead of waited for.
class LockWaitBoundFileSystem : public FileSystem {
 public:
  LockWaitBoundFileSystem(FileSystem& files, uint32_t waitMilliseconds)
      : files_(files), wait_(waitMilliseconds) {}
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override;
  StatusOr<std::unique_ptr<File>> OpenForReading(const std::string& path) override;
  Status ReplaceContent(const std::string& path, std::string_view content) override;
  StatusOr<std::unique_ptr<FileLock>> Lock(
      const std::string& path, LockMode mode,
      uint32_t waitMilliseconds = kLockWaitFromEnvironment) override;
  std::string RealPath(const std::string& path) override;
  Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries) override;

 private:
  FileSystem& files_;
  uint32_t wait_;
};

// Makes room in `text` for `size` bytes, to be written whole. On Linux a room
// of 256 KiB or more asks for its pages at once, large ones (2 MiB) where they
// fit: a page fault every 4 KiB costs a large driver file more time than
// reading it.
void ReserveText(std::string* text, size_t size);

// The content of an open file, read from its start, when it holds at most
// `limit` bytes; *length gets its length either way (a longer file is not
// read). The file's errors come back as the Status, never raised.
Status ReadFrom(File& file, uint64_t limit, std::string* content, uint64_t* length);

// The whole content of the open driver file at `path`, read from its start:
// one read for every path (a lock's own handle, or a file opened to read). A
// file of kTextLimit bytes or more fails as too large (EFBIG,
// ERROR_FILE_TOO_LARGE), no memory for it as ENOMEM (ERROR_NOT_ENOUGH_MEMORY).
Status ReadWholeText(File& file, const std::string& path, std::string* content);

// Writes `content` over the bytes of the existing file at `path`, keeping the
// file itself (its links, owner, permissions and identity), and puts the old
// content back when a write fails. With `safeCopy`, the old content is first
// written and flushed to a file in the system's temporary folder, removed
// again once the file holds all of one content or the other: a process killed
// during the write leaves a mixed driver file, and that copy to restore it
// from; a copy that cannot be written and flushed writes nothing
// (Condition::kNoSafeCopy with the reason). Success, or the first failure.
Status ReplaceInPlace(FileSystem& fileSystem, const std::string& path, std::string_view content,
                      bool safeCopy);

// The platform's own files (POSIX calls on Linux, the Win32 file API on Windows).
FileSystem& NativeFileSystem();

}  // namespace zuv

#endif  // ZUV_FILEIO_FILE_H

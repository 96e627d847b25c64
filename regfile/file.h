// The file object under the registry text store: an existing file opened for
// reading and writing, with positioned reads and writes and a settable length.
// Failures of an open file raise FileError; a failed open is a result code.
#ifndef ZUV_REGFILE_FILE_H
#define ZUV_REGFILE_FILE_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace zuv {

// Raised by a File when the system refuses an operation on an open file.
class FileError : public std::exception {
 public:
  FileError(uint32_t systemError, std::string path, const char* operation);

  // errno on Linux, GetLastError() on Windows.
  uint32_t SystemError() const { return systemError_; }
  const std::string& Path() const { return path_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  uint32_t systemError_;
  std::string path_;
  std::string message_;
};

// The system's own text for an error code of this platform ("No space left on
// device"), without a trailing line end.
std::string SystemErrorText(uint32_t systemError);

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

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
};

// Where files come from. The store opens every file through one of these, so a
// test can put a file in memory or make the k-th call fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file for reading and writing, without creating or
  // truncating it. On failure returns null and sets *systemError to the
  // system's error code (never 0).
  virtual std::unique_ptr<File> OpenExisting(const std::string& path,
                                             uint32_t* systemError) = 0;

  // Makes the existing file at `path` hold exactly `content`, in one step:
  // whenever this stops (an error, the process killed, the power gone), the
  // file holds either all of its old content or all of the new. The file keeps
  // its permissions. Returns 0, or the system's error code (never 0) with the
  // file as it was.
  //
  // The platforms' file systems write the new content to a file beside the
  // old one, flush it to disk and rename it over the old one. This fallback,
  // for file systems that cannot, writes in place through OpenExisting and
  // puts the old content back when a write fails; it survives errors but not
  // a process killed half way.
  virtual uint32_t ReplaceContent(const std::string& path, std::string_view content);
};

// The platform's own files (POSIX calls on Linux, the Win32 file API on Windows).
FileSystem& NativeFileSystem();

}  // namespace zuv

#endif  // ZUV_REGFILE_FILE_H

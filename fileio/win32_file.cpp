// The file object over the Win32 file API.
#include "fileio/win32_file.h"

#include <utility>

#include "fileio/win32_path.h"

namespace zuv::win32 {

namespace {

class Win32File : public File {
 public:
  Win32File(Handle handle, std::string path) : handle_(std::move(handle)), path_(std::move(path)) {}

  uint64_t Seek(int64_t offset, SeekOrigin origin) override {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN
                   : origin == SeekOrigin::End ? FILE_END
                                               : FILE_CURRENT;
    if (!::SetFilePointerEx(handle_.Get(), distance, &at, method)) Fail();
    return static_cast<uint64_t>(at.QuadPart);
  }

  void SetLength(uint64_t length) override {
    // SetEndOfFile cuts at the position: move there, cut, and move back.
    uint64_t position = Seek(0, SeekOrigin::Current);
    Seek(static_cast<int64_t>(length), SeekOrigin::Begin);
    if (!::SetEndOfFile(handle_.Get())) Fail();
    Seek(static_cast<int64_t>(position), SeekOrigin::Begin);
  }

  uint64_t GetLength() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_.Get(), &size)) Fail();
    return static_cast<uint64_t>(size.QuadPart);
  }

  size_t Read(void* buffer, size_t count) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      DWORD chunk = static_cast<DWORD>(count - done > 0x10000000 ? 0x10000000 : count - done);
      DWORD got = 0;
      if (!::ReadFile(handle_.Get(), out + done, chunk, &got, nullptr)) Fail();
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void Write(const void* buffer, size_t count) override {
    if (const DWORD error = WriteAll(handle_.Get(), static_cast<const char*>(buffer), count)) {
      throw FileError(error, path_);
    }
  }

  void Flush() override {
    if (!::FlushFileBuffers(handle_.Get())) Fail();
  }

  void Close() override {
    if (!handle_.Close()) Fail();
  }

 private:
  [[noreturn]] void Fail() { throw FileError(static_cast<uint32_t>(::GetLastError()), path_); }

  Handle handle_;
  std::string path_;
};

}  // namespace

uint32_t LastError() {
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_WRITE_FAULT;
}

DWORD WriteAll(HANDLE handle, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t left = size - done;
    const DWORD chunk = static_cast<DWORD>(left > 0x10000000 ? 0x10000000 : left);
    DWORD put = 0;
    if (!::WriteFile(handle, data + done, chunk, &put, nullptr)) {
      const DWORD error = ::GetLastError();
      return error != 0 ? error : ERROR_WRITE_FAULT;
    }
    done += put;
  }
  return 0;
}

Status CheckRegular(HANDLE handle, const std::string& path) {
  const DWORD type = ::GetFileType(handle);
  if (type == FILE_TYPE_DISK) return {};
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
    return Status::System(::GetLastError(), path);
  }
  const char* what = type == FILE_TYPE_PIPE ? "a pipe" : type == FILE_TYPE_CHAR ? "a device" : "";
  return Status::Of(Condition::kNotRegularFile, what).WithPath(path);
}

Status NotAFile(const std::string& path) {
  return Status::Of(Condition::kNotRegularFile, "a folder").WithPath(path);
}

std::unique_ptr<File> OpenFile(const std::string& path, DWORD access, DWORD share, Status* status) {
  Handle handle = OpenHandle(path, access, share);
  if (!handle) {
    const DWORD error = ::GetLastError();
    if (status) {
      *status = IsFolder(path) ? NotAFile(path) : Status::System(error, path);
    }
    return nullptr;
  }
  if (Status regular = CheckRegular(handle.Get(), path); !regular.ok()) {
    if (status) *status = std::move(regular);
    return nullptr;
  }
  return FileOf(std::move(handle), path);
}

std::unique_ptr<File> FileOf(Handle handle, std::string path) {
  return std::make_unique<Win32File>(std::move(handle), std::move(path));
}

}  // namespace zuv::win32

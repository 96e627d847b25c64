// The file object over the Win32 file API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "regfile/file.h"

namespace zuv {

namespace {

class Win32File : public File {
 public:
  Win32File(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }

  uint64_t Seek(int64_t offset, SeekOrigin origin) override {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER at;
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN
                   : origin == SeekOrigin::End ? FILE_END
                                               : FILE_CURRENT;
    if (!::SetFilePointerEx(handle_, distance, &at, method)) Fail("seek");
    return static_cast<uint64_t>(at.QuadPart);
  }

  void SetLength(uint64_t length) override {
    // SetEndOfFile cuts at the position: move there, cut, and move back.
    uint64_t position = Seek(0, SeekOrigin::Current);
    Seek(static_cast<int64_t>(length), SeekOrigin::Begin);
    if (!::SetEndOfFile(handle_)) Fail("set the length of");
    Seek(static_cast<int64_t>(position), SeekOrigin::Begin);
  }

  uint64_t GetLength() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_, &size)) Fail("get the length of");
    return static_cast<uint64_t>(size.QuadPart);
  }

  size_t Read(void* buffer, size_t count) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      DWORD chunk = static_cast<DWORD>(count - done > 0x10000000 ? 0x10000000 : count - done);
      DWORD got = 0;
      if (!::ReadFile(handle_, out + done, chunk, &got, nullptr)) Fail("read");
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void Write(const void* buffer, size_t count) override {
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
      DWORD chunk = static_cast<DWORD>(count - done > 0x10000000 ? 0x10000000 : count - done);
      DWORD put = 0;
      if (!::WriteFile(handle_, in + done, chunk, &put, nullptr)) Fail("write");
      done += put;
    }
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) Fail("close");
  }

 private:
  [[noreturn]] void Fail(const char* operation) {
    throw FileError(static_cast<uint32_t>(::GetLastError()), path_, operation);
  }

  HANDLE handle_;
  std::string path_;
};

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<File> OpenExisting(const std::string& path,
                                     uint32_t* systemError) override {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD error = ::GetLastError();
      if (systemError) *systemError = error != 0 ? error : ERROR_OPEN_FAILED;
      return nullptr;
    }
    return std::make_unique<Win32File>(handle, path);
  }

  uint32_t ReplaceContent(const std::string& path, std::string_view content) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Error();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;

    // A new file beside the old one, under a name no other save uses.
    static LONG counter = 0;
    const std::string working = path + ".saving-" + std::to_string(::GetCurrentProcessId()) +
                                "-" + std::to_string(::InterlockedIncrement(&counter));
    HANDLE handle = ::CreateFileA(working.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Error();

    uint32_t error = 0;
    size_t done = 0;
    while (error == 0 && done < content.size()) {
      const size_t left = content.size() - done;
      const DWORD chunk = static_cast<DWORD>(left > 0x10000000 ? 0x10000000 : left);
      DWORD put = 0;
      if (!::WriteFile(handle, content.data() + done, chunk, &put, nullptr)) {
        error = Error();
      } else {
        done += put;
      }
    }
    if (error == 0 && !::FlushFileBuffers(handle)) error = Error();
    if (!::CloseHandle(handle) && error == 0) error = Error();
    // The old file's attributes (hidden, system, archive; a read-only file
    // never gets this far, since it cannot be opened for writing).
    const DWORD kept = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    if (error == 0 && kept != 0 && kept != FILE_ATTRIBUTE_NORMAL &&
        !::SetFileAttributesA(working.c_str(), kept)) {
      error = Error();
    }
    if (error == 0 && !::MoveFileExA(working.c_str(), path.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = Error();
    }
    if (error != 0) ::DeleteFileA(working.c_str());
    return error;
  }

 private:
  static uint32_t Error() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
};

}  // namespace

std::string SystemErrorText(uint32_t systemError) {
  char* text = nullptr;
  DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, systemError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) {
    result.assign(text, length);
    ::LocalFree(text);
  }
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  if (result.empty()) result = "system error " + std::to_string(systemError);
  return result;
}

FileSystem& NativeFileSystem() {
  static Win32FileSystem fileSystem;
  return fileSystem;
}

}  // namespace zuv

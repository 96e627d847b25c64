// The file object over the Win32 file API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "regfile/file.h"
#include "regfile/file_platform.h"

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

  void Flush() override {
    if (!::FlushFileBuffers(handle_)) Fail("flush");
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
    // A second hard link would keep the old file after a replacement.
    BY_HANDLE_FILE_INFORMATION identity;
    if (Identify(path, &identity) && identity.nNumberOfLinks > 1) {
      return ReplaceInPlace(*this, path, content, true);
    }

    // A new file beside the old one, under a name no other save uses.
    static LONG counter = 0;
    const std::string working = path + ".saving-" + std::to_string(::GetCurrentProcessId()) +
                                "-" + std::to_string(::InterlockedIncrement(&counter));
    HANDLE handle = ::CreateFileA(working.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // A folder whose access list refuses new files, around a file this user
      // may write: the file itself is all there is to write to.
      if (::GetLastError() == ERROR_ACCESS_DENIED) return ReplaceInPlace(*this, path, content, true);
      return Error();
    }

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
    // never gets this far, since it cannot be opened for writing), set here
    // too because not every implementation of ReplaceFileW carries them.
    const DWORD kept = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    if (error == 0 && kept != 0 && kept != FILE_ATTRIBUTE_NORMAL &&
        !::SetFileAttributesA(working.c_str(), kept)) {
      error = Error();
    }
    // ReplaceFileW gives the new file the old one's security descriptor and
    // creation time (and attributes); a plain rename would give it those of a
    // new file in the folder, and could not replace a file that other
    // processes hold open (the locks below do). The price: ReplaceFileW moves
    // the old file aside, then the new one in, so a process killed between
    // the two leaves the old content under a temporary name beside it.
    if (error == 0) {
      const std::wstring replaced = Wide(path);
      const std::wstring replacement = Wide(working);
      if (!::ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        error = Error();
      }
    }
    if (error != 0) ::DeleteFileA(working.c_str());
    return error;
  }

  // LockFileEx on the driver file itself, on a byte range past any content
  // the store reads (a Windows lock would stop other handles' reads and
  // writes of the bytes it covers): no file is made for the lock, and the
  // system drops it with the process. A replacement while this process
  // waited leaves it holding the old file; it sees that the path names
  // another file now and locks that one.
  std::unique_ptr<FileLock> Lock(const std::string& path, LockMode mode,
                                 uint32_t* systemError) override {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(LockWaitMilliseconds());
    // ReplaceFileW moves the old file aside before it moves the new one in:
    // for that instant the name is missing, and an open then finds nothing.
    // A name still missing a moment later is a missing file.
    std::chrono::steady_clock::time_point missingUntil{};
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (mode == LockMode::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    for (;;) {
      HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = Error();
        const auto now = std::chrono::steady_clock::now();
        if (missingUntil == std::chrono::steady_clock::time_point{}) {
          missingUntil = std::min(deadline, now + std::chrono::milliseconds(250));
        }
        if (error == ERROR_FILE_NOT_FOUND && now < missingUntil) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        return Failed(systemError, error);
      }
      auto lock = std::make_unique<Win32Lock>(handle);
      for (;;) {
        OVERLAPPED at = {};
        at.Offset = kLockOffset;
        if (::LockFileEx(handle, flags, 0, 1, 0, &at)) break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
          return Failed(systemError, error != 0 ? error : ERROR_LOCK_VIOLATION);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
          return Failed(systemError, kLockTimedOut);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      BY_HANDLE_FILE_INFORMATION held, named;
      if (!::GetFileInformationByHandle(handle, &held)) return Failed(systemError, Error());
      if (!Identify(path, &named)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return Failed(systemError, Error());
        continue;  // gone between the two calls: the open says what is there now
      }
      if (held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
          held.nFileIndexHigh == named.nFileIndexHigh &&
          held.nFileIndexLow == named.nFileIndexLow) {
        if (mode == LockMode::kExclusive) RemoveLeftovers(path);
        return lock;
      }
    }
  }

 private:
  // Past the longest file the store takes (its offsets are below 2 GiB).
  static constexpr DWORD kLockOffset = 0x7FFFFFFF;

  class Win32Lock : public FileLock {
   public:
    explicit Win32Lock(HANDLE handle) : handle_(handle) {}
    ~Win32Lock() override { ::CloseHandle(handle_); }

   private:
    HANDLE handle_;
  };

  static std::unique_ptr<FileLock> Failed(uint32_t* systemError, uint32_t code) {
    if (systemError) *systemError = code;
    return nullptr;
  }

  static std::wstring Wide(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
  }

  // The file's volume, index and link count, read through a handle that asks
  // for no access (so no other handle's sharing refuses it).
  static bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = ::CreateFileA(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(handle, info) != 0;
    ::CloseHandle(handle);
    return ok;
  }

  // "NAME.saving-PID-N" beside the file: a save's working file, left by a save
  // that was killed.
  static void RemoveLeftovers(const std::string& path) {
    const std::string stem = path + ".saving-";
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((stem + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      const std::string leftover = folder + found.cFileName;
      if (leftover.size() <= stem.size() || leftover.compare(0, stem.size(), stem) != 0) continue;
      const std::string tail = leftover.substr(stem.size());
      const size_t dash = tail.find('-');
      bool ours = dash != std::string::npos && dash > 0 && dash + 1 < tail.size();
      for (size_t i = 0; ours && i < tail.size(); ++i) {
        ours = i == dash || (tail[i] >= '0' && tail[i] <= '9');
      }
      if (ours && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileA(leftover.c_str());
      }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }

  static uint32_t Error() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
};

}  // namespace

namespace platform {

std::string WriteSafeCopy(const std::string& path, std::string_view content) {
  char folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return {};
  const size_t slash = path.find_last_of("\\/");
  static LONG counter = 0;
  const std::string copy = std::string(folder) + "zuv8620-" +
                           path.substr(slash == std::string::npos ? 0 : slash + 1) + ".old-" +
                           std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(::InterlockedIncrement(&counter));
  HANDLE handle = ::CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  bool ok = true;
  size_t done = 0;
  while (ok && done < content.size()) {
    const size_t left = content.size() - done;
    DWORD put = 0;
    ok = ::WriteFile(handle, content.data() + done,
                     static_cast<DWORD>(left > 0x10000000 ? 0x10000000 : left), &put, nullptr) != 0;
    done += put;
  }
  ok = ok && ::FlushFileBuffers(handle);
  ok = ::CloseHandle(handle) && ok;
  if (!ok) {
    ::DeleteFileA(copy.c_str());
    return {};
  }
  return copy;
}

void RemoveFile(const std::string& path) { ::DeleteFileA(path.c_str()); }

}  // namespace platform

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

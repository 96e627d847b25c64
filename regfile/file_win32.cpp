// The file object over the Win32 file API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "regfile/file.h"
#include "regfile/file_platform.h"

namespace zuv {

namespace {

int SystemReplaceFile(const wchar_t* replaced, const wchar_t* replacement,
                      const wchar_t* backup) {
  return ::ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr);
}

platform::ReplaceFileCall g_replaceFile = SystemReplaceFile;

// Paths are UTF-8 inside the program and UTF-16 at the system's calls, so
// that any name Windows can hold opens, whatever the ANSI code page.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int count = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), count, nullptr, 0);
  std::wstring wide(length > 0 ? length : 0, L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), count, &wide[0], length);
  return wide;
}

std::string Utf8(const wchar_t* text, size_t size) {
  if (size == 0) return {};
  const int count = static_cast<int>(size);
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string narrow(length > 0 ? length : 0, '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text, count, &narrow[0], length, nullptr, nullptr);
  }
  return narrow;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// Opens an existing file with the access and sharing asked for.
HANDLE OpenHandle(const std::string& path, DWORD access, DWORD share) {
  return ::CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool DeleteNamed(const std::string& path) { return ::DeleteFileW(Wide(path).c_str()) != 0; }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Writes all `size` bytes at the position, in pieces a DWORD counts: 0, or
// the system's error code of the write that failed.
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
    if (const DWORD error = WriteAll(handle_, static_cast<const char*>(buffer), count)) {
      throw FileError(error, path_, "write");
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
  std::unique_ptr<File> OpenExisting(const std::string& path, Status* status) override {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, status);
  }

  std::unique_ptr<File> OpenForReading(const std::string& path, Status* status) override {
    return Open(path, GENERIC_READ, kShareAll, status);
  }

  std::string RealPath(const std::string& path) override {
    // The handle reads no content and lets every other handle be (a folder
    // opens too); its final path passes through every link on the way.
    const std::wstring wide = Wide(path);
    HANDLE handle = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const std::wstring full = FullPath(wide);
      return full.empty() ? path : Utf8(full);
    }
    const std::wstring real = FinalPath(handle);
    ::CloseHandle(handle);
    const std::wstring plain = FullPath(wide);
    // A path through a link becomes the final path; any other is made
    // absolute (GetFullPathNameW) and keeps the letter case it was given.
    if (real.empty() || plain.empty() ||
        ::CompareStringOrdinal(real.c_str(), static_cast<int>(real.size()), plain.c_str(),
                               static_cast<int>(plain.size()), TRUE) == CSTR_EQUAL) {
      return plain.empty() ? path : Utf8(plain);
    }
    return Utf8(real);
  }

  Status ReplaceContent(const std::string& given, std::string_view content) override {
    const auto failed = [&](uint32_t code) { return Status::System(code, given, "replace"); };
    // A symbolic link stays a link: the file it names is the one replaced
    // (ReplaceFileW on the link would put a file in the link's place, and
    // under wine moves the named file aside and deletes it as the backup).
    const std::string path = RealPath(given);
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed(Error());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return failed(ERROR_ACCESS_DENIED);
    // A file this user may not write is refused before anything is written
    // (ReplaceFileW would replace it all the same). The attribute is left as
    // it is: source control sets it on files not checked out.
    if (attributes & FILE_ATTRIBUTE_READONLY) return Status::Of(Condition::kReadOnlyAttribute);
    if (Status writable = CheckWritable(path); !writable.ok()) return writable;
    // A second hard link would keep the old file after a replacement.
    BY_HANDLE_FILE_INFORMATION identity;
    if (Identify(path, &identity) && identity.nNumberOfLinks > 1) {
      return ReplaceInPlace(*this, path, content, true);
    }

    // A new file beside the old one, under a name no other save uses.
    const std::string working = NewName(path, kWorkingStem);
    HANDLE handle = ::CreateFileW(Wide(working).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // A folder whose access list refuses new files, around a file this user
      // may write: the file itself is all there is to write to.
      if (::GetLastError() == ERROR_ACCESS_DENIED)
        return ReplaceInPlace(*this, path, content, true);
      return failed(Error());
    }

    uint32_t error = WriteAll(handle, content.data(), content.size());
    if (error == 0 && !::FlushFileBuffers(handle)) error = Error();
    if (!::CloseHandle(handle) && error == 0) error = Error();
    // The old file's attributes (hidden, system, archive; a read-only file
    // never gets this far), set here too because not every implementation of
    // ReplaceFileW carries them.
    const DWORD kept = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    if (error == 0 && kept != 0 && kept != FILE_ATTRIBUTE_NORMAL &&
        !::SetFileAttributesW(Wide(working).c_str(), kept)) {
      error = Error();
    }
    // ReplaceFileW gives the new file the old one's security descriptor and
    // creation time (and attributes); a plain rename would give it those of a
    // new file in the folder, and could not replace a file that other
    // processes hold open (the locks below do). It moves the old file to the
    // backup name, then the new one in: a process killed between the two
    // leaves the driver file missing beside its backup, which the next
    // exclusive lock puts back.
    if (error != 0) {
      DeleteNamed(working);
      return failed(error);
    }
    const std::string backup = NewName(path, kBackupStem);
    if (g_replaceFile(Wide(path).c_str(), Wide(working).c_str(), Wide(backup).c_str())) {
      // The driver file is whole: the old content is not needed any more (a
      // backup that cannot go now goes with the next exclusive lock).
      DeleteNamed(backup);
      return {};
    }
    error = Recover(path, working, backup, Error());
    return error != 0 ? failed(error) : Status();
  }

  // After a failed ReplaceFileW: the driver file made whole again, with the
  // new content where the system documents that only that is left under a
  // known name, else the old. A file that may hold the only copy of either is
  // never deleted: a name still missing is left to the next exclusive lock.
  // 0 when the driver file holds the new content, else `error`.
  static uint32_t Recover(const std::string& path, const std::string& working,
                          const std::string& backup, uint32_t error) {
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
      // The new file is still under its own name, and the old one either
      // kept its name or is gone: the new one takes the driver file's name.
      if (Exists(working) && ::MoveFileExW(Wide(working).c_str(), Wide(path).c_str(), kFlags)) {
        DeleteNamed(backup);
        return 0;
      }
    }
    if (!Exists(path) && Exists(backup)) {
      // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (and any other failure that left
      // the driver file moved aside): the old content goes back.
      ::MoveFileExW(Wide(backup).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (!Exists(path) && Exists(working)) {
      ::MoveFileExW(Wide(working).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (Exists(path)) {
      // Whatever the driver file holds now is whole; what is left beside it
      // is a copy.
      DeleteNamed(working);
      DeleteNamed(backup);
    }
    return error;
  }

  // LockFileEx on the driver file itself, on a byte range past any content
  // the store reads (a Windows lock would stop other handles' reads and
  // writes of the bytes it covers): no file is made for the lock, and the
  // system drops it with the process. A replacement while this process
  // waited leaves it holding the old file; it sees that the path names
  // another file now and locks that one.
  std::unique_ptr<FileLock> Lock(const std::string& path, LockMode mode, Status* status,
                                 uint32_t waitMilliseconds = kLockWaitFromEnvironment) override {
    const auto failed = [&](Status why) {
      if (status) *status = std::move(why);
      return nullptr;
    };
    const auto systemFailed = [&](uint32_t code) {
      return failed(Status::System(code, path, "lock"));
    };
    if (Status problem = LockWaitProblem(); !problem.ok()) return failed(problem);
    const uint32_t wait = LockWaitBound(waitMilliseconds);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    platform::LockBackoff backoff(wait);
    // ReplaceFileW moves the old file aside before it moves the new one in:
    // for that instant the name is missing, and an open then finds nothing.
    // A name still missing a moment later is a missing file.
    std::chrono::steady_clock::time_point missingUntil{};
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (mode == LockMode::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    for (;;) {
      HANDLE handle = OpenHandle(path, GENERIC_READ, kShareAll);
      if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = Error();
        const auto now = std::chrono::steady_clock::now();
        if (missingUntil == std::chrono::steady_clock::time_point{}) {
          missingUntil = std::min(deadline, now + std::chrono::milliseconds(250));
        }
        // A save killed between ReplaceFileW's two steps left the driver
        // file under its backup name: the writer puts it back.
        if (error == ERROR_FILE_NOT_FOUND && mode == LockMode::kExclusive &&
            RestoreFromBackup(path)) {
          continue;
        }
        if (error == ERROR_FILE_NOT_FOUND && now < missingUntil) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        if (IsFolder(path)) return failed(NotAFile(path));
        return systemFailed(error);
      }
      auto lock = std::make_unique<Win32Lock>(handle);
      if (Status regular = CheckRegular(handle, path); !regular.ok()) return failed(regular);
      for (;;) {
        OVERLAPPED at = {};
        at.Offset = kLockOffset;
        if (::LockFileEx(handle, flags, 0, 1, 0, &at)) break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
          return systemFailed(error != 0 ? error : ERROR_LOCK_VIOLATION);
        }
        if (!backoff.Pause()) return failed(Status::LockTimedOut(wait));
      }
      BY_HANDLE_FILE_INFORMATION held, named;
      if (!::GetFileInformationByHandle(handle, &held)) return systemFailed(Error());
      if (!Identify(path, &named)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return systemFailed(Error());
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

  static std::unique_ptr<File> Open(const std::string& path, DWORD access, DWORD share,
                                    Status* status) {
    HANDLE handle = OpenHandle(path, access, share);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (status) {
        *status = IsFolder(path)
                      ? NotAFile(path)
                      : Status::System(error != 0 ? error : ERROR_OPEN_FAILED, path, "open");
      }
      return nullptr;
    }
    if (Status regular = CheckRegular(handle, path); !regular.ok()) {
      ::CloseHandle(handle);
      if (status) *status = std::move(regular);
      return nullptr;
    }
    return std::make_unique<Win32File>(handle, path);
  }

  // A folder does not open as a file (the system says "access denied"): it is
  // told as what it is.
  static bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  static Status NotAFile(const std::string& path) {
    return Status::Of(Condition::kNotRegularFile, "a folder").WithPath(path);
  }

  // A device (NUL, CON, COM1) or a pipe where a driver file is wanted is
  // refused before it is read: it reads as an empty file, or never ends.
  static Status CheckRegular(HANDLE handle, const std::string& path) {
    const DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_DISK) return {};
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
      return Status::System(::GetLastError(), path, "open");
    }
    const char* what = type == FILE_TYPE_PIPE ? "a pipe" : type == FILE_TYPE_CHAR ? "a device" : "";
    return Status::Of(Condition::kNotRegularFile, what).WithPath(path);
  }

  // The normalized path of the open file with its drive letter, without the
  // "\\?\" prefix (a share's "\\?\UNC\" becomes "\\"); empty on failure.
  static std::wstring FinalPath(HANDLE handle) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring text;
    DWORD length = ::GetFinalPathNameByHandleW(handle, nullptr, 0, kFlags);
    while (length > text.size()) {  // the size asked for counts the terminating null
      text.assign(length, L'\0');
      length = ::GetFinalPathNameByHandleW(handle, &text[0], length, kFlags);
    }
    if (length == 0) return {};
    text.resize(length);
    if (text.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + text.substr(7);
    if (text.compare(0, 4, L"\\\\?\\") == 0) return text.substr(4);
    return text;
  }

  // The path made absolute, with backslashes and without "." and ".."
  // (GetFullPathNameW: no link is followed); empty on failure.
  static std::wstring FullPath(const std::wstring& path) {
    std::wstring text;
    DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    while (length > text.size()) {
      text.assign(length, L'\0');
      length = ::GetFullPathNameW(path.c_str(), length, &text[0], nullptr);
    }
    if (length == 0) return {};
    text.resize(length);
    return text;
  }

  // The file's volume, index and link count, read through a handle that asks
  // for no access (so no other handle's sharing refuses it).
  static bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = OpenHandle(path, 0, kShareAll);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(handle, info) != 0;
    ::CloseHandle(handle);
    return ok;
  }

  // Names beside the driver file that a save uses: "NAME.saving-PID-N" for
  // the new content, "NAME.backup-PID-N" for the old one during ReplaceFileW.
  static constexpr const char* kWorkingStem = ".saving-";
  static constexpr const char* kBackupStem = ".backup-";

  static std::string NewName(const std::string& path, const char* stem) {
    static LONG counter = 0;
    return path + stem + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::InterlockedIncrement(&counter));
  }

  static bool Exists(const std::string& path) {
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  // Condition::kReadOnly when the system refuses this user the file for
  // writing (its access list, a write-protected medium). Shares everything,
  // so readers and lock holders do not refuse it.
  static Status CheckWritable(const std::string& path) {
    HANDLE handle = OpenHandle(path, GENERIC_WRITE, kShareAll);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
        return Status::Of(Condition::kReadOnly);
      }
      return Status::System(error != 0 ? error : ERROR_OPEN_FAILED, path, "open");
    }
    ::CloseHandle(handle);
    return {};
  }

  // The files beside `path` named by `stem` and a save's "PID-N".
  struct Found {
    std::string path;
    FILETIME written;
  };
  static std::vector<Found> FindSaveFiles(const std::string& path, const char* stem) {
    const std::string prefix = path + stem;
    const size_t slash = path.find_last_of("\\/");
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::vector<Found> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Wide(prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
      const std::string name = folder + Utf8(found.cFileName, wcslen(found.cFileName));
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string tail = name.substr(prefix.size());
      const size_t dash = tail.find('-');
      bool ours = dash != std::string::npos && dash > 0 && dash + 1 < tail.size();
      for (size_t i = 0; ours && i < tail.size(); ++i) {
        ours = i == dash || (tail[i] >= '0' && tail[i] <= '9');
      }
      if (ours && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        files.push_back({name, found.ftLastWriteTime});
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
  }

  // Working files and backups that killed saves left beside the file; run
  // while the exclusive lock holds the driver file, which is then whole and
  // no live save can own one.
  static void RemoveLeftovers(const std::string& path) {
    for (const char* stem : {kWorkingStem, kBackupStem}) {
      for (const Found& found : FindSaveFiles(path, stem)) DeleteNamed(found.path);
    }
  }

  // A missing driver file beside a backup that no live save holds (a save
  // keeps its lock on the old file as it moves to the backup name): the
  // newest such backup takes the driver file's name back. True when it did.
  static bool RestoreFromBackup(const std::string& path) {
    const Found* newest = nullptr;
    const std::vector<Found> backups = FindSaveFiles(path, kBackupStem);
    for (const Found& found : backups) {
      if (newest == nullptr || ::CompareFileTime(&found.written, &newest->written) > 0) {
        newest = &found;
      }
    }
    if (newest == nullptr) return false;
    HANDLE handle = OpenHandle(newest->path, GENERIC_READ, kShareAll);
    if (handle == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED at = {};
    at.Offset = kLockOffset;
    const bool unheld = ::LockFileEx(handle, LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK,
                                     0, 1, 0, &at) != 0;
    ::CloseHandle(handle);
    // Without MOVEFILE_REPLACE_EXISTING: a driver file that another save put
    // there meanwhile stays.
    return unheld &&
           ::MoveFileExW(Wide(newest->path).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH);
  }

  static uint32_t Error() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
};

}  // namespace

namespace platform {

std::string TemporaryFolderName() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return "(none) (TMP)";
  return Utf8(folder, length) + " (TMP)";
}

std::string WriteSafeCopy(const std::string& path, std::string_view content,
                          uint32_t* systemError) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    *systemError = length == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    return {};
  }
  const size_t slash = path.find_last_of("\\/");
  static LONG counter = 0;
  const std::string copy = Utf8(folder, length) + "zuv8620-" +
                           path.substr(slash == std::string::npos ? 0 : slash + 1) + ".old-" +
                           std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(::InterlockedIncrement(&counter));
  HANDLE handle = ::CreateFileW(Wide(copy).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *systemError = ::GetLastError();
    return {};
  }
  DWORD error = WriteAll(handle, content.data(), content.size());
  if (error == 0 && !::FlushFileBuffers(handle)) error = ::GetLastError();
  if (!::CloseHandle(handle) && error == 0) error = ::GetLastError();
  if (error != 0) {
    DeleteNamed(copy);
    *systemError = error;
    return {};
  }
  return copy;
}

void RemoveFile(const std::string& path) { DeleteNamed(path); }

ReplaceFileCall SetReplaceFileCall(ReplaceFileCall call) {
  const ReplaceFileCall previous = g_replaceFile;
  g_replaceFile = call != nullptr ? call : SystemReplaceFile;
  return previous;
}

}  // namespace platform

std::string SystemErrorText(uint32_t systemError) {
  // UTF-8, as every text inside the program.
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, systemError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) {
    result = Utf8(text, length);
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

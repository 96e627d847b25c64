// A save's replacement of a driver file over the Win32 file API: the new
// content written beside the old file and put in its place by ReplaceFileW,
// what a failed replacement leaves made whole, and the working files and
// backups that killed saves leave.
#include "fileio/win32_replace.h"

#include <cwchar>
#include <vector>

#include "fileio/file_platform.h"
#include "fileio/win32_file.h"
#include "fileio/win32_path.h"

namespace zuv::win32 {

namespace {

int SystemReplaceFile(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* backup) {
  return ::ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr);
}

platform::ReplaceFileCall g_replaceFile = SystemReplaceFile;

// A virus scanner or an indexer that opens the old file or the new one for a
// moment makes a replacement or a move fail with a sharing violation or
// "access denied". Such a failure is tried again after pauses of 1, 2, 4 ...
// 512 ms (11 tries in about a second, as long as such a program commonly
// holds a file), but only while `unchanged` says that the failed try left
// every file where it was: a step that moved anything is never run again.
// Any other failure, or one that lasts past the last pause, is returned:
// `step` is nonzero on success, and GetLastError tells why it failed.
constexpr DWORD kLongestRetryPause = 512;

template <typename Step, typename Unchanged>
bool WithRetries(Step step, Unchanged unchanged) {
  for (DWORD pause = 1;; pause *= 2) {
    if (step()) return true;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
        pause > kLongestRetryPause || !unchanged()) {
      ::SetLastError(error);
      return false;
    }
    ::Sleep(pause);
  }
}

// MoveFileExW, tried again while a scanner holds either file.
bool Move(const std::string& from, const std::string& to, DWORD flags) {
  const std::wstring source = Wide(from);
  const std::wstring target = Wide(to);
  return WithRetries([&] { return ::MoveFileExW(source.c_str(), target.c_str(), flags) != 0; },
                     [&] { return Exists(from); });
}

// Names beside the driver file that a save uses: "NAME.saving-PID-N" for
// the new content, "NAME.backup-PID-N" for the old one during ReplaceFileW.
constexpr const char* kWorkingStem = ".saving-";
constexpr const char* kBackupStem = ".backup-";

std::string NewName(const std::string& path, const char* stem) {
  static LONG counter = 0;
  return path + stem + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::InterlockedIncrement(&counter));
}

// Condition::kReadOnly when the system refuses this user the file for
// writing (its access list, a write-protected medium). Shares everything,
// so readers and lock holders do not refuse it.
Status CheckWritable(const std::string& path) {
  const Handle handle = OpenHandle(path, GENERIC_WRITE, kShareAll);
  if (!handle) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
      return Status::Of(Condition::kReadOnly);
    }
    return Status::System(error, path);
  }
  return {};
}

// After a failed ReplaceFileW: the driver file made whole again, with the
// new content where the system documents that only that is left under a
// known name, else the old. A file that may hold the only copy of either is
// never deleted: a name still missing is left to the next exclusive lock.
// 0 when the driver file holds the new content, else `error`.
uint32_t Recover(const std::string& path, const std::string& working, const std::string& backup,
                 uint32_t error) {
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
    // The new file is still under its own name, and the old one either
    // kept its name or is gone: the new one takes the driver file's name.
    if (Exists(working) &&
        Move(working, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DeleteNamed(backup);
      return 0;
    }
  }
  if (!Exists(path) && Exists(backup)) {
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (and any other failure that left
    // the driver file moved aside): the old content goes back.
    Move(backup, path, MOVEFILE_WRITE_THROUGH);
  }
  if (!Exists(path) && Exists(working)) Move(working, path, MOVEFILE_WRITE_THROUGH);
  if (Exists(path)) {
    // Whatever the driver file holds now is whole; what is left beside it
    // is a copy.
    DeleteNamed(working);
    DeleteNamed(backup);
  }
  return error;
}

// The files beside `path` named by `stem` and a save's "PID-N".
struct Found {
  std::string path;
  FILETIME written;
};

std::vector<Found> FindSaveFiles(const std::string& path, const char* stem) {
  const std::string prefix = path + stem;
  const size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::vector<Found> files;
  WIN32_FIND_DATAW found;
  const SearchHandle search(::FindFirstFileW(Wide(prefix + "*").c_str(), &found));
  if (!search) return files;
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
  } while (::FindNextFileW(search.Get(), &found));
  return files;
}

}  // namespace

Status ReplaceContent(FileSystem& files, const std::string& given, std::string_view content) {
  const auto failed = [&](uint32_t code) { return Status::System(code, given); };
  // A symbolic link stays a link: the file it names is the one replaced
  // (ReplaceFileW on the link would put a file in the link's place, and
  // under wine moves the named file aside and deletes it as the backup).
  const std::string path = RealPath(given);
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failed(LastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return failed(ERROR_ACCESS_DENIED);
  // A file this user may not write is refused before anything is written
  // (ReplaceFileW would replace it all the same). The attribute is left as
  // it is: source control sets it on files not checked out.
  if (attributes & FILE_ATTRIBUTE_READONLY) return Status::Of(Condition::kReadOnlyAttribute);
  if (Status writable = CheckWritable(path); !writable.ok()) return writable;
  // A second hard link would keep the old file after a replacement.
  BY_HANDLE_FILE_INFORMATION identity;
  if (Identify(path, &identity) && identity.nNumberOfLinks > 1) {
    return ReplaceInPlace(files, path, content, true);
  }

  // A new file beside the old one, under a name no other save uses.
  const std::string working = NewName(path, kWorkingStem);
  Handle handle(::CreateFileW(Wide(working).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    // A folder whose access list refuses new files, around a file this user
    // may write: the file itself is all there is to write to.
    if (::GetLastError() == ERROR_ACCESS_DENIED) return ReplaceInPlace(files, path, content, true);
    return failed(LastError());
  }

  uint32_t error = WriteAll(handle.Get(), content.data(), content.size());
  if (error == 0 && !::FlushFileBuffers(handle.Get())) error = LastError();
  if (!handle.Close() && error == 0) error = LastError();
  // The old file's attributes (hidden, system, archive; a read-only file
  // never gets this far), set here too because not every implementation of
  // ReplaceFileW carries them.
  const DWORD kept = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  if (error == 0 && kept != 0 && kept != FILE_ATTRIBUTE_NORMAL &&
      !::SetFileAttributesW(Wide(working).c_str(), kept)) {
    error = LastError();
  }
  // ReplaceFileW gives the new file the old one's security descriptor and
  // creation time (and attributes); a plain rename would give it those of a
  // new file in the folder, and could not replace a file that other
  // processes hold open (the locks do). It moves the old file to the
  // backup name, then the new one in: a process killed between the two
  // leaves the driver file missing beside its backup, which the next
  // exclusive lock puts back.
  if (error != 0) {
    DeleteNamed(working);
    return failed(error);
  }
  const std::string backup = NewName(path, kBackupStem);
  const std::wstring widePath = Wide(path);
  const std::wstring wideWorking = Wide(working);
  const std::wstring wideBackup = Wide(backup);
  // A try is made again only while it left both files at their names and
  // no backup.
  const bool replaced = WithRetries(
      [&] { return g_replaceFile(widePath.c_str(), wideWorking.c_str(), wideBackup.c_str()) != 0; },
      [&] { return Exists(path) && Exists(working) && !Exists(backup); });
  if (replaced) {
    // The driver file is whole: the old content is not needed any more (a
    // backup that cannot go now goes with the next exclusive lock).
    DeleteNamed(backup);
    return {};
  }
  error = Recover(path, working, backup, LastError());
  return error != 0 ? failed(error) : Status();
}

void RemoveLeftovers(const std::string& path) {
  for (const char* stem : {kWorkingStem, kBackupStem}) {
    for (const Found& found : FindSaveFiles(path, stem)) DeleteNamed(found.path);
  }
}

bool RestoreFromBackup(const std::string& path) {
  const Found* newest = nullptr;
  const std::vector<Found> backups = FindSaveFiles(path, kBackupStem);
  for (const Found& found : backups) {
    if (newest == nullptr || ::CompareFileTime(&found.written, &newest->written) > 0) {
      newest = &found;
    }
  }
  if (newest == nullptr) return false;
  bool unheld = false;
  {
    const Handle handle = OpenHandle(newest->path, GENERIC_READ, kShareAll);
    if (!handle) return false;
    OVERLAPPED at = {};
    at.Offset = kLockByte;
    unheld = ::LockFileEx(handle.Get(), LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 1,
                          0, &at) != 0;
  }
  // Without MOVEFILE_REPLACE_EXISTING: a driver file that another save put
  // there meanwhile stays.
  return unheld &&
         ::MoveFileExW(Wide(newest->path).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH);
}

}  // namespace zuv::win32

namespace zuv::platform {

std::string TemporaryFolderName() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return "(none) (TMP)";
  return win32::Utf8(folder, length) + " (TMP)";
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
  const std::string copy = win32::Utf8(folder, length) + "zuv8620-" +
                           path.substr(slash == std::string::npos ? 0 : slash + 1) + ".old-" +
                           std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(::InterlockedIncrement(&counter));
  win32::Handle handle(::CreateFileW(win32::Wide(copy).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    *systemError = ::GetLastError();
    return {};
  }
  DWORD error = win32::WriteAll(handle.Get(), content.data(), content.size());
  if (error == 0 && !::FlushFileBuffers(handle.Get())) error = ::GetLastError();
  if (!handle.Close() && error == 0) error = ::GetLastError();
  if (error != 0) {
    win32::DeleteNamed(copy);
    *systemError = error;
    return {};
  }
  return copy;
}

void RemoveFile(const std::string& path) { win32::DeleteNamed(path); }

ReplaceFileCall SetReplaceFileCall(ReplaceFileCall call) {
  const ReplaceFileCall previous = win32::g_replaceFile;
  win32::g_replaceFile = call != nullptr ? call : win32::SystemReplaceFile;
  return previous;
}

}  // namespace zuv::platform

#include "fileio/file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "fileio/file_platform.h"

namespace zuv {

FileError::FileError(uint32_t systemError, std::string path)
    : status_(Status::System(systemError, std::move(path))) {
  // Worded as every failure is, so that what() and ErrorText never differ.
  message_ = ErrorText(status_);
}

namespace {

class NoLock : public FileLock {};

constexpr uint32_t kLockWaitDefault = 10000;

// The variable's milliseconds: digits only, at most an hour. False for
// anything else (a sign, blanks, a unit, a number too large).
bool ParseLockWait(const char* text, uint32_t* milliseconds) {
  if (*text == '\0') return false;
  uint64_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
    if (value > kLockWaitLongest) return false;
  }
  *milliseconds = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

uint32_t LockWaitMilliseconds() {
  const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
  uint32_t value = kLockWaitDefault;
  if (text != nullptr && *text != '\0' && ParseLockWait(text, &value)) return value;
  return kLockWaitDefault;
}

Status LockWaitProblem() {
  const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
  uint32_t value = 0;
  if (text == nullptr || *text == '\0' || ParseLockWait(text, &value)) return {};
  return Status::LockWaitMalformed(text, kLockWaitLongest);
}

uint32_t LockWaitBound(uint32_t waitMilliseconds) {
  const uint32_t configured = LockWaitMilliseconds();
  return waitMilliseconds == kLockWaitFromEnvironment ? configured
                                                      : std::min(configured, waitMilliseconds);
}

StatusOr<std::unique_ptr<File>> FileSystem::OpenForReading(const std::string& path) {
  return OpenExisting(path);
}

StatusOr<std::unique_ptr<FileLock>> FileSystem::Lock(const std::string&, LockMode, uint32_t) {
  return std::unique_ptr<FileLock>(std::make_unique<NoLock>());
}

StatusOr<std::unique_ptr<File>> LockWaitBoundFileSystem::OpenExisting(const std::string& path) {
  return files_.OpenExisting(path);
}

StatusOr<std::unique_ptr<File>> LockWaitBoundFileSystem::OpenForReading(const std::string& path) {
  return files_.OpenForReading(path);
}

Status LockWaitBoundFileSystem::ReplaceContent(const std::string& path, std::string_view content) {
  return files_.ReplaceContent(path, content);
}

StatusOr<std::unique_ptr<FileLock>> LockWaitBoundFileSystem::Lock(const std::string& path,
                                                                  LockMode mode,
                                                                  uint32_t waitMilliseconds) {
  return files_.Lock(
      path, mode,
      waitMilliseconds == kLockWaitFromEnvironment ? wait_ : std::min(wait_, waitMilliseconds));
}

std::string LockWaitBoundFileSystem::RealPath(const std::string& path) {
  return files_.RealPath(path);
}

std::string FileSystem::RealPath(const std::string& path) { return path; }

Status LockWaitBoundFileSystem::ListFolder(const std::string& path,
                                           std::vector<FolderEntry>* entries) {
  return files_.ListFolder(path, entries);
}

Status FileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>*) {
  return Status::System(2, path);
}

namespace platform {

LockBackoff::LockBackoff(uint32_t waitMilliseconds)
    : deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds)),
      random_(static_cast<std::minstd_rand::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() ^
          reinterpret_cast<uintptr_t>(this))) {}

bool LockBackoff::Pause() {
  constexpr uint32_t kLongest = 250;
  const auto now = std::chrono::steady_clock::now();
  if (now >= deadline_) return false;
  // 750 to 1249 thousandths of the step, in microseconds.
  const uint32_t jitter = 750 + static_cast<uint32_t>(random_() % 500);
  const auto pause = std::min<std::chrono::steady_clock::duration>(
      std::chrono::microseconds(uint64_t{multiplier_} * jitter), deadline_ - now);
  std::this_thread::sleep_for(pause);
  // (n + 1)^2 = n^2 + 2n + 1
  multiplier_ = std::min(multiplier_ + 2 * n_ + 1, kLongest);
  ++n_;
  return true;
}

}  // namespace platform

Status FileSystem::ReplaceContent(const std::string& path, std::string_view content) {
  return ReplaceInPlace(*this, path, content, false);
}

void ReserveText(std::string* text, size_t size) {
  text->reserve(size);
#if defined(__linux__)
  // Below this the faults cost too little to ask for anything.
  if (text->capacity() < (size_t{256} << 10)) return;
  const auto start = reinterpret_cast<uintptr_t>(text->data());
  const uintptr_t stop = start + text->capacity();
  // Only requests: the memory serves as well without them.
#if defined(MADV_HUGEPAGE)
  // The large pages that lie wholly inside the room, asked for before any of
  // them is touched (only the first bytes are, by the string itself).
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  const uintptr_t firstLarge = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t lastLarge = stop & ~(kLargePage - 1);
  if (firstLarge < lastLarge) {
    static_cast<void>(
        ::madvise(reinterpret_cast<void*>(firstLarge), lastLarge - firstLarge, MADV_HUGEPAGE));
  }
#endif
#if defined(MADV_POPULATE_WRITE)
  // The room is about to be written whole: its pages are made present in one
  // call rather than by a fault each.
  constexpr uintptr_t kPage = 4096;
  const uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = stop & ~(kPage - 1);
  if (first < last) {
    static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE));
  }
#endif
#endif
}

Status ReadFrom(File& file, uint64_t limit, std::string* content, uint64_t* length) {
  try {
    *length = file.GetLength();
    if (*length > limit) return {};
    ReserveText(content, static_cast<size_t>(*length));
    content->resize(static_cast<size_t>(*length));
    file.Seek(0, SeekOrigin::Begin);
    content->resize(file.Read(content->data(), content->size()));
  } catch (const FileError& e) {
    return e.GetStatus();
  }
  return {};
}

Status ReadWholeText(File& file, const std::string& path, std::string* content) {
#ifdef _WIN32
  constexpr uint32_t kTooLarge = 223;  // ERROR_FILE_TOO_LARGE
  constexpr uint32_t kNoMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
#else
  constexpr uint32_t kTooLarge = EFBIG;
  constexpr uint32_t kNoMemory = ENOMEM;
#endif
  try {
    uint64_t length = 0;
    const Status read = ReadFrom(file, kTextLimit - 1, content, &length);
    if (!read.ok()) return read;
    if (length >= kTextLimit) return Status::System(kTooLarge, path);
  } catch (const std::bad_alloc&) {
    return Status::System(kNoMemory, path);
  }
  return {};
}

Status ReplaceInPlace(FileSystem& fileSystem, const std::string& path, std::string_view content,
                      bool safeCopy) {
  StatusOr<std::unique_ptr<File>> opened = fileSystem.OpenExisting(path);
  if (!opened.ok()) return opened.status();
  const std::unique_ptr<File> file = opened.Take();
  std::string old;
  try {
    old.resize(file->GetLength());
    file->Seek(0, SeekOrigin::Begin);
    old.resize(file->Read(old.data(), old.size()));
  } catch (const FileError& e) {
    return e.GetStatus();
  }
  // The old content is also kept in memory for the errors a write can report.
  std::string copy;
  if (safeCopy) {
    // The copy is what restores a file left mixed by a process killed half
    // way: without it, nothing is written.
    uint32_t copyError = 0;
    copy = platform::WriteSafeCopy(path, old, &copyError);
    if (copy.empty()) return Status::NoSafeCopy(copyError, platform::TemporaryFolderName());
  }
  bool restored = true;
  try {
    file->Seek(0, SeekOrigin::Begin);
    file->Write(content.data(), content.size());
    file->SetLength(content.size());
    file->Flush();
    file->Close();
  } catch (const FileError& e) {
    try {
      file->Seek(0, SeekOrigin::Begin);
      file->Write(old.data(), old.size());
      file->SetLength(old.size());
      file->Flush();
    } catch (const FileError&) {
      // The system refuses even the old bytes; the first error says why, and
      // the safe copy stays for the user.
      restored = false;
    }
    if (restored && !copy.empty()) platform::RemoveFile(copy);
    return e.GetStatus();
  }
  if (!copy.empty()) platform::RemoveFile(copy);
  return {};
}

}  // namespace zuv

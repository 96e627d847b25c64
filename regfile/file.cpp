#include "regfile/file.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "regfile/file_platform.h"

namespace zuv {

FileError::FileError(uint32_t systemError, std::string path, const char* operation)
    : systemError_(systemError), path_(std::move(path)) {
  message_ = std::string(operation) + " " + path_ + ": " + SystemErrorText(systemError_);
}

namespace {

class NoLock : public FileLock {};

uint32_t CodeOf(const FileError& e) { return e.SystemError() != 0 ? e.SystemError() : 5; }

}  // namespace

namespace {

constexpr uint32_t kLockWaitDefault = 10000;
constexpr uint32_t kLockWaitLongest = 3600000;

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

bool LockWaitIsMalformed() {
  const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
  uint32_t value = 0;
  return text != nullptr && *text != '\0' && !ParseLockWait(text, &value);
}

std::string FileErrorText(uint32_t code) {
  switch (code) {
    case kFileReadOnly:
      return "the file is read-only";
    case kFileReadOnlyAttribute:
      return "the file is read-only (its Read-only attribute is set: clear it in the file's "
             "Properties, or with attrib -r, to save)";
    case kLockWaitMalformed: {
      const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
      return "ZUV8620_LOCK_WAIT_MS is \"" + std::string(text != nullptr ? text : "") +
             "\", not a number of milliseconds from 0 to " + std::to_string(kLockWaitLongest);
    }
    default:
      break;
  }
  if ((code & 0xFFFF0000u) == kNoSafeCopy) {
    return "no copy of the old content could be written to the temporary folder " +
           platform::TemporaryFolderName() + ": " + SystemErrorText(code & 0xFFFFu) +
           "; nothing was written";
  }
  return SystemErrorText(code);
}

std::unique_ptr<File> FileSystem::OpenForReading(const std::string& path,
                                                 uint32_t* systemError) {
  return OpenExisting(path, systemError);
}

std::unique_ptr<FileLock> FileSystem::Lock(const std::string&, LockMode, uint32_t*) {
  return std::make_unique<NoLock>();
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

uint32_t FileSystem::ReplaceContent(const std::string& path, std::string_view content) {
  return ReplaceInPlace(*this, path, content, false);
}

uint32_t ReplaceInPlace(FileSystem& fileSystem, const std::string& path,
                        std::string_view content, bool safeCopy) {
  uint32_t error = 0;
  std::unique_ptr<File> file = fileSystem.OpenExisting(path, &error);
  if (!file) return error != 0 ? error : 2;
  std::string old;
  try {
    old.resize(file->GetLength());
    file->Seek(0, SeekOrigin::Begin);
    old.resize(file->Read(old.data(), old.size()));
  } catch (const FileError& e) {
    return CodeOf(e);
  }
  // The old content is also kept in memory for the errors a write can report.
  std::string copy;
  if (safeCopy) {
    // The copy is what restores a file left mixed by a process killed half
    // way: without it, nothing is written.
    uint32_t copyError = 0;
    copy = platform::WriteSafeCopy(path, old, &copyError);
    if (copy.empty()) return kNoSafeCopy | ((copyError != 0 ? copyError : 5) & 0xFFFFu);
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
    return CodeOf(e);
  }
  if (!copy.empty()) platform::RemoveFile(copy);
  return 0;
}

}  // namespace zuv

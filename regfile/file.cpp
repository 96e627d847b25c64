#include "regfile/file.h"

#include <cstdlib>
#include <string>

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

uint32_t LockWaitMilliseconds() {
  const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end == '\0' && value <= 3600000ul) return static_cast<uint32_t>(value);
  }
  return 10000;
}

std::unique_ptr<FileLock> FileSystem::Lock(const std::string&, LockMode, uint32_t*) {
  return std::make_unique<NoLock>();
}

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
  // Without a temporary folder to write to, the old content is still kept in
  // memory for the errors a write can report.
  const std::string copy = safeCopy ? platform::WriteSafeCopy(path, old) : std::string();
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

#include "templates/driver_text.h"

#include <cerrno>
#include <memory>
#include <new>

namespace zuv {

uint32_t ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content) {
  uint32_t error = 0;
  std::unique_ptr<File> file = fileSystem.OpenForReading(path, &error);
  if (!file) return error != 0 ? error : 2;
#ifdef _WIN32
  constexpr uint32_t kTooLarge = 223;   // ERROR_FILE_TOO_LARGE
  constexpr uint32_t kNoMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
#else
  constexpr uint32_t kTooLarge = EFBIG;
  constexpr uint32_t kNoMemory = ENOMEM;
#endif
  try {
    const uint64_t length = file->GetLength();
    // The store addresses its text with 32-bit offsets.
    if (length >= 0x7FFFFFFFu) return kTooLarge;
    content->resize(static_cast<size_t>(length));
    file->Seek(0, SeekOrigin::Begin);
    content->resize(file->Read(content->data(), content->size()));
    file->Close();
  } catch (const FileError& e) {
    return e.SystemError() != 0 ? e.SystemError() : 5;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return 0;
}

uint32_t ReadDriverText(const std::string& path, FileSystem& fileSystem, DecodedText* text) {
  uint32_t error = 0;
  const std::unique_ptr<FileLock> lock = fileSystem.Lock(path, LockMode::kShared, &error);
  if (!lock) return error != 0 ? error : kLockTimedOut;
  std::string bytes;
  error = ReadWholeFile(path, fileSystem, &bytes);
  if (error == 0) *text = DecodeText(std::move(bytes));
  return error;
}

std::string DriverFileErrorText(uint32_t systemError) {
  if (systemError == kLockTimedOut) {
    const uint32_t wait = LockWaitMilliseconds();
    return "another program holds the file locked (waited " + std::to_string(wait / 1000) +
           (wait % 1000 != 0 ? "." + std::to_string(wait % 1000 / 100) : std::string()) + " s)";
  }
  return FileErrorText(systemError);
}

}  // namespace zuv

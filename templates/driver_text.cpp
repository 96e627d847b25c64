#include "templates/driver_text.h"

#include <cerrno>
#include <memory>
#include <new>

namespace zuv {

Status ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content) {
  StatusOr<std::unique_ptr<File>> opened = fileSystem.OpenForReading(path);
  if (!opened.ok()) return opened.status();
  const std::unique_ptr<File> file = opened.Take();
#ifdef _WIN32
  constexpr uint32_t kTooLarge = 223;   // ERROR_FILE_TOO_LARGE
  constexpr uint32_t kNoMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
#else
  constexpr uint32_t kTooLarge = EFBIG;
  constexpr uint32_t kNoMemory = ENOMEM;
#endif
  try {
    // The store addresses its text with 32-bit offsets.
    uint64_t length = 0;
    const Status read = ReadFrom(*file, 0x7FFFFFFEu, content, &length);
    if (!read.ok()) return read;
    if (length >= 0x7FFFFFFFu) return Status::System(kTooLarge, path);
  } catch (const std::bad_alloc&) {
    return Status::System(kNoMemory, path);
  }
  return {};
}

Status ReadLockedFile(FileLock& lock, const std::string& path, FileSystem& fileSystem,
                      std::string* content) {
  Status status;
  if (lock.ReadAll(content, &status)) return status;
  return ReadWholeFile(path, fileSystem, content);
}

Status ReadDriverText(const std::string& path, FileSystem& fileSystem, DecodedText* text) {
  StatusOr<std::unique_ptr<FileLock>> lock = fileSystem.Lock(path, LockMode::kShared);
  if (!lock.ok()) return lock.status();
  std::string bytes;
  const Status status = ReadLockedFile(**lock, path, fileSystem, &bytes);
  if (status.ok()) *text = DecodeText(std::move(bytes));
  return status;
}

Status NotWritable(const DecodedText& text) {
  if (!IsWritableEncoding(text.encoding)) return Status::Of(Condition::kNotDecoded, text.fault);
  if (!text.valid) {
    return Status::Of(Condition::kNotDecoded, "byte offset " + std::to_string(text.faultOffset) +
                                                  ": " + text.fault + " in this " +
                                                  TextEncodingName(text.encoding) + " file");
  }
  return {};
}

}  // namespace zuv

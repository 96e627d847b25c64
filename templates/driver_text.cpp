#include "templates/driver_text.h"

#include <memory>

namespace zuv {

Status ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content) {
  StatusOr<std::unique_ptr<File>> opened = fileSystem.OpenForReading(path);
  if (!opened.ok()) return opened.status();
  return ReadWholeText(*opened.Take(), path, content);
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

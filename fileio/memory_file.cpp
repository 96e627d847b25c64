#include "fileio/memory_file.h"

#include <algorithm>
#include <cstring>

namespace zuv {

namespace {

// A missing file: ENOENT on Linux, ERROR_FILE_NOT_FOUND on Windows.
constexpr uint32_t kNotFound = 2;

class MemoryFile : public File {
 public:
  explicit MemoryFile(std::shared_ptr<std::string> content) : content_(std::move(content)) {}

  uint64_t Seek(int64_t offset, SeekOrigin origin) override {
    int64_t base = origin == SeekOrigin::Begin ? 0
                   : origin == SeekOrigin::End ? static_cast<int64_t>(content_->size())
                                               : static_cast<int64_t>(position_);
    position_ = static_cast<uint64_t>(std::max<int64_t>(0, base + offset));
    return position_;
  }
  void SetLength(uint64_t length) override { content_->resize(length, '\0'); }
  uint64_t GetLength() override { return content_->size(); }
  size_t Read(void* buffer, size_t count) override {
    if (position_ >= content_->size()) return 0;
    size_t got = std::min<uint64_t>(count, content_->size() - position_);
    std::memcpy(buffer, content_->data() + position_, got);
    position_ += got;
    return got;
  }
  void Write(const void* buffer, size_t count) override {
    // Past the end: zeros up to the position, then the bytes appended (the
    // store writes the rest of a file this way, so no byte is set twice).
    if (content_->size() < position_) content_->resize(position_, '\0');
    const size_t over = std::min<uint64_t>(count, content_->size() - position_);
    std::memcpy(&(*content_)[position_], buffer, over);
    content_->append(static_cast<const char*>(buffer) + over, count - over);
    position_ += count;
  }
  void Close() override {}

 private:
  std::shared_ptr<std::string> content_;
  uint64_t position_ = 0;
};

}  // namespace

void MemoryFileSystem::SetFile(const std::string& path, std::string content) {
  files_[path] = std::make_shared<std::string>(std::move(content));
}

const std::string* MemoryFileSystem::GetFile(const std::string& path) const {
  auto found = files_.find(path);
  return found == files_.end() ? nullptr : found->second.get();
}

void MemoryFileSystem::RemoveFile(const std::string& path) { files_.erase(path); }

StatusOr<std::unique_ptr<File>> MemoryFileSystem::OpenExisting(const std::string& path) {
  auto found = files_.find(path);
  if (found == files_.end()) return Status::System(kNotFound, path);
  return std::unique_ptr<File>(std::make_unique<MemoryFile>(found->second));
}

Status MemoryFileSystem::ReplaceContent(const std::string& path, std::string_view content) {
  auto found = files_.find(path);
  if (found == files_.end()) return Status::System(kNotFound, path);
  found->second->assign(content.data(), content.size());
  return {};
}

}  // namespace zuv

// A file system that fails on purpose: the k-th call made on any file opened
// through it, or to replace a file's content (counting from 1), raises or
// returns the error a full disk or a broken device gives. Every call before and after it goes
// through to the file underneath.
#ifndef ZUV_TESTS_FAULT_FILE_H
#define ZUV_TESTS_FAULT_FILE_H

#include <memory>
#include <string>

#include "fileio/file.h"

namespace zuv::test {

class FaultFileSystem : public FileSystem {
 public:
  FaultFileSystem(FileSystem& inner, int failAt, uint32_t error)
      : inner_(inner), failAt_(failAt), error_(error) {}

  // Calls made so far on files opened through this object.
  int Calls() const { return calls_; }
  bool Failed() const { return failed_; }

  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override {
    StatusOr<std::unique_ptr<File>> file = inner_.OpenExisting(path);
    if (!file.ok()) return file;
    return std::unique_ptr<File>(std::make_unique<FaultFile>(*this, file.Take(), path));
  }

  // One call: when it is the one that fails, the file stays as it was, as the
  // platforms' replacement promises.
  Status ReplaceContent(const std::string& path, std::string_view content) override {
    if (++calls_ == failAt_) {
      failed_ = true;
      return Status::System(error_, path);
    }
    return inner_.ReplaceContent(path, content);
  }

 private:
  class FaultFile : public File {
   public:
    FaultFile(FaultFileSystem& owner, std::unique_ptr<File> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
    uint64_t Seek(int64_t offset, SeekOrigin origin) override {
      Count();
      return inner_->Seek(offset, origin);
    }
    void SetLength(uint64_t length) override {
      Count();
      inner_->SetLength(length);
    }
    uint64_t GetLength() override {
      Count();
      return inner_->GetLength();
    }
    size_t Read(void* buffer, size_t count) override {
      Count();
      return inner_->Read(buffer, count);
    }
    void Write(const void* buffer, size_t count) override {
      // A full disk takes part of a write before it refuses the rest.
      if (owner_.calls_ + 1 == owner_.failAt_ && count > 1) {
        ++owner_.calls_;
        owner_.failed_ = true;
        inner_->Write(buffer, count / 2);
        throw FileError(owner_.error_, path_);
      }
      Count();
      inner_->Write(buffer, count);
    }
    void Flush() override {
      Count();
      inner_->Flush();
    }
    void Close() override { inner_->Close(); }

   private:
    void Count() {
      if (++owner_.calls_ == owner_.failAt_) {
        owner_.failed_ = true;
        throw FileError(owner_.error_, path_);
      }
    }
    FaultFileSystem& owner_;
    std::unique_ptr<File> inner_;
    std::string path_;
  };

  FileSystem& inner_;
  int failAt_;
  uint32_t error_;
  int calls_ = 0;
  bool failed_ = false;
};

}  // namespace zuv::test

#endif  // ZUV_TESTS_FAULT_FILE_H

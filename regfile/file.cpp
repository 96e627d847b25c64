#include "regfile/file.h"

#include <string>

namespace zuv {

FileError::FileError(uint32_t systemError, std::string path, const char* operation)
    : systemError_(systemError), path_(std::move(path)) {
  message_ = std::string(operation) + " " + path_ + ": " + SystemErrorText(systemError_);
}

uint32_t FileSystem::ReplaceContent(const std::string& path, std::string_view content) {
  uint32_t error = 0;
  std::unique_ptr<File> file = OpenExisting(path, &error);
  if (!file) return error != 0 ? error : 2;
  std::string old;
  try {
    old.resize(file->GetLength());
    file->Seek(0, SeekOrigin::Begin);
    old.resize(file->Read(old.data(), old.size()));
  } catch (const FileError& e) {
    return e.SystemError() != 0 ? e.SystemError() : 5;
  }
  try {
    file->Seek(0, SeekOrigin::Begin);
    file->Write(content.data(), content.size());
    file->SetLength(content.size());
    file->Close();
  } catch (const FileError& e) {
    try {
      file->Seek(0, SeekOrigin::Begin);
      file->Write(old.data(), old.size());
      file->SetLength(old.size());
    } catch (const FileError&) {
      // The system refuses even the old bytes; the first error says why.
    }
    return e.SystemError() != 0 ? e.SystemError() : 5;
  }
  return 0;
}

}  // namespace zuv

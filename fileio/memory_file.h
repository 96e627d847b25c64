// Files held in memory: for tests, for dry runs that show what a save would
// write, and for anything that wants the store's edits without touching a disk.
#ifndef ZUV_FILEIO_MEMORY_FILE_H
#define ZUV_FILEIO_MEMORY_FILE_H

#include <map>
#include <memory>
#include <string>

#include "fileio/file.h"

namespace zuv {

class MemoryFileSystem : public FileSystem {
 public:
  // Puts a file at `path` with this content (replacing one that is there).
  void SetFile(const std::string& path, std::string content);
  // The content of the file at `path`, or null when there is none.
  const std::string* GetFile(const std::string& path) const;
  void RemoveFile(const std::string& path);

  // A missing file is the system error 2 (the file-not-found code on both
  // platforms).
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override;
  // Sets the content of an existing file; the system error 2 when there is none.
  Status ReplaceContent(const std::string& path, std::string_view content) override;

 private:
  std::map<std::string, std::shared_ptr<std::string>> files_;
};

}  // namespace zuv

#endif  // ZUV_FILEIO_MEMORY_FILE_H

// Scratch folders and whole-file helpers shared by the test programs.
#ifndef ZUV_TESTS_TEST_FILES_H
#define ZUV_TESTS_TEST_FILES_H

#include <string>
#include <vector>

namespace zuv::test {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + separator + relative (relative uses "/"; made native on Windows).
  std::string File(const std::string& relative) const;

 private:
  std::string path_;
};

// Writes the bytes exactly, creating missing parent folders.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// The real registry files of the shared corpus, sorted by name; empty when the
// corpus is not beside the checkout.
std::vector<std::string> CorpusFiles();

}  // namespace zuv::test

#endif  // ZUV_TESTS_TEST_FILES_H

// The platform's file object: the same tests run on Linux and under Windows.
#include "regfile/file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <string>
#include <vector>

#include "fault_file.h"
#include "regfile/memory_file.h"
#include "test_files.h"

namespace zuv {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

void ExerciseFile(File& file) {
  EXPECT_EQ(file.GetLength(), 10u);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.Seek(-2, SeekOrigin::End), 8u);
  EXPECT_EQ(file.Read(buffer, 16), 2u);  // short at the end
  EXPECT_EQ(std::string(buffer, 2), "89");
  file.SetLength(5);
  EXPECT_EQ(file.GetLength(), 5u);
  file.Seek(5, SeekOrigin::Begin);
  file.Write("abc", 3);
  file.Seek(0, SeekOrigin::Begin);
  EXPECT_EQ(file.Read(buffer, 16), 8u);
  EXPECT_EQ(std::string(buffer, 8), "01234abc");
}

TEST(FileTest, NativeFileReadsWritesAndCuts) {
  TempDir dir;
  std::string path = dir.File("f.reg");
  WriteFileBytes(path, "0123456789");
  uint32_t error = 0;
  auto file = NativeFileSystem().OpenExisting(path, &error);
  ASSERT_TRUE(file) << error;
  ExerciseFile(*file);
  file->Close();
  file->Close();  // a second close does nothing
  EXPECT_EQ(ReadFileBytes(path), "01234abc");
}

TEST(FileTest, MemoryFileBehavesAlike) {
  MemoryFileSystem files;
  files.SetFile("f", "0123456789");
  uint32_t error = 0;
  auto file = files.OpenExisting("f", &error);
  ASSERT_TRUE(file);
  ExerciseFile(*file);
  EXPECT_EQ(*files.GetFile("f"), "01234abc");
  EXPECT_FALSE(files.OpenExisting("g", &error));
  EXPECT_EQ(error, 2u);
}

TEST(FileTest, OpeningNeverCreatesOrTruncates) {
  TempDir dir;
  std::string missing = dir.File("missing.reg");
  uint32_t error = 0;
  EXPECT_FALSE(NativeFileSystem().OpenExisting(missing, &error));
  EXPECT_EQ(error, 2u);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  EXPECT_FALSE(test::FileExists(missing));
  EXPECT_FALSE(SystemErrorText(error).empty());

  std::string present = dir.File("present.reg");
  WriteFileBytes(present, "keep");
  auto file = NativeFileSystem().OpenExisting(present, &error);
  ASSERT_TRUE(file);
  file->Close();
  EXPECT_EQ(ReadFileBytes(present), "keep");
}

TEST(FileTest, ErrorsCarryCodeAndPath) {
  FileError error(28, "/x/USB8620.reg", "write");
  EXPECT_EQ(error.SystemError(), 28u);
  EXPECT_EQ(error.Path(), "/x/USB8620.reg");
  EXPECT_EQ(std::string(error.what()).rfind("write /x/USB8620.reg: ", 0), 0u);
}

// The names in a folder, to see that a replacement leaves nothing behind.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplaceContentTest, NativeReplacesWholeAndLeavesNothingBehind) {
  TempDir dir;
  const std::string path = dir.File("drv/USB8620.reg");
  WriteFileBytes(path, std::string(70000, 'x'));
  WriteFileBytes(dir.File("drv/other.reg"), "other");
  const std::vector<std::string> before = Names(dir.File("drv"));
  EXPECT_EQ(NativeFileSystem().ReplaceContent(path, "new\r\n"), 0u);
  EXPECT_EQ(ReadFileBytes(path), "new\r\n");
  EXPECT_EQ(NativeFileSystem().ReplaceContent(path, ""), 0u);
  EXPECT_EQ(ReadFileBytes(path), "");
  EXPECT_EQ(Names(dir.File("drv")), before);

  // A missing file is not created; a folder is not replaced.
  const std::string missing = dir.File("drv/missing.reg");
  EXPECT_EQ(NativeFileSystem().ReplaceContent(missing, "x"), 2u);
  EXPECT_FALSE(test::FileExists(missing));
  EXPECT_NE(NativeFileSystem().ReplaceContent(dir.File("drv"), "x"), 0u);
  EXPECT_EQ(Names(dir.File("drv")), before);
}

#ifndef _WIN32
TEST(ReplaceContentTest, NativeKeepsPermissionsAndLinks) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  const std::string link = dir.File("link.reg");
  std::filesystem::create_symlink(path, link);

  EXPECT_EQ(NativeFileSystem().ReplaceContent(link, "new"), 0u);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
}
#endif

// A file system with nothing but OpenExisting: the in-place replacement.
class OpenOnly : public FileSystem {
 public:
  explicit OpenOnly(FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<File> OpenExisting(const std::string& path, uint32_t* error) override {
    return inner_.OpenExisting(path, error);
  }

 private:
  FileSystem& inner_;
};

TEST(ReplaceContentTest, MemoryAndInPlaceReplacementAreAllOrNothing) {
  const std::string old = "old content, longer than the new";
  MemoryFileSystem memory;
  memory.SetFile("f", old);
  EXPECT_EQ(memory.ReplaceContent("f", "new"), 0u);
  EXPECT_EQ(*memory.GetFile("f"), "new");
  EXPECT_EQ(memory.ReplaceContent("g", "new"), 2u);
  EXPECT_EQ(memory.GetFile("g"), nullptr);

  // In place, through the file object: every failing call leaves the old
  // content; no failure leaves the new.
  for (const std::string& next : {std::string("new"), old + old}) {
    bool reached = true;
    for (int k = 1; reached; ++k) {
      memory.SetFile("f", old);
      test::FaultFileSystem faulty(memory, k, 28);
      OpenOnly inPlace(faulty);
      const uint32_t error = inPlace.ReplaceContent("f", next);
      reached = faulty.Failed();
      EXPECT_EQ(*memory.GetFile("f"), reached ? old : next) << "failing at call " << k;
      EXPECT_EQ(error, reached ? 28u : 0u);
    }
  }
}

}  // namespace
}  // namespace zuv

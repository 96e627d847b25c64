// The platform's file object: the same tests run on Linux and under Windows.
#include "regfile/file.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace zuv

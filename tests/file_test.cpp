// The platform's file object: the same tests run on Linux and under Windows.
#include "regfile/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

// An environment variable set for one test, then put back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    SetEnvironment(name, value);
  }
  ~ScopedEnvironment() {
#ifndef _WIN32
    if (!had_) {
      ::unsetenv(name_);
      return;
    }
#endif
    SetEnvironment(name_, old_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// A file with a second hard link keeps it, and every name sees the new
// content; nothing is left beside the file or in the temporary folder.
TEST(ReplaceContentTest, NativeWritesALinkedFileInPlace) {
  TempDir dir, temporary;
  const std::string path = dir.File("drv/USB8620.reg");
  WriteFileBytes(path, "old content");
  const std::string second = dir.File("drv/second.reg");
  std::filesystem::create_hard_link(path, second);
  const std::vector<std::string> before = Names(dir.File("drv"));
  ScopedEnvironment posixTemporary("TMPDIR", temporary.Path());
  ScopedEnvironment windowsTemporary("TMP", temporary.Path());
  EXPECT_EQ(NativeFileSystem().ReplaceContent(path, "new"), 0u);
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(ReadFileBytes(second), "new");
  EXPECT_EQ(Names(dir.File("drv")), before);
  EXPECT_TRUE(Names(temporary.Path()).empty());
}

#ifdef _WIN32
TEST(ReplaceContentTest, NativeKeepsTheFileAttributes) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(NativeFileSystem().ReplaceContent(path, "new"), 0u);
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
#else
// A writable file in a folder where the user may not create files: written
// in place. (Root may create files anywhere, so the save runs as "nobody".)
TEST(ReplaceContentTest, NativeWritesInPlaceWhereNoFileCanBeCreated) {
  TempDir dir;
  const std::string folder = dir.File("closed");
  const std::string path = dir.File("closed/USB8620.reg");
  WriteFileBytes(path, "old content");
  ::chmod(dir.Path().c_str(), 0755);
  ::chmod(path.c_str(), 0666);
  ::chmod(folder.c_str(), 0555);
  int status = -1;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(99);
    _exit(static_cast<int>(NativeFileSystem().ReplaceContent(path, "new")));
  }
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"USB8620.reg"});
  ::chmod(folder.c_str(), 0755);
}
#endif

// Locks: readers share, a writer is alone, a lock not had within the wait is
// a timeout, and a file replaced while a process waited is locked anew.
TEST(FileLockTest, ReadersShareAWriterIsAloneAcrossAReplacement) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  FileSystem& files = NativeFileSystem();
  uint32_t error = 0;
  ScopedEnvironment wait("ZUV8620_LOCK_WAIT_MS", "5000");
  auto first = files.Lock(path, LockMode::kExclusive, &error);
  ASSERT_TRUE(first) << error;
  std::unique_ptr<FileLock> waiting;
  std::thread waiter([&] { waiting = files.Lock(path, LockMode::kExclusive, &error); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(files.ReplaceContent(path, "new"), 0u);
  first.reset();
  waiter.join();
  ASSERT_TRUE(waiting) << error;

  SetEnvironment("ZUV8620_LOCK_WAIT_MS", "50");  // put back by `wait`
  EXPECT_FALSE(files.Lock(path, LockMode::kShared, &error));  // the new file is held
  EXPECT_EQ(error, kLockTimedOut);
  waiting.reset();
  auto reader = files.Lock(path, LockMode::kShared, &error);
  auto another = files.Lock(path, LockMode::kShared, &error);
  EXPECT_TRUE(reader && another);
  EXPECT_FALSE(files.Lock(path, LockMode::kExclusive, &error));
  EXPECT_EQ(error, kLockTimedOut);
  EXPECT_FALSE(files.Lock(dir.File("missing.reg"), LockMode::kShared, &error));
  EXPECT_EQ(error, 2u);
}

// Working files of killed saves of this file go when its exclusive lock is
// had; other names stay.
TEST(FileLockTest, TheWriterRemovesLeftoversOfKilledSaves) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
#ifdef _WIN32
  const std::string leftover = "USB8620.reg.saving-1234-5";
  const std::vector<std::string> kept = {"USB8620.reg", "USB8620.reg.saving-12-x",
                                         "other.reg.saving-1-2"};
#else
  const std::string leftover = ".USB8620.reg.saving-aZ09xQ";
  const std::vector<std::string> kept = {".USB8620.reg.saving-aZ09x", ".other.reg.saving-aZ09xQ",
                                         "USB8620.reg"};
#endif
  for (const std::string& name : kept) WriteFileBytes(dir.File(name), "x");
  WriteFileBytes(dir.File(leftover), "half");
  uint32_t error = 0;
  EXPECT_TRUE(NativeFileSystem().Lock(path, LockMode::kShared, &error));
  EXPECT_TRUE(test::FileExists(dir.File(leftover)));
  EXPECT_TRUE(NativeFileSystem().Lock(path, LockMode::kExclusive, &error));
  EXPECT_EQ(Names(dir.Path()), kept);
}

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

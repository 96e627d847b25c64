// The platform's file object: the same tests run on Linux and under Windows.
#include "fileio/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <map>
#endif

#include "fault_file.h"
#include "fileio/file_platform.h"
#include "fileio/memory_file.h"
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

// The file or lock an open or a lock gives, or null with *error set.
template <class T>
T OrNull(StatusOr<T> result, Status* error) {
  if (!result.ok()) {
    *error = result.status();
    return T();
  }
  return result.Take();
}

TEST(FileTest, NativeFileReadsWritesAndCuts) {
  TempDir dir;
  std::string path = dir.File("f.reg");
  WriteFileBytes(path, "0123456789");
  Status error;
  auto file = OrNull(NativeFileSystem().OpenExisting(path), &error);
  ASSERT_TRUE(file) << ErrorText(error);
  ExerciseFile(*file);
  file->Close();
  file->Close();  // a second close does nothing
  EXPECT_EQ(ReadFileBytes(path), "01234abc");
}

TEST(FileTest, MemoryFileBehavesAlike) {
  MemoryFileSystem files;
  files.SetFile("f", "0123456789");
  Status error;
  auto file = OrNull(files.OpenExisting("f"), &error);
  ASSERT_TRUE(file);
  ExerciseFile(*file);
  EXPECT_EQ(*files.GetFile("f"), "01234abc");
  EXPECT_FALSE(OrNull(files.OpenExisting("g"), &error));
  EXPECT_EQ(error.SystemCode(), 2u);
}

TEST(FileTest, OpeningNeverCreatesOrTruncates) {
  TempDir dir;
  std::string missing = dir.File("missing.reg");
  Status error;
  EXPECT_FALSE(OrNull(NativeFileSystem().OpenExisting(missing), &error));
  EXPECT_EQ(error.SystemCode(), 2u);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  EXPECT_FALSE(test::FileExists(missing));
  EXPECT_FALSE(SystemErrorText(error.SystemCode()).empty());

  std::string present = dir.File("present.reg");
  WriteFileBytes(present, "keep");
  auto file = OrNull(NativeFileSystem().OpenExisting(present), &error);
  ASSERT_TRUE(file);
  file->Close();
  EXPECT_EQ(ReadFileBytes(present), "keep");
}

TEST(FileTest, ErrorsCarryCodeAndPath) {
  FileError error(28, "/x/USB8620.reg");
  EXPECT_EQ(error.SystemError(), 28u);
  EXPECT_EQ(error.Path(), "/x/USB8620.reg");
  EXPECT_EQ(error.what(), ErrorText(error.GetStatus()));
  EXPECT_EQ(std::string(error.what()), "/x/USB8620.reg: " + SystemErrorText(28));
}

// One wording for every failure: "PATH: reason", the reason alone without a
// path, nothing for success only; the words come from what the failure
// captured when it happened.
TEST(FileTest, ErrorTextNamesThePathAndTheReason) {
  const std::string path = "/x/USB8620.reg";
  const struct {
    Status status;
    std::string text;
  } rows[] = {
      {Status(), ""},
      {Status::System(28, path), path + ": " + SystemErrorText(28)},
      {Status::System(28), SystemErrorText(28)},
      {Status::Of(Condition::kReadOnly).WithPath(path), path + ": the file is read-only"},
      {Status::Of(Condition::kRuleRefused,
                  "templates[1]: \"number\" 3 is also the number of templates[0]")
           .WithPath("doc.json"),
       "doc.json: templates[1]: \"number\" 3 is also the number of templates[0]"},
      {Status::Of(Condition::kChangedOnDisk),
       "another program changed the file's templates since they were read"},
      {Status::LockTimedOut(10000).WithPath(path),
       path + ": another program holds the file locked (waited 10 s)"},
      {Status::LockTimedOut(200), "another program holds the file locked (waited 0.2 s)"},
      {Status::LockWaitMalformed("2s", 3600000),
       "ZUV8620_LOCK_WAIT_MS is \"2s\", not a number of milliseconds from 0 to 3600000"},
      {Status::NoSafeCopy(28, "/t (TMPDIR)"),
       "no copy of the old content could be written to the temporary folder /t (TMPDIR): " +
           SystemErrorText(28) + "; nothing was written"},
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorText(row.status), row.text) << row.text;
  EXPECT_NE(Status::System(0).SystemCode(), 0u);  // a failure never reads as success

  // The value of a failure is never handed out, in any build.
  StatusOr<std::unique_ptr<File>> failed = Status::System(28, path);
  const std::string used = "BUG: .*the value of a failed StatusOr was used \\(" + path;
  EXPECT_DEATH(static_cast<void>(*failed), used);
  EXPECT_DEATH(static_cast<void>(failed->get()), used);
  EXPECT_DEATH(static_cast<void>(failed.Take()), used);
  StatusOr<int> none = Status();
  EXPECT_DEATH(static_cast<void>(*none), "failed StatusOr was used");
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
  EXPECT_TRUE(NativeFileSystem().ReplaceContent(path, "new\r\n").ok());
  EXPECT_EQ(ReadFileBytes(path), "new\r\n");
  EXPECT_TRUE(NativeFileSystem().ReplaceContent(path, "").ok());
  EXPECT_EQ(ReadFileBytes(path), "");
  EXPECT_EQ(Names(dir.File("drv")), before);

  // A missing file is not created; a folder is not replaced.
  const std::string missing = dir.File("drv/missing.reg");
  EXPECT_EQ(NativeFileSystem().ReplaceContent(missing, "x").SystemCode(), 2u);
  EXPECT_FALSE(test::FileExists(missing));
  EXPECT_FALSE(NativeFileSystem().ReplaceContent(dir.File("drv"), "x").ok());
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

  EXPECT_TRUE(NativeFileSystem().ReplaceContent(link, "new").ok());
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
  EXPECT_TRUE(NativeFileSystem().ReplaceContent(path, "new").ok());
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(ReadFileBytes(second), "new");
  EXPECT_EQ(Names(dir.File("drv")), before);
  EXPECT_TRUE(Names(temporary.Path()).empty());

  // Without its safety copy an in-place write writes nothing.
  const std::string missing = temporary.File("missing");
  ScopedEnvironment posixMissing("TMPDIR", missing);
  ScopedEnvironment windowsMissing("TMP", missing);
  const Status error = NativeFileSystem().ReplaceContent(path, "newer");
  EXPECT_EQ(error.condition(), Condition::kNoSafeCopy) << ErrorText(error);
  EXPECT_EQ(ReadFileBytes(path), "new");
  const std::string text = ReasonText(error);
  EXPECT_EQ(text.rfind("no copy of the old content could be written to the temporary folder " +
                           missing, 0),
            0u)
      << text;
  EXPECT_NE(text.find(": " + SystemErrorText(error.SystemCode()) + "; nothing was written"),
            std::string::npos)
      << text;
}

#ifdef _WIN32
TEST(ReplaceContentTest, NativeKeepsTheFileAttributes) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(NativeFileSystem().ReplaceContent(path, "new").ok());
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
#else
// Another user saves (root may create files and give them away anywhere, so
// the save runs as "nobody", a member of group 100 where a row says so). A
// rename that would change the file or that the folder refuses gives way to
// an in-place write; a file this user may not write is refused untouched.
TEST(ReplaceContentTest, NativeWritesInPlaceWhereNoFileCanBeCreated) {
  struct Row {
    const char* name;
    mode_t folderMode, fileMode;
    gid_t group;  // of the folder and the file
    bool member;  // the saver is in that group
    Condition result;
  };
  const Row rows[] = {
      {"folder where no file can be created", 0555, 0666, 0, false, Condition::kOk},
      {"sticky shared folder", 01777, 0666, 0, false, Condition::kOk},
      {"group-shared file", 02775, 0664, 100, true, Condition::kOk},
      {"file read-only by its mode", 0777, 0444, 0, false, Condition::kReadOnly},
      {"file only its owner may write", 0777, 0644, 0, false, Condition::kReadOnly},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string folder = dir.File("shared");
    const std::string path = dir.File("shared/USB8620.reg");
    WriteFileBytes(path, "old content");
    ::chmod(dir.Path().c_str(), 0755);
    ASSERT_EQ(::chown(folder.c_str(), 0, row.group), 0);
    ASSERT_EQ(::chown(path.c_str(), 0, row.group), 0);
    ::chmod(path.c_str(), row.fileMode);
    ::chmod(folder.c_str(), row.folderMode);
    int status = -1;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const gid_t groups[] = {row.group};
      if (::geteuid() == 0 && (::setgroups(row.member ? 1 : 0, groups) != 0 ||
                               ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        _exit(99);
      }
      const Status error = NativeFileSystem().ReplaceContent(path, "new");
      _exit(error.ok() ? 0 : error.condition() == Condition::kReadOnly ? 1 : 2);
    }
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const bool written = row.result == Condition::kOk;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (written ? 0 : 1)) << status;
    EXPECT_EQ(ReadFileBytes(path), written ? "new" : "old content");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"USB8620.reg"});
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_gid, row.group);
    EXPECT_EQ(info.st_mode & 07777, row.fileMode);
    ::chmod(folder.c_str(), 0755);
  }
}

// Every extended attribute, exactly.
std::map<std::string, std::string> Attributes(const std::string& path) {
  std::map<std::string, std::string> found;
  std::string names(4096, '\0');
  names.resize(static_cast<size_t>(std::max<ssize_t>(
      0, ::listxattr(path.c_str(), names.data(), names.size()))));
  for (size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const std::string name = names.c_str() + at;
    std::string value(4096, '\0');
    value.resize(static_cast<size_t>(std::max<ssize_t>(
        0, ::getxattr(path.c_str(), name.c_str(), value.data(), value.size()))));
    found[name] = value;
  }
  return found;
}

// A POSIX access list in the kernel's form: version 2, then tag, permission
// and id of each entry.
std::string AccessList(std::initializer_list<std::array<uint32_t, 3>> entries) {
  std::string bytes("\2\0\0\0", 4);
  for (const auto& [tag, permission, id] : entries) {
    const uint16_t head[2] = {static_cast<uint16_t>(tag), static_cast<uint16_t>(permission)};
    bytes.append(reinterpret_cast<const char*>(head), sizeof head);
    bytes.append(reinterpret_cast<const char*>(&id), sizeof id);
  }
  return bytes;
}

// A save keeps the access list that grants another user rw- (with the group's
// r-- and the list's mask), an attribute of the user's, and none of the
// folder's default list that the old file did not have.
TEST(ReplaceContentTest, NativeKeepsAccessListsAndAttributes) {
  constexpr uint32_t kAll = 0xFFFFFFFF;
  TempDir dir;
  const std::string listed = dir.File("drv/USB8620.reg");
  const std::string plain = dir.File("drv/plain.reg");
  WriteFileBytes(listed, "old");
  WriteFileBytes(plain, "old");
  ::chmod(plain.c_str(), 0640);
  const std::string access =
      AccessList({{1, 6, kAll}, {2, 6, 65534}, {4, 4, kAll}, {0x10, 6, kAll}, {0x20, 4, kAll}});
  ASSERT_EQ(::setxattr(listed.c_str(), "system.posix_acl_access", access.data(), access.size(), 0),
            0);
  ASSERT_EQ(::setxattr(listed.c_str(), "user.origin", "checkout", 8, 0), 0);
  const std::string inherited =
      AccessList({{1, 7, kAll}, {2, 7, 1234}, {4, 7, kAll}, {0x10, 7, kAll}, {0x20, 7, kAll}});
  ASSERT_EQ(::setxattr(dir.File("drv").c_str(), "system.posix_acl_default", inherited.data(),
                       inherited.size(), 0),
            0);
  for (const std::string& path : {listed, plain}) {
    SCOPED_TRACE(path);
    const std::map<std::string, std::string> before = Attributes(path);
    struct stat old, now;
    ASSERT_EQ(::stat(path.c_str(), &old), 0);
    EXPECT_TRUE(NativeFileSystem().ReplaceContent(path, "new").ok());
    EXPECT_EQ(ReadFileBytes(path), "new");
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino);  // renamed in: these are the new file's
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(Attributes(path), before);
  }
}
#endif

// Locks: readers share, a writer is alone, a lock not had within the wait is
// a timeout, and a file replaced while a process waited is locked anew.
TEST(FileLockTest, ReadersShareAWriterIsAloneAcrossAReplacement) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  FileSystem& files = NativeFileSystem();
  Status error;
  ScopedEnvironment wait("ZUV8620_LOCK_WAIT_MS", "5000");
  auto first = OrNull(files.Lock(path, LockMode::kExclusive), &error);
  ASSERT_TRUE(first) << ErrorText(error);
  std::unique_ptr<FileLock> waiting;
  std::thread waiter([&] { waiting = OrNull(files.Lock(path, LockMode::kExclusive), &error); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(files.ReplaceContent(path, "new").ok());
  first.reset();
  waiter.join();
  ASSERT_TRUE(waiting) << ErrorText(error);

  SetEnvironment("ZUV8620_LOCK_WAIT_MS", "50");  // put back by `wait`
  EXPECT_FALSE(OrNull(files.Lock(path, LockMode::kShared), &error));  // the new file is held
  EXPECT_EQ(error.condition(), Condition::kLockTimedOut);
  waiting.reset();
  auto reader = OrNull(files.Lock(path, LockMode::kShared), &error);
  auto another = OrNull(files.Lock(path, LockMode::kShared), &error);
  EXPECT_TRUE(reader && another);
  EXPECT_FALSE(OrNull(files.Lock(path, LockMode::kExclusive), &error));
  EXPECT_EQ(error.condition(), Condition::kLockTimedOut);
  EXPECT_FALSE(OrNull(files.Lock(dir.File("missing.reg"), LockMode::kShared), &error));
  EXPECT_EQ(error.SystemCode(), 2u);

  // A wait that is not a number of milliseconds is refused, not replaced.
  for (const char* malformed : {"10s", "-1", " 50", "3600001", "99999999999999999999"}) {
    SetEnvironment("ZUV8620_LOCK_WAIT_MS", malformed);
    EXPECT_FALSE(OrNull(files.Lock(path, LockMode::kShared), &error)) << malformed;
    EXPECT_EQ(error.condition(), Condition::kLockWaitMalformed) << malformed;
    EXPECT_EQ(ReasonText(error), "ZUV8620_LOCK_WAIT_MS is \"" + std::string(malformed) +
                                     "\", not a number of milliseconds from 0 to 3600000");
  }
  SetEnvironment("ZUV8620_LOCK_WAIT_MS", "3600000");
  EXPECT_TRUE(OrNull(files.Lock(path, LockMode::kShared), &error));
}

// A wait bound given to Lock (0: try once), or by a file system that bounds
// every lock it takes, ends a lock another holds at once, whatever
// ZUV8620_LOCK_WAIT_MS says; it never waits longer than that says.
TEST(FileLockTest, AWaitBoundTellsAHeldLockAtOnce) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(path, "old");
  ScopedEnvironment wait("ZUV8620_LOCK_WAIT_MS", "5000");
  EXPECT_EQ(LockWaitBound(kLockWaitFromEnvironment), 5000u);
  EXPECT_EQ(LockWaitBound(200), 200u);
  EXPECT_EQ(LockWaitBound(9000), 5000u);
  Status error;
  auto held = OrNull(NativeFileSystem().Lock(path, LockMode::kExclusive), &error);
  ASSERT_TRUE(held) << ErrorText(error);
  LockWaitBoundFileSystem bounded(NativeFileSystem(), 100);
  for (int round = 0; round < 2; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const auto lock = round == 0
                          ? OrNull(NativeFileSystem().Lock(path, LockMode::kShared, 0), &error)
                          : OrNull(bounded.Lock(path, LockMode::kShared), &error);
    EXPECT_FALSE(lock);
    EXPECT_EQ(error.condition(), Condition::kLockTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  held.reset();
  EXPECT_TRUE(OrNull(bounded.Lock(path, LockMode::kExclusive), &error));
  // Every other call goes to the file system it bounds.
  EXPECT_TRUE(bounded.ReplaceContent(path, "new").ok());
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(bounded.RealPath(path), NativeFileSystem().RealPath(path));
}

// Paths are UTF-8 inside the program: a folder named outside the ANSI code
// page (Cyrillic, Japanese) opens, is replaced and locked as any other.
TEST(FileTest, APathOfAnyNameOpensReplacesAndLocks) {
  TempDir dir;
  const std::string path = dir.File(u8"Образ 画像/USB8620.reg");
  WriteFileBytes(path, "old");
  FileSystem& files = NativeFileSystem();
  Status status;
  auto file = OrNull(files.OpenForReading(path), &status);
  ASSERT_TRUE(file) << ErrorText(status);
  char text[8] = {};
  EXPECT_EQ(file->Read(text, sizeof text), 3u);
  file.reset();
  auto lock = OrNull(files.Lock(path, LockMode::kExclusive), &status);
  ASSERT_TRUE(lock) << ErrorText(status);
  EXPECT_TRUE(files.ReplaceContent(path, "new").ok());
  lock.reset();
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(files.RealPath(path), path);
  // A failure names the path as it is.
  const std::string missing = dir.File(u8"Образ 画像/нет.reg");
  EXPECT_FALSE(OrNull(files.OpenForReading(missing), &status));
  EXPECT_EQ(ErrorText(status).rfind(missing + ": ", 0), 0u) << ErrorText(status);
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
  // The folder is searched only when the working file of a save made under
  // the lock shows that it was killed.
  const std::string killed = ".USB8620.reg.saving-000000";
#endif
  for (const std::string& name : kept) WriteFileBytes(dir.File(name), "x");
  WriteFileBytes(dir.File(leftover), "half");
  Status error;
  EXPECT_TRUE(OrNull(NativeFileSystem().Lock(path, LockMode::kShared), &error));
  EXPECT_TRUE(test::FileExists(dir.File(leftover)));
#ifndef _WIN32
  EXPECT_TRUE(OrNull(NativeFileSystem().Lock(path, LockMode::kExclusive), &error));
  EXPECT_TRUE(test::FileExists(dir.File(leftover)));
  WriteFileBytes(dir.File(killed), "half");
#endif
  EXPECT_TRUE(OrNull(NativeFileSystem().Lock(path, LockMode::kExclusive), &error));
  EXPECT_EQ(Names(dir.Path()), kept);
}

#ifdef _WIN32
// ReplaceFileW made to fail as the system documents, each with what it then
// leaves behind: the driver file ends with its old bytes or its new ones,
// and nothing beside it. ("moved" is the old file at the backup name.) A
// sharing violation or "access denied" that left both files in place (a
// virus scanner holding one a moment) is tried again for about a second: it
// lands when it clears, and fails as it did when it does not.
struct ReplaceFailure {
  DWORD error;
  bool moveOldAside;
  bool newBytes;
  int calls = 1;   // how many times the save calls ReplaceFileW
  int clears = 0;  // the call that is the system's own (0: none)
  int heldMs = 0;  // the old file held open, unshared, this long from the first call
};
ReplaceFailure g_failure;
int g_calls = 0;
platform::ReplaceFileCall g_systemReplaceFile = nullptr;
std::thread g_holder;

int FailingReplaceFile(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* backup) {
  if (++g_calls == g_failure.clears) return g_systemReplaceFile(replaced, replacement, backup);
  if (g_failure.heldMs != 0 && g_calls == 1) {
    HANDLE held = ::CreateFileW(replaced, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    g_holder = std::thread([held] {
      ::Sleep(static_cast<DWORD>(g_failure.heldMs));
      ::CloseHandle(held);
    });
  }
  if (g_failure.moveOldAside) ::MoveFileW(replaced, backup);
  ::SetLastError(g_failure.error);
  return 0;
}

TEST(ReplaceContentTest, NativeReplaceFailuresLeaveTheOldOrTheNewFile) {
  const ReplaceFailure rows[] = {
      {ERROR_UNABLE_TO_REMOVE_REPLACED, false, false},
      {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, true},  // both kept their names
      {ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, true},   // the old one is gone
      {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, false},
      {ERROR_SHARING_VIOLATION, false, true, 3, 3},  // clears after two tries
      {ERROR_SHARING_VIOLATION, false, false, 11},   // never clears
      {ERROR_ACCESS_DENIED, false, true, 2, 2},
      {ERROR_ACCESS_DENIED, true, false},  // the old file moved: never tried again
      // The new file's move in waits for the old one's holder to let go.
      {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, true, 1, 0, 30},
  };
  for (const ReplaceFailure& row : rows) {
    SCOPED_TRACE(std::to_string(row.error) + (row.moveOldAside ? " moved aside" : "") +
                 (row.clears ? " clears at " + std::to_string(row.clears) : ""));
    TempDir dir;
    const std::string path = dir.File("USB8620.reg");
    WriteFileBytes(path, "old");
    g_failure = row;
    g_calls = 0;
    g_systemReplaceFile = platform::SetReplaceFileCall(FailingReplaceFile);
    const Status error = NativeFileSystem().ReplaceContent(path, "new");
    platform::SetReplaceFileCall(g_systemReplaceFile);
    if (g_holder.joinable()) g_holder.join();
    EXPECT_EQ(error.SystemCode(), row.newBytes ? 0u : row.error);
    EXPECT_EQ(ReadFileBytes(path), row.newBytes ? "new" : "old");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"USB8620.reg"});
    EXPECT_EQ(g_calls, row.calls);
  }
}

// A save killed inside ReplaceFileW leaves the driver file at its backup
// name: the next writer puts it back, and removes backups once it is whole.
TEST(FileLockTest, TheWriterPutsBackAFileLeftAtItsBackupName) {
  TempDir dir;
  const std::string path = dir.File("USB8620.reg");
  WriteFileBytes(dir.File("USB8620.reg.backup-77-1"), "old");
  WriteFileBytes(dir.File("USB8620.reg.saving-77-2"), "new");
  Status error;
  EXPECT_FALSE(OrNull(NativeFileSystem().Lock(path, LockMode::kShared), &error));  // readers wait
  EXPECT_EQ(error.SystemCode(), 2u);
  auto lock = OrNull(NativeFileSystem().Lock(path, LockMode::kExclusive), &error);
  EXPECT_TRUE(lock) << ErrorText(error);
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"USB8620.reg"});
  lock.reset();

  WriteFileBytes(dir.File("USB8620.reg.backup-78-3"), "older");
  EXPECT_TRUE(OrNull(NativeFileSystem().Lock(path, LockMode::kExclusive), &error));
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"USB8620.reg"});
}
#endif

// A file system with nothing but OpenExisting: the in-place replacement.
class OpenOnly : public FileSystem {
 public:
  explicit OpenOnly(FileSystem& inner) : inner_(inner) {}
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override {
    return inner_.OpenExisting(path);
  }

 private:
  FileSystem& inner_;
};

TEST(ReplaceContentTest, MemoryAndInPlaceReplacementAreAllOrNothing) {
  const std::string old = "old content, longer than the new";
  MemoryFileSystem memory;
  memory.SetFile("f", old);
  EXPECT_TRUE(memory.ReplaceContent("f", "new").ok());
  EXPECT_EQ(*memory.GetFile("f"), "new");
  EXPECT_EQ(memory.ReplaceContent("g", "new").SystemCode(), 2u);
  EXPECT_EQ(memory.GetFile("g"), nullptr);

  // In place, through the file object: every failing call leaves the old
  // content; no failure leaves the new.
  for (const std::string& next : {std::string("new"), old + old}) {
    bool reached = true;
    for (int k = 1; reached; ++k) {
      memory.SetFile("f", old);
      test::FaultFileSystem faulty(memory, k, 28);
      OpenOnly inPlace(faulty);
      const Status error = inPlace.ReplaceContent("f", next);
      reached = faulty.Failed();
      EXPECT_EQ(*memory.GetFile("f"), reached ? old : next) << "failing at call " << k;
      EXPECT_EQ(error.SystemCode(), reached ? 28u : 0u);
    }
  }
}

}  // namespace
}  // namespace zuv

// A Save never loses data: whichever call of the file layer fails, and
// wherever the saving process is killed, the driver file holds either its old
// content or the new one, and the bytes it gets are those of the store's own
// sequence of edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fault_file.h"
#include "fileio/memory_file.h"
#include "templates/template_file.h"
#include "test_files.h"

namespace zuv {
namespace {

const std::string kDriverPath = "Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
const std::string kPrefix =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

std::string Section(int n) {
  char values[160];
  std::snprintf(values, sizeof values,
                "\"SwitchID\"=dword:%x\r\n\"ChanConfig\"=dword:3\r\n"
                "\"AOSettings 0\"=\"     0    10     0\"\r\n"
                "\"AOSettings 1\"=\"     0     5    -5\"\r\n",
                static_cast<unsigned>(n));
  return kPrefix + std::to_string(n) + "]\r\n" + values;
}

// Other keys of a driver file, `bytes` long or a little more.
std::string Filler(size_t bytes) {
  std::string text;
  for (int key = 0; text.size() < bytes; ++key) {
    text += "[HKEY_LOCAL_MACHINE\\Drivers\\Other\\Key" + std::to_string(key) +
            "]\r\n\"Dll\"=\"other.dll\"\r\n\"Index\"=dword:1\r\n; a comment\r\n\r\n";
  }
  return text;
}

// Templates 0 to `count`-1 before other keys of about `bytes` bytes.
std::string DriverFile(int count, size_t bytes) {
  std::string text;
  for (int n = 0; n < count; ++n) text += Section(n);
  return text + Filler(bytes);
}

// The table as the user leaves it: every template changed, a few removed,
// a few added.
TemplateTable Edited(const std::string& path, FileSystem& files) {
  TemplateTable table;
  LoadTemplateTable(table, path, files);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    table[n].Used = (n % 5 == 1) ? 0 : 1;
    table[n].ChanConfig = 0xF0F0u + n;
    table[n].AOSettings[1] = {n, 10, -10};
  }
  return table;
}

// The Save sequence run on the file one step at a time, each step a load-edit-
// save of its own: every free slot removed, 15 down to 0, then every used slot
// written, 0 up to 15.
void SaveInPlace(const TemplateTable& table, const std::string& path, MemoryFileSystem& files) {
  const auto step = [&](uint32_t n) {
    static_cast<void>(UpdateTemplateTable(
        path,
        [&](TemplateTable& onDisk) {
          onDisk[n] = table[n];
          return Status();
        },
        false, files));
  };
  for (uint32_t n = kTemplateCount; n-- > 0;) {
    if (table[n].Used == 0) step(n);
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0) step(n);
  }
}

bool SameTable(const TemplateTable& a, const TemplateTable& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The bytes a Save writes are exactly those of its steps made one at a time,
// on real files and on files whose template sections stand anywhere.
TEST(SaveSafety, WritesTheBytesOfTheSequenceDoneInPlace) {
  std::vector<std::string> originals = {
      "",
      DriverFile(4, 3000),
      Filler(3000) + DriverFile(3, 0) + Filler(500),
      "; " + Section(2) + Section(2) + Filler(100) + Section(7),  // commented and doubled
  };
  for (const std::string& file : test::CorpusFiles()) {
    const std::string text = test::ReadFileBytes(file);
    originals.push_back(text);
    originals.push_back(DriverFile(2, 0) + text);
  }
  test::TempDir dir;
  const std::string path = dir.File(kDriverPath);
  for (const std::string& original : originals) {
    MemoryFileSystem memory;
    memory.SetFile(path, original);
    const TemplateTable table = Edited(path, memory);
    SaveInPlace(table, path, memory);

    test::WriteFileBytes(path, original);
    ASSERT_TRUE(SaveTemplateTable(table, path).ok());
    EXPECT_EQ(test::ReadFileBytes(path), *memory.GetFile(path))
        << "from " << original.substr(0, 80);
  }
}

// Every call of the file layer that a Save of 16 templates makes, failing in
// turn: the file holds its old content (and the Save says why) or the new one
// (and the Save succeeded), and the table is as it was.
TEST(SaveSafety, AFailingCallLeavesTheOldContentAndTheTable) {
  test::TempDir dir;
  const std::string path = dir.File(kDriverPath);
  const std::string before = DriverFile(6, 2000);
  MemoryFileSystem memory;
  memory.SetFile(path, before);
  TemplateTable table = Edited(path, memory);
  for (uint32_t n = 0; n < kTemplateCount; ++n) table[n].Used = 1;
  ASSERT_TRUE(SaveTemplateTable(table, path, memory).ok());
  const std::string after = *memory.GetFile(path);
  ASSERT_NE(after, before);
  const TemplateTable kept = table;

  for (bool native : {false, true}) {
    bool reached = true;
    for (int k = 1; reached; ++k) {
      for (uint32_t error : {28u, 5u}) {
        memory.SetFile(path, before);
        test::WriteFileBytes(path, before);
        FileSystem& files = native ? NativeFileSystem() : static_cast<FileSystem&>(memory);
        test::FaultFileSystem faulty(files, k, error);
        const Status result = SaveTemplateTable(table, path, faulty);
        const std::string now = native ? test::ReadFileBytes(path) : *memory.GetFile(path);
        reached = faulty.Failed();
        SCOPED_TRACE(std::string(native ? "native" : "memory") + ", failing at call " +
                     std::to_string(k));
        EXPECT_TRUE(SameTable(table, kept));
        if (reached) {
          EXPECT_EQ(now, before);
          EXPECT_FALSE(result.ok());
          EXPECT_EQ(result.SystemCode(), error);
          EXPECT_EQ(ErrorText(result), path + ": " + SystemErrorText(error));
        } else {
          EXPECT_EQ(now, after);
          EXPECT_TRUE(result.ok());
        }
      }
    }
  }
}

#ifndef _WIN32
// A process killed at any instant of a Save: 200 children save a large file
// whose templates stand at its start (so that every value moves the whole
// rest of the file) and are killed after a random delay. The file then holds
// exactly its old content or exactly the new one.
TEST(SaveSafety, AKilledSaveLeavesTheOldOrTheNewFile) {
  test::TempDir dir;
  const std::string path = dir.File(kDriverPath);
  const std::string before = DriverFile(8, 256 * 1024);
  test::WriteFileBytes(path, before);
  TemplateTable table = Edited(path, NativeFileSystem());
  for (uint32_t n = 0; n < kTemplateCount; ++n) table[n].Used = 1;

  // How long one Save takes here (the fastest of three); the kills fall
  // within 1.5 times that.
  long fastest = 0;
  for (int i = 0; i < 3; ++i) {
    test::WriteFileBytes(path, before);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(SaveTemplateTable(table, path).ok());
    const long took = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
    if (i == 0 || took < fastest) fastest = took;
  }
  const std::string after = test::ReadFileBytes(path);
  ASSERT_NE(after, before);
  const long window = std::max<long>(200, fastest * 3 / 2);

  std::mt19937 random(20240611);
  std::uniform_int_distribution<long> delay(0, window);
  int old = 0, saved = 0;
  for (int run = 0; run < 200; ++run) {
    test::WriteFileBytes(path, before);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(SaveTemplateTable(table, path).ok() ? 0 : 1);
    ::usleep(static_cast<useconds_t>(delay(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string now = test::ReadFileBytes(path);
    if (now == before) {
      ++old;
    } else {
      ASSERT_EQ(now, after) << "run " << run << ": a killed Save left a mixed file";
      ++saved;
    }
  }
  std::printf("kill window %ld us: %d runs left the old file, %d the new one\n", window, old,
              saved);
}
#endif

}  // namespace
}  // namespace zuv

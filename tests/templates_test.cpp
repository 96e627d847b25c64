#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_view.h"
#include "fault_file.h"
#include "fileio/memory_file.h"
#include "templates/ao_setting_text.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"
#include "templates/save_transaction.h"
#include "templates/template_document.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"
#include "test_files.h"

namespace zuv {
namespace {

// The build's lines of a text as the device's reader finds them.
std::vector<std::string_view> StructureTexts(const DeviceView& view) {
  std::vector<std::string_view> texts;
  for (const StructureLine& line : view.StructureLines()) texts.push_back(line.text);
  return texts;
}

const std::string kPath = "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
const std::string kPrefix =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

std::string Section(int n, const std::string& values) {
  return kPrefix + std::to_string(n) + "]\r\n" + values;
}
// The four value lines as the store writes them (double words in hex).
std::string Values(uint32_t id, const char* chan, const char* ao0, const char* ao1) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(id));
  return std::string("\"SwitchID\"=dword:") + hex + "\r\n\"ChanConfig\"=dword:" + chan +
         "\r\n\"AOSettings 0\"=\"" + ao0 + "\"\r\n\"AOSettings 1\"=\"" + ao1 + "\"\r\n";
}
const char* kAoDefault = "     0    10     0";

// ---------------------------------------------------------------- the table

TEST(TemplateTable, AllocateFollowsTheSlotAndIdentifierRules) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, uint32_t>> used;  // slot, SwitchID
    uint32_t expectSlot;
    uint32_t expectId;
  };
  const Case cases[] = {
      {"first free slot keeps its own id", {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}, 5, 5},
      {"own id taken: lowest free id", {{0, 3}, {2, 1}}, 1, 0},
      {"duplicate ids from the file", {{0, 2}, {1, 2}, {3, 0}}, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemplateTable table;
    for (uint32_t n = 0; n < kTemplateCount; ++n) table[n].SwitchID = n;
    for (auto [slot, id] : c.used) {
      table[slot].Used = 1;
      table[slot].SwitchID = id;
    }
    uint32_t index = 99;
    ASSERT_TRUE(table.AllocateTemplate(&index));
    EXPECT_EQ(index, c.expectSlot);
    EXPECT_EQ(table[index].Used, 1u);
    EXPECT_EQ(table[index].SwitchID, c.expectId);
  }
}

TEST(TemplateTable, FullTableRefusesAndChangesNothing) {
  TemplateTable table;
  for (uint32_t n = 0; n < kTemplateCount; ++n) table[n] = {1, n, n, {{0, 5, 0}, {0, 10, 0}}};
  const TemplateTable before = table;
  uint32_t index = 0;
  EXPECT_FALSE(table.AllocateTemplate(&index));
  EXPECT_EQ(index, kTemplateCount);
  EXPECT_EQ(std::memcmp(&table, &before, sizeof table), 0);
}

TEST(TemplateTable, RemovedSlotComesBackWithItsSettingsAndFreeSlotsDoNotHoldIds) {
  TemplateTable table;
  for (uint32_t n = 0; n < 4; ++n) table[n] = {1, n, 0, {kDefaultAoSetting, kDefaultAoSetting}};
  table[3].ChanConfig = 0x30;
  table[3].AOSettings[1] = {7, 5, -5};
  table[3].Used = 0;
  EXPECT_FALSE(table.IsSwitchIdUsed(3));
  EXPECT_TRUE(table.IsSwitchIdUsed(2));
  uint32_t index = 0;
  ASSERT_TRUE(table.AllocateTemplate(&index));
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(table[3].ChanConfig, 0x30u);
  EXPECT_EQ(table[3].AOSettings[1].Code, 7u);
  EXPECT_EQ(table[3].AOSettings[1].RefLow, -5.0f);
}

TEST(AoRanges, FindMatchesEachRowAndNothingElse) {
  for (int i = 0; i < kAoRangeCount; ++i) {
    EXPECT_EQ(FindAoRange({123, AoRangeTable[i].RefHigh, AoRangeTable[i].RefLow}), i);
  }
  EXPECT_EQ(FindAoRange({0, 10.0f, -5.0f}), -1);
  EXPECT_EQ(FindAoRange({0, 10.001f, 0.0f}), -1);
  EXPECT_EQ(FindAoRange({0, std::nanf(""), 0.0f}), -1);
}

// ---------------------------------------------------------------- the rules

TEST(Rules, BoardIdAsTheDevicePageTakesIt) {
  struct Case {
    uint32_t n;
    uint32_t id;
    std::optional<Rule> expect;  // none: taken
    uint32_t idAfter;
  };
  const Case cases[] = {
      {0, 0, std::nullopt, 0},         // its own id
      {0, 1, Rule::kSwitchIdUsed, 0},  // template 1 has it
      {0, 5, std::nullopt, 5},         // only a free slot has it
      {0, 16, Rule::kBoardIdOutOfRange, 0},
      {3, 20, std::nullopt, 20},  // kept as the file gave it
      {3, 21, Rule::kBoardIdOutOfRange, 20},
      {2, 0, Rule::kNoSuchTemplate, 5},
      {16, 0, Rule::kNumberOutOfRange, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + " -> " + std::to_string(c.id));
    TemplateTable table;
    table[0] = {1, 0, 0, {kDefaultAoSetting, kDefaultAoSetting}};
    table[1] = {1, 1, 0, {kDefaultAoSetting, kDefaultAoSetting}};
    table[2].SwitchID = 5;
    table[3] = {1, 20, 0, {kDefaultAoSetting, kDefaultAoSetting}};
    const Status refusal = SetBoardId(table, c.n, c.id);
    EXPECT_EQ(refusal.ok(), !c.expect);
    if (c.expect) {
      EXPECT_TRUE(IsRefusal(refusal, *c.expect));
    }
    EXPECT_EQ(ReasonText(refusal), c.expect ? RefusalText(*c.expect) : "");
    if (c.n < kTemplateCount) {
      EXPECT_EQ(table[c.n].SwitchID, c.idAfter);
    }
  }
  EXPECT_STREQ(RefusalText(Rule::kSwitchIdUsed), "SwitchID already used!");
  EXPECT_STREQ(RefusalText(Rule::kNoFreeSlot), "Support up to 16 Templates");
}

TEST(Rules, PairsAndRanges) {
  DeviceTemplate slot = {1, 0, 0x10004, {{7, 10, 0}, {0, 3, 1}}};
  EXPECT_TRUE(SetChannelPair(slot, 1, true));   // the half-set pair becomes whole
  EXPECT_FALSE(SetChannelPair(slot, 1, true));  // nothing left to change
  EXPECT_TRUE(SetChannelPair(slot, 7, true));
  EXPECT_EQ(slot.ChanConfig, 0x1C00Cu);
  EXPECT_FALSE(IsPairMask(slot.ChanConfig));
  SetAllChannelPairs(slot, false);
  EXPECT_EQ(slot.ChanConfig, 0u);
  EXPECT_TRUE(IsPairMask(0xC00Cu));
  EXPECT_FALSE(IsPairMask(0x4u));

  EXPECT_EQ(ShownAoRange(slot.AOSettings[1]), 3);  // no range: "-10 ~ 10V" shown
  EXPECT_TRUE(SetAoRange(slot, 0, 2).ok());
  EXPECT_EQ(slot.AOSettings[0].Code, 7u);
  EXPECT_EQ(ShownAoRange(slot.AOSettings[0]), 2);
  EXPECT_TRUE(IsRefusal(SetAoRange(slot, 1, 4), Rule::kNoSuchRange));
  EXPECT_EQ(slot.AOSettings[1].RefHigh, 3.0f);
}

// File text put in JSON: UTF-8 stays; anything else is Windows-1252.
TEST(Rules, TextToUtf8) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"caf\xE9", "caf\xC3\xA9"},
      {"\xFF", "\xC3\xBF"},
      {"\x80\x81", "\xE2\x82\xAC\xC2\x81"},
      {"\xC3", "\xC3\x83"},                          // cut short
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // overlong
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (auto [text, expect] : cases) EXPECT_EQ(TextToUtf8(text), expect) << text;
}

// ---------------------------------------------------------------- text forms

TEST(AoText, FormatAndParse) {
  EXPECT_EQ(FormatAoSetting(kDefaultAoSetting), "     0    10     0");
  EXPECT_EQ(FormatAoSetting({0, 10.0f, -10.0f}), "     0    10   -10");
  EXPECT_EQ(FormatAoSetting({0, 2.7f, -2.7f}), "     0     2    -2");
  EXPECT_EQ(FormatAoSetting({123456, 1e12f, -1e12f}), " 123456 2147483647 -2147483648");
  EXPECT_EQ(FormatAoSetting({4294967295u, -1.0f, 99999.0f}), " 4294967295    -1 99999");
  EXPECT_EQ(FormatAoSetting({7, -9999.0f, -10000.0f}), "     7 -9999 -10000");

  struct Case {
    const char* text;
    int fields;
    AoSetting expect;
  };
  const Case cases[] = {
      {"     0     5    -5", 3, {0, 5, -5}},
      {"70000 10 0", 3, {4464, 10, 0}},
      {"3 5", 2, {3, 5, 0}},
      {"  9 x 1", 1, {9, 10, 0}},
      {"", 0, kDefaultAoSetting},
      {"abc", 0, kDefaultAoSetting},
      {"1 2 3 4 trailing", 3, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AoSetting setting = kDefaultAoSetting;
    EXPECT_EQ(ParseAoSettingFields(c.text, &setting), c.fields);
    EXPECT_EQ(setting.Code, c.expect.Code);
    EXPECT_EQ(setting.RefHigh, c.expect.RefHigh);
    EXPECT_EQ(setting.RefLow, c.expect.RefLow);
  }
}

TEST(DriverPath, Compose) {
  EXPECT_EQ(ComposeDriverFilePath("C:\\Image\\", "USB8620A", '\\'),
            "C:\\Image\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg");
  EXPECT_EQ(ComposeDriverFilePath("/img/", "USB86", '/'),
            "/img/Public/Korvalent/Device_Drivers/USB86/USB86.reg");
  EXPECT_EQ(ComposeDriverFilePath("C:\\Image", "USB8620", '\\').substr(0, 20),
            "C:\\ImagePublic\\Korva");
}

// ---------------------------------------------------------------- loading

TEST(Load, ReadsPresentTemplatesAndDefaultsTheRest) {
  const std::string file =
      "; driver\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Other]\r\n\"Dll\"=\"x.dll\"\r\n" +
      Section(0, Values(20, "3", kAoDefault, "     0     5    -5")) +
      Section(4, "\"ChanConfig\"=dword:3\r\n") + Section(5, "\"SwitchID\"=dword:1\r\n") +
      Section(6, Values(6, "3", "70000 10 0", "3 5"));
  MemoryFileSystem fs;
  fs.SetFile(kPath, file);
  TemplateTable table;
  LoadTemplateTable(table, kPath, fs);

  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    EXPECT_EQ(table[n].Used != 0, n == 0 || n == 5 || n == 6) << n;
  }
  EXPECT_EQ(table[0].SwitchID, 20u);
  EXPECT_EQ(table[0].ChanConfig, 3u);
  EXPECT_EQ(table[0].AOSettings[1].RefLow, -5.0f);
  // Only a SwitchID: mask 0, both outputs "0 ~ 10V".
  EXPECT_EQ(table[5].ChanConfig, 0u);
  EXPECT_EQ(FindAoRange(table[5].AOSettings[0]), 1);
  EXPECT_EQ(FindAoRange(table[5].AOSettings[1]), 1);
  EXPECT_EQ(table[6].AOSettings[0].Code, 4464u);
  EXPECT_EQ(table[6].AOSettings[1].RefHigh, 5.0f);
  EXPECT_EQ(table[6].AOSettings[1].RefLow, 0.0f);
  // A section without SwitchID and an absent one: free, id = slot, defaults.
  EXPECT_EQ(table[4].SwitchID, 4u);
  EXPECT_EQ(table[4].ChanConfig, 0u);
  EXPECT_EQ(table[3].SwitchID, 3u);
}

TEST(Load, ValueOfAnotherTypeCountsAsMissing) {
  const std::string longText = std::string(45, ' ') + "1 5 -5";  // third number past 49
  const std::string file =
      Section(0, "\"SwitchID\"=\"7\"\r\n") +
      Section(1, "\"SwitchID\"=dword:1\r\n\"ChanConfig\"=\"ffff\"\r\n"
                 "\"AOSettings 0\"=dword:5\r\n\"AOSettings 1\"=hex:01,02,03\r\n") +
      Section(2, "\"SwitchID\"=dword:2\r\n\"AOSettings 0\"=\"" + longText + "\"\r\n");
  MemoryFileSystem fs;
  fs.SetFile(kPath, file);
  TemplateTable table;
  LoadTemplateTable(table, kPath, fs);
  EXPECT_EQ(table[0].Used, 0u);
  EXPECT_EQ(table[0].SwitchID, 0u);
  ASSERT_EQ(table[1].Used, 1u);
  EXPECT_EQ(table[1].ChanConfig, 0u);
  EXPECT_EQ(FindAoRange(table[1].AOSettings[0]), 1);
  EXPECT_EQ(FindAoRange(table[1].AOSettings[1]), 1);
  ASSERT_EQ(table[2].Used, 1u);
  EXPECT_EQ(table[2].AOSettings[0].Code, 1u);
  EXPECT_EQ(table[2].AOSettings[0].RefHigh, 5.0f);
  EXPECT_EQ(table[2].AOSettings[0].RefLow, 0.0f);  // "-5" began after the cut
}

TEST(Load, MissingFileGivesNoTemplates) {
  MemoryFileSystem fs;
  TemplateTable table;
  table[2].Used = 1;
  LoadTemplateTable(table, kPath, fs);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    EXPECT_EQ(table[n].Used, 0u);
    EXPECT_EQ(table[n].SwitchID, n);
  }
  table[2].Used = 1;
  EXPECT_EQ(LoadTemplateTableReporting(table, kPath, fs).SystemCode(), 2u);
  EXPECT_EQ(table[2].Used, 0u);
}

// The whole table comes from one read of the file (a handful of calls on
// one opened file, where a read per slot made dozens), so it cannot mix two
// versions of a file that another program saves meanwhile.
TEST(Load, TheTableComesFromOneRead) {
  MemoryFileSystem memory;
  memory.SetFile(kPath, Section(3, Values(9, "3", kAoDefault, kAoDefault)));
  test::FaultFileSystem counting(memory, 0, 0);
  TemplateTable table;
  EXPECT_TRUE(LoadTemplateTableReporting(table, kPath, counting).ok());
  EXPECT_LE(counting.Calls(), 4);
  EXPECT_EQ(table[3].Used, 1u);
  EXPECT_EQ(table[3].SwitchID, 9u);
}

// ---------------------------------------------------------------- saving

std::string SaveInMemory(const std::string& file, const std::function<void(TemplateTable&)>& edit) {
  MemoryFileSystem fs;
  fs.SetFile(kPath, file);
  TemplateTable table;
  LoadTemplateTable(table, kPath, fs);
  edit(table);
  EXPECT_TRUE(SaveTemplateTable(table, kPath, fs).ok());
  return *fs.GetFile(kPath);
}

TEST(Save, RoundTripOfAStoreWrittenFileIsByteForByte) {
  // Build a file through the store itself, then load and save it unchanged.
  const std::string head = "; header\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Other]\r\n\"A\"=dword:1\r\n";
  const std::string written = SaveInMemory(head, [](TemplateTable& table) {
    table[0] = {1, 0, 0x3, {{0, 10, 0}, {0, 5, -5}}};
    table[4] = {1, 9, 0xFFFF, {{77, 10, -10}, {0, 5, 0}}};
    table[15] = {1, 15, 0, {kDefaultAoSetting, kDefaultAoSetting}};
  });
  ASSERT_EQ(written.compare(0, head.size(), head), 0);
  EXPECT_NE(written.find(kPrefix + "4] \r\n" +
                         Values(9, "ffff", "    77    10   -10", "     0     5     0")),
            std::string::npos);
  EXPECT_EQ(SaveInMemory(written, [](TemplateTable&) {}), written);

  const std::string sample = test::ReadFileBytes(
      ZUV_SOURCE_DIR "/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
  EXPECT_EQ(SaveInMemory(sample, [](TemplateTable&) {}), sample);
}

TEST(Save, RemovesFreeSectionsAndAppendsNewOnes) {
  const std::string s0 = Section(0, Values(0, "0", kAoDefault, kAoDefault));
  const std::string s1 = Section(1, Values(1, "0", kAoDefault, kAoDefault));
  const std::string s2 = Section(2, Values(2, "0", kAoDefault, kAoDefault));
  const std::string s16 = Section(16, Values(16, "0", kAoDefault, kAoDefault));
  const std::string s4 = Section(4, "\"ChanConfig\"=dword:3\r\n");

  // Template 1 removed, 2 edited (only its changed line); a section without
  // SwitchID, which the device reads, and section 16 stay.
  EXPECT_EQ(SaveInMemory(s0 + s1 + s4 + s2 + s16,
                         [](TemplateTable& table) {
                           table[1].Used = 0;
                           table[2].AOSettings[1] = {0, 10, -10};
                         }),
            s0 + s4 + Section(2, Values(2, "0", kAoDefault, "     0    10   -10")) + s16);

  // A removed template whose section stands twice in the file goes entirely,
  // so the next load cannot bring it back from the copy.
  EXPECT_EQ(SaveInMemory(s0 + s1 + s2 + s1,
                         [](TemplateTable& table) {
                           table[1].Used = 0;
                         }),
            s0 + s2);

  // Template 3 added to a file holding 0 and 1: header appended, then values.
  EXPECT_EQ(SaveInMemory(s0 + s1,
                         [](TemplateTable& table) {
                           table[3].Used = 1;
                         }),
            s0 + s1 + " \r\n" + kPrefix + "3] \r\n" + Values(3, "0", kAoDefault, kAoDefault));
}

// A file system whose files refuse every write.
class FullDisk : public FileSystem {
 public:
  explicit FullDisk(MemoryFileSystem& inner) : inner_(inner) {}
  StatusOr<std::unique_ptr<File>> OpenExisting(const std::string& path) override {
    StatusOr<std::unique_ptr<File>> file = inner_.OpenExisting(path);
    if (!file.ok()) return file;
    return std::unique_ptr<File>(std::make_unique<Refusing>(file.Take(), path));
  }

 private:
  struct Refusing : File {
    Refusing(std::unique_ptr<File> f, std::string p) : inner(std::move(f)), path(std::move(p)) {}
    uint64_t Seek(int64_t o, SeekOrigin s) override { return inner->Seek(o, s); }
    void SetLength(uint64_t n) override { inner->SetLength(n); }
    uint64_t GetLength() override { return inner->GetLength(); }
    size_t Read(void* b, size_t n) override { return inner->Read(b, n); }
    void Write(const void*, size_t) override { throw FileError(kNoSpace, path); }
    void Close() override { inner->Close(); }
    std::unique_ptr<File> inner;
    std::string path;
  };
  MemoryFileSystem& inner_;

 public:
  static constexpr uint32_t kNoSpace = 28;
};

// A Save is one transaction: its steps run in order on the one text read. A
// failed step leaves it failed: Commit then writes nothing and returns the
// failure, as it does without Prepare. Misuse stops the program in every build.
TEST(Save, ATransactionEndsInCommitOrDiscard) {
  MemoryFileSystem memory;
  memory.SetFile(kPath, Section(0, Values(0, "0", kAoDefault, kAoDefault)));
  SaveTransaction save(kPath, memory, false);
  ASSERT_TRUE(save.Begin().ok());
  save.Table()[0].ChanConfig = 3;
  ASSERT_TRUE(save.Prepare().ok());
  EXPECT_EQ(*memory.GetFile(kPath), Section(0, Values(0, "0", kAoDefault, kAoDefault)));
  EXPECT_TRUE(save.Commit().ok());
  EXPECT_EQ(*memory.GetFile(kPath), Section(0, Values(0, "3", kAoDefault, kAoDefault)));

  const std::string unshown = *memory.GetFile(kPath) + kPrefix + "1]\r\n";
  memory.SetFile(kPath, unshown);
  const auto commitAfter = [&](bool prepare, auto edit) {
    SaveTransaction save(kPath, memory, false);
    Status status = save.Begin();
    if (status.ok()) edit(save.Table());
    if (status.ok() && prepare) status = save.Prepare();
    const Status committed = save.Commit();
    if (!status.ok()) {
      EXPECT_EQ(ErrorText(committed), ErrorText(status));
    }
    return ErrorText(committed);
  };
  EXPECT_EQ(commitAfter(false, [](TemplateTable& table) { table[0].SwitchID = 7; }),
            kPath + ": the Save was not prepared; nothing was written");
  EXPECT_EQ(commitAfter(true, [](TemplateTable& table) { table[1] = table[0]; }),
            kPath + ": line 6: template 1: the device reads key " + kPrefix +
                "1] without a double-word \"SwitchID\", so it is not shown; give it one or take "
                "the key out, and until then no change is written to template 1; nothing was "
                "written");
  EXPECT_EQ(*memory.GetFile(kPath), unshown);
  MemoryFileSystem none;
  SaveTransaction missing(kPath, none, false);
  EXPECT_EQ(ErrorText(missing.Begin()), kPath + ": " + SystemErrorText(2));
  EXPECT_EQ(ErrorText(missing.Commit()), kPath + ": " + SystemErrorText(2));

  const auto misuse = [&](int calls) {
    SaveTransaction save(kPath, calls < 0 ? none : memory, false);
    for (int call = 0; call < std::abs(calls); ++call) {
      static_cast<void>(call % 3 == 0   ? save.Begin()
                        : call % 3 == 1 ? save.Prepare()
                                        : save.Commit());
    }
  };
  EXPECT_DEATH(misuse(1), "BUG: .*destroyed neither committed nor discarded \\(.* begun\\)");
  EXPECT_DEATH(misuse(-2), "BUG: .*Prepare without a successful Begin.*failed");
  EXPECT_DEATH(misuse(4), "BUG: .*Begin out of order .*ended");
  EXPECT_DEATH(
      {
        SaveTransaction save(kPath, memory, false);
        save.Discard();
        static_cast<void>(save.Commit());
      },
      "BUG: .*Commit out of order");
}

TEST(Save, FailuresAreReportedWithPathAndReason) {
  MemoryFileSystem missing;
  TemplateTable table;
  table[0].Used = 1;
  Status result = SaveTemplateTable(table, kPath, missing);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.SystemCode(), 2u);
  EXPECT_EQ(ErrorText(result), kPath + ": " + SystemErrorText(2));

  MemoryFileSystem memory;
  const std::string file = Section(0, Values(0, "0", kAoDefault, kAoDefault));
  memory.SetFile(kPath, file);
  FullDisk full(memory);
  table[0].ChanConfig = 0xF;
  table[5].Used = 1;
  result = SaveTemplateTable(table, kPath, full);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.SystemCode(), FullDisk::kNoSpace);
  EXPECT_EQ(ErrorText(result), kPath + ": " + SystemErrorText(FullDisk::kNoSpace));
}

// Given the table it loaded, a Save writes only while the file still holds
// those templates; a file another program changed meanwhile is left alone.
TEST(Save, WritesOnlyOverTheTemplatesItLoaded) {
  MemoryFileSystem memory;
  memory.SetFile(kPath, Section(0, Values(0, "0", kAoDefault, kAoDefault)));
  TemplateTable loaded;
  LoadTemplateTable(loaded, kPath, memory);
  TemplateTable mine = loaded;
  mine[0].ChanConfig = 0xF;
  TemplateTable theirs = loaded;
  uint32_t n = 0;
  ASSERT_TRUE(theirs.AllocateTemplate(&n));
  ASSERT_TRUE(SaveTemplateTable(theirs, kPath, memory, &loaded).ok());
  const std::string between = *memory.GetFile(kPath);

  Status result = SaveTemplateTable(mine, kPath, memory, &loaded);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.condition(), Condition::kChangedOnDisk);
  EXPECT_EQ(ErrorText(result), "another program changed the file's templates since they were read");
  EXPECT_EQ(*memory.GetFile(kPath), between);

  // An edit's refusal is the result, as the edit gave it, with nothing written.
  const UpdateResult refused = UpdateTemplateTable(
      kPath,
      [](TemplateTable& t) {
        t[0].ChanConfig = 0;
        return RemoveTemplate(t, 5);
      },
      false, memory);
  EXPECT_TRUE(IsRefusal(refused.status, Rule::kNoSuchTemplate));
  EXPECT_EQ(*memory.GetFile(kPath), between);

  result = SaveTemplateTable(mine, kPath, memory, &theirs);
  EXPECT_TRUE(result.ok());
  TemplateTable now;
  LoadTemplateTable(now, kPath, memory);
  EXPECT_TRUE(now == mine);

  // Free slots are equal whatever they hold; a used slot differs in any field.
  TemplateTable other = now;
  other[9].SwitchID = 77;
  other[9].AOSettings[0].RefLow = 3;
  EXPECT_TRUE(other == now);
  other[0].AOSettings[1].RefLow = -0.5f;
  EXPECT_FALSE(other == now);
  other = now;
  other[9].Used = 1;
  EXPECT_FALSE(other == now);
}

// ---------------------------------------------------------------- real files

// Each corpus file, as a driver file: templates added, edited and removed
// change the file only at its end, in the template sections, in the file's own
// line ends.
TEST(Corpus, TemplateEditsTouchOnlyTemplateSections) {
  const std::vector<std::string> files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << ZUV_CORPUS_DIR;
  for (const std::string& source : files) {
    SCOPED_TRACE(source);
    test::TempDir dir;
    const std::string path = dir.File("Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
    const std::string original = test::ReadFileBytes(source);
    test::WriteFileBytes(path, original);
    const std::string end = original.find("\r\n") == std::string::npos ? "\n" : "\r\n";
    // A last line without a line end gets one before the first template.
    const std::string first =
        original.empty() || original.back() == '\n' || original.back() == '\r' ? "" : end;
    auto lines = [&end](std::string text) {
      for (size_t at = 0; end == "\n" && (at = text.find("\r\n", at)) != std::string::npos;) {
        text.erase(at, 1);
      }
      return text;
    };

    TemplateTable table;
    LoadTemplateTable(table, path);
    uint32_t a = 0, b = 0;
    ASSERT_TRUE(table.AllocateTemplate(&a));
    ASSERT_TRUE(table.AllocateTemplate(&b));
    table[b].AOSettings[0] = {0, 5, -5};
    ASSERT_TRUE(SaveTemplateTable(table, path).ok());
    std::string now = test::ReadFileBytes(path);
    ASSERT_EQ(now.compare(0, original.size(), original), 0);
    EXPECT_EQ(now.substr(original.size()),
              first + lines(" \r\n" + kPrefix + "0] \r\n" + Values(0, "0", kAoDefault, kAoDefault) +
                            " \r\n" + kPrefix + "1] \r\n" +
                            Values(1, "0", "     0     5    -5", kAoDefault)));

    LoadTemplateTable(table, path);
    table[a].ChanConfig = 0xC;
    table[b].Used = 0;
    ASSERT_TRUE(SaveTemplateTable(table, path).ok());
    now = test::ReadFileBytes(path);
    ASSERT_EQ(now.compare(0, original.size(), original), 0);
    EXPECT_EQ(now.substr(original.size()), first + lines(" \r\n" + kPrefix + "0] \r\n" +
                                                         Values(0, "c", kAoDefault, kAoDefault)));

    LoadTemplateTable(table, path);
    EXPECT_EQ(table[a].Used, 1u);
    table[a].Used = 0;
    ASSERT_TRUE(SaveTemplateTable(table, path).ok());
    EXPECT_EQ(test::ReadFileBytes(path), original + first);
  }
}

// Each corpus file with an IF block, the driver's templates placed at the end
// of its first block as a board support package wraps a driver's keys: an
// add, an edit and a remove keep every preprocessor line, and what the device
// reads changes only in the templates edited.
TEST(Corpus, TemplatesInsideAnIfBlockStayInIt) {
  const std::vector<std::string> files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << ZUV_CORPUS_DIR;
  int withBlocks = 0;
  int refusedRemovals = 0;
  for (const std::string& source : files) {
    const std::string original = test::ReadFileBytes(source);
    size_t endif = original.find("\nENDIF");
    if (endif == std::string::npos) continue;
    ++withBlocks;
    SCOPED_TRACE(source);
    std::string templates;
    for (int n = 0; n < 3; ++n) {
      templates += Section(n, Values(static_cast<uint32_t>(n), "0", kAoDefault, kAoDefault));
    }
    const std::string file = original.substr(0, endif + 1) + templates + original.substr(endif + 1);
    const std::vector<std::string_view> preprocessor = StructureTexts(DeviceView(file));
    const std::function<Status(TemplateTable&)> edits[] = {
        [](TemplateTable& t) {
          uint32_t n = 0;
          t.AllocateTemplate(&n);
          return Status();
        },
        [](TemplateTable& t) {
          t[0].AOSettings[1] = {0, 5, 0};
          return Status();
        },
        [](TemplateTable& t) {
          t[2].Used = 0;
          return Status();
        },
    };
    // Every build, and each way of the block's variable.
    const DeviceView every(file);
    std::vector<std::optional<BuildConfiguration>> builds(3);
    if (every.Atoms().size() != 0) {
      builds[1].emplace().Define(every.Atoms()[0].name, "1");
      builds[2].emplace().Undefine(every.Atoms()[0].name);
    }
    for (const auto& build : builds) {
      for (const auto& edit : edits) {
        SCOPED_TRACE(build ? build->Words() : "every build");
        MemoryFileSystem fs;
        fs.SetFile(kPath, file);
        const UpdateResult result =
            UpdateTemplateTable(kPath, edit, false, fs, {}, build ? &*build : nullptr);
        // Where the lines after the block are read into the last template in
        // the builds that read the block, removing it would hand them to
        // another key in those builds: that Save is refused, the file kept.
        if (!result.status.ok() && (&edit == &edits[2] || build)) {
          EXPECT_EQ(result.status.condition(), Condition::kDeviceRefused);
          EXPECT_EQ(result.after, file);
          refusedRemovals += build ? 0 : 1;
          continue;
        }
        ASSERT_TRUE(result.status.ok()) << ErrorText(result.status);
        if (!build) {
          EXPECT_NE(result.after, file);
        }
        EXPECT_EQ(StructureTexts(DeviceView(result.after)), preprocessor);
        // Every key but the templates reads as before: with the block's
        // variable set and unset, every other atom false and then true.
        const DeviceView after(result.after);
        for (int bits = 0; bits < 4; ++bits) {
          auto assign = [&](const DeviceView& view) {
            std::vector<bool> truth(view.Atoms().size(), (bits & 2) != 0);
            for (size_t i = 0; i < truth.size(); ++i) {
              if (view.Atoms()[i].name == every.Atoms()[0].name) truth[i] = (bits & 1) != 0;
            }
            return truth;
          };
          const std::vector<bool> was = assign(every), is = assign(after);
          for (const DeviceKey& key : every.Keys()) {
            if (key.path.find("\\Template") != std::string::npos) continue;
            const DeviceKey* now = after.FindKey(key.path);
            ASSERT_NE(now, nullptr) << key.path;
            EXPECT_TRUE(every.ReadingIn(key, was).SameAs(after.ReadingIn(*now, is))) << key.path;
          }
        }
      }
    }
  }
  EXPECT_GE(withBlocks, 1);
  EXPECT_LT(refusedRemovals, withBlocks);
}

// Each corpus file with a boot-hive section or a sysgen block, the driver's
// templates placed right before its "; END HIVE BOOT SECTION" line and right
// before its first "; @CESYSGEN ENDIF" line: removing any of them keeps every
// line the build reads as structure, in its order.
TEST(Corpus, RemovingTemplatesKeepsTheBuildsStructure) {
  const std::vector<std::string> files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << ZUV_CORPUS_DIR;
  int placed[2] = {0, 0};
  for (const std::string& source : files) {
    const std::string original = test::ReadFileBytes(source);
    const char* markers[] = {"END HIVE BOOT SECTION", "@CESYSGEN ENDIF"};
    for (int m = 0; m < 2; ++m) {
      const size_t mark = original.find(markers[m]);
      if (mark == std::string::npos) continue;
      const size_t line = original.find_last_of('\n', mark) + 1;
      SCOPED_TRACE(source + " before " + markers[m]);
      std::string templates;
      for (int n = 0; n < 3; ++n) {
        templates += Section(n, Values(static_cast<uint32_t>(n), "0", kAoDefault, kAoDefault));
      }
      const std::string file = original.substr(0, line) + templates + original.substr(line);
      const std::vector<std::string_view> structure = StructureTexts(DeviceView(file));
      for (uint32_t n = 0; n < 3; ++n) {
        MemoryFileSystem fs;
        fs.SetFile(kPath, file);
        const UpdateResult result = UpdateTemplateTable(
            kPath,
            [n](TemplateTable& t) {
              t[n].Used = 0;
              return Status();
            },
            false, fs);
        ASSERT_TRUE(result.status.ok()) << ErrorText(result.status);
        EXPECT_NE(result.after, file);
        EXPECT_EQ(StructureTexts(DeviceView(result.after)), structure);
      }
      ++placed[m];
    }
  }
  EXPECT_GE(placed[0], 8);
  EXPECT_GE(placed[1], 8);
}

}  // namespace
}  // namespace zuv

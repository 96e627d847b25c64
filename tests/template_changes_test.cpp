// The editor's Save applies what its user changed to the file's templates as
// they are at the Save: the merge of three tables, value by value, and the
// Save that runs it under the file's lock.
#include "templates/template_changes.h"
#include "templates/template_changes_text.h"

#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fileio/memory_file.h"
#include "templates/template_file.h"
#include "test_files.h"

namespace zuv {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kPath = "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
const char kHead[] =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore]\r\n"
    "\"Dll\"=\"USB8620.dll\"\r\n\r\n";

DeviceTemplate Used(uint32_t id, uint32_t mask = 0, float ao0High = 10, float ao1High = 10) {
  return {1, id, mask, {{0, ao0High, 0}, {0, ao1High, 0}}};
}

// A table with these slots used (slot n gets board id n unless given).
TemplateTable Table(std::initializer_list<std::pair<uint32_t, DeviceTemplate>> used) {
  TemplateTable table;
  for (uint32_t n = 0; n < kTemplateCount; ++n) table[n].SwitchID = n;
  for (const auto& [n, slot] : used) table[n] = slot;
  return table;
}

std::string Section(uint32_t n, const DeviceTemplate& t) {
  char text[400];
  std::snprintf(text, sizeof text,
                "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template%u]\r\n"
                "\"SwitchID\"=dword:%x\r\n\"ChanConfig\"=dword:%x\r\n"
                "\"AOSettings 0\"=\"     0 %5g %5g\"\r\n\"AOSettings 1\"=\"     0 %5g %5g\"\r\n",
                n, t.SwitchID, t.ChanConfig, t.AOSettings[0].RefHigh, t.AOSettings[0].RefLow,
                t.AOSettings[1].RefHigh, t.AOSettings[1].RefLow);
  return text;
}

std::string FileWith(const TemplateTable& table) {
  std::string text = kHead;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0) text += Section(n, table[n]);
  }
  return text;
}

TemplateTable Loaded(MemoryFileSystem& files) {
  TemplateTable table;
  LoadTemplateTable(table, kPath, files);
  return table;
}

TEST(TemplateChanges, ValuesChangedPerSlot) {
  EXPECT_EQ(ChangedValues(Used(1), Used(1)), 0u);
  EXPECT_EQ(ChangedValues(Used(1), Used(2, 3)), kValueSwitchId | kValueChanConfig);
  EXPECT_EQ(ChangedValues(Used(1), Used(1, 0, 5, 5)), kValueAo0 | kValueAo1);
  DeviceTemplate free1{}, free2{0, 7, 9, {}};
  EXPECT_EQ(ChangedValues(free1, free2), 0u);  // a free slot is a free slot
  EXPECT_EQ(ChangedValues(free1, Used(1)), kValueUsed);
  EXPECT_EQ(ChangedValues(Used(1), free1), kValueUsed);
  EXPECT_TRUE(ChangesBetween(Table({{0, Used(0)}}), Table({{0, Used(0)}})).Empty());
}

// The case that lost templates: an editor that read 16 templates, another program that
// changed some since; the user's own changes are applied, the rest kept. `added` marks the
// editor's slots holding templates the user added.
TEST(TemplateChanges, TheFilesOtherChangesAreKept) {
  struct Case {
    const char* name;
    TemplateTable base, edited;
    uint32_t added;
    TemplateTable current;
    TemplateTable expected;
    std::vector<uint32_t> conflicts, kept;
  };
  const Case cases[] = {
      {"user adds, file adds elsewhere",
       Table({{0, Used(0)}}),
       Table({{0, Used(0)}, {1, Used(1)}}),
       1u << 1,
       Table({{0, Used(0)}, {5, Used(5)}}),
       Table({{0, Used(0)}, {1, Used(1)}, {5, Used(5)}}),
       {},
       {5}},
      {"user removes one, file edits another",
       Table({{0, Used(0)}, {1, Used(1)}}),
       Table({{1, Used(1)}}),
       0,
       Table({{0, Used(0)}, {1, Used(1, 3)}}),
       Table({{1, Used(1, 3)}}),
       {},
       {1}},
      {"different values of one template",
       Table({{2, Used(2)}}),
       Table({{2, Used(2, 0, 5)}}),  // AO0 here
       0,
       Table({{2, Used(2, 0xC, 10, 5)}}),  // the mask and AO1 there
       Table({{2, Used(2, 0xC, 5, 5)}}),
       {},
       {}},
      {"different pairs of one mask",
       Table({{2, Used(2, 0x3)}}),
       Table({{2, Used(2, 0xF)}}),  // pair 1 on
       0,
       Table({{2, Used(2, 0x0)}}),  // pair 0 off
       Table({{2, Used(2, 0xC)}}),
       {},
       {}},
      {"both removed it", Table({{3, Used(3)}}), Table({}), 0, Table({}), Table({}), {}, {}},
      {"both made the same change",
       Table({{3, Used(3)}}),
       Table({{3, Used(7)}}),
       0,
       Table({{3, Used(7)}}),
       Table({{3, Used(7)}}),
       {},
       {}},
      {"one value both changed otherwise",
       Table({{3, Used(3)}}),
       Table({{3, Used(3, 0, 5)}}),
       0,
       Table({{3, Used(3, 0, 2)}}),
       Table({{3, Used(3, 0, 2)}}),
       {3},
       {}},
      {"the second output both changed otherwise, the board id the user's",
       Table({{4, Used(4)}}),
       Table({{4, Used(6, 0, 10, 5)}}),
       0,
       Table({{4, Used(4, 0, 10, 2)}}),
       Table({{4, Used(4, 0, 10, 2)}}),
       {4},
       {}},
      {"both added in one slot: the editor's goes to the next free one, its board id kept",
       Table({{0, Used(0)}}),
       Table({{0, Used(0)}, {1, Used(1)}}),
       1u << 1,
       Table({{0, Used(0)}, {1, Used(7)}}),
       Table({{0, Used(0)}, {1, Used(7)}, {2, Used(1)}}),
       {},
       {1}},
      {"removed and added in its slot while the file changed it",
       Table({{1, Used(1)}}),
       Table({{1, Used(1, 0, 5)}}),
       1u << 1,
       Table({{1, Used(1, 3)}}),
       Table({{0, Used(0, 0, 5)}, {1, Used(1, 3)}}),
       {1},
       {}},
      {"removed what the file changed",
       Table({{1, Used(1)}}),
       Table({}),
       0,
       Table({{1, Used(1, 3)}}),
       Table({{1, Used(1, 3)}}),
       {1},
       {}},
      {"edited what the file removed",
       Table({{1, Used(1)}}),
       Table({{1, Used(1, 3)}}),
       0,
       Table({}),
       Table({}),
       {1},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MergedTemplates merged = MergeTemplateChanges(c.base, c.edited, c.added, c.current);
    EXPECT_EQ(merged.table, c.expected);
    EXPECT_EQ(merged.ConflictSlots(), c.conflicts);
    EXPECT_EQ(merged.keptFromFile, c.kept);
    EXPECT_THAT(merged.clashes, IsEmpty());
    // Yes takes the editor's version of a conflicting slot, No the file's.
    Choices editors{}, files{};
    for (uint32_t n : c.conflicts) editors[n] = Choice::kEditor, files[n] = Choice::kFile;
    const TemplateTable mine =
        MergeTemplateChanges(c.base, c.edited, c.added, c.current, editors).table;
    const TemplateTable theirs =
        MergeTemplateChanges(c.base, c.edited, c.added, c.current, files).table;
    for (uint32_t n : c.conflicts) {
      if ((c.added >> n & 1u) == 0) {
        EXPECT_EQ(ChangedValues(mine[n], c.edited[n]), 0u);
      }
      EXPECT_EQ(ChangedValues(theirs[n], c.current[n]), 0u);
    }
  }
}

TEST(TemplateChanges, ABoardIdTheMergeGivesTwiceIsAClash) {
  // The user gives template 1 board id 5; another program added template 5
  // with board id 5.
  const TemplateTable base = Table({{1, Used(1)}});
  const TemplateTable edited = Table({{1, Used(5)}});
  const TemplateTable current = Table({{1, Used(1)}, {5, Used(5)}});
  const MergedTemplates merged = MergeTemplateChanges(base, edited, 0, current);
  EXPECT_THAT(merged.conflicts, IsEmpty());
  ASSERT_EQ(merged.clashes.size(), 1u);
  EXPECT_EQ(merged.clashes[0].slot, 1u);
  EXPECT_EQ(merged.clashes[0].other, 5u);
  EXPECT_EQ(merged.clashes[0].boardId, 5u);
  // Two templates the file itself gives one board id are no clash of ours.
  const TemplateTable twice = Table({{1, Used(1)}, {5, Used(1)}});
  EXPECT_THAT(MergeTemplateChanges(twice, Table({{1, Used(1, 3)}, {5, Used(1)}}), 0, twice).clashes,
              IsEmpty());
}

TEST(TemplateChanges, SaveWritesTheMergeUnderTheLockOrNothing) {
  MemoryFileSystem files;
  const TemplateTable read = Table({{0, Used(0)}, {1, Used(1)}, {2, Used(2)}});
  files.SetFile(kPath, FileWith(read));
  ASSERT_EQ(Loaded(files), read);
  // The user adds template 3 and sets template 0's AO0; meanwhile another
  // program removes template 2 and sets template 0's AO1.
  TemplateTable edited = read;
  edited[3] = Used(3);
  edited[0] = Used(0, 0, 5);
  files.SetFile(kPath, FileWith(Table({{0, Used(0, 0, 10, 5)}, {1, Used(1)}})));
  ChangesSaveResult saved = SaveTemplateChanges(kPath, read, edited, 1u << 3, {}, files);
  ASSERT_TRUE(saved.status.ok()) << ErrorText(saved.status);
  EXPECT_THAT(saved.merged.keptFromFile, ElementsAre(2u));  // 0 is merged value by value
  const TemplateTable expected = Table({{0, Used(0, 0, 5, 5)}, {1, Used(1)}, {3, Used(3)}});
  EXPECT_EQ(saved.merged.table, expected);
  EXPECT_EQ(Loaded(files), expected);

  // A conflict writes nothing until the user chooses the editor's version.
  const std::string before = FileWith(Table({{1, Used(1, 3)}}));
  files.SetFile(kPath, before);
  const TemplateTable removed = Table({});
  saved = SaveTemplateChanges(kPath, Table({{1, Used(1)}}), removed, 0, {}, files);
  EXPECT_EQ(saved.status.condition(), Condition::kChangedOnDisk);
  EXPECT_THAT(saved.merged.ConflictSlots(), ElementsAre(1u));
  EXPECT_EQ(*files.GetFile(kPath), before);
  Choices yes{};
  yes[1] = Choice::kEditor;
  saved = SaveTemplateChanges(kPath, Table({{1, Used(1)}}), removed, 0, yes, files);
  ASSERT_TRUE(saved.status.ok()) << ErrorText(saved.status);
  EXPECT_EQ(Loaded(files), removed);

  // A clash writes nothing whatever the user chose.
  files.SetFile(kPath, FileWith(Table({{1, Used(1)}, {5, Used(5)}})));
  const std::string clashing = *files.GetFile(kPath);
  saved = SaveTemplateChanges(kPath, Table({{1, Used(1)}}), Table({{1, Used(5)}}), 0, yes, files);
  EXPECT_EQ(saved.status.condition(), Condition::kChangedOnDisk);
  EXPECT_EQ(saved.merged.clashes.size(), 1u);
  EXPECT_EQ(*files.GetFile(kPath), clashing);

  // No takes the file's version of the conflicting Template0 only: the edit
  // of Template2, which nobody else touched, is saved.
  files.SetFile(kPath, FileWith(Table({{0, Used(0, 0, 2)}, {2, Used(2)}})));
  Choices no{};
  no[0] = Choice::kFile;
  saved = SaveTemplateChanges(kPath, Table({{0, Used(0)}, {2, Used(2)}}),
                              Table({{0, Used(0, 0, 5)}, {2, Used(2, 3)}}), 0, no, files);
  ASSERT_TRUE(saved.status.ok()) << ErrorText(saved.status);
  EXPECT_EQ(Loaded(files), Table({{0, Used(0, 0, 2)}, {2, Used(2, 3)}}));
}

// One prompt for every conflict: what each side did, and per value the file's and the
// editor's in the pages' words; an added template that took another board id is told.
TEST(TemplateChanges, TheBoxesSayWhatEachSideDidWithBothValues) {
  const TemplateTable base = Table({{1, Used(1)}, {2, Used(2)}, {3, Used(3)}});
  const TemplateTable edited = Table({{1, Used(7)}, {2, Used(2, 0, 5)}});
  const MergedTemplates merged =
      MergeTemplateChanges(base, edited, 0, Table({{1, Used(9)}, {3, Used(3, 3)}}));
  EXPECT_EQ(ConflictPrompt(merged.conflicts, edited, merged),
            "Another program saved the driver file after this editor read it, and changed "
            "templates you changed too:\n\n"
            "Template1: you and another program changed its BoardID.\n"
            "    BoardID: 9 in the file, 7 in this editor\n"
            "Template2 was removed by another program; you changed its AO0 range.\n"
            "    AO0 range: removed in the file, 0 ~ 5V in this editor\n"
            "Template3 was changed by another program (its differential pairs); you removed it.\n"
            "    Differential pairs: 0 in the file, removed in this editor\n\n"
            "Yes: save this editor's version: Template1 with your values, Template2 kept with "
            "your values and Template3 removed.\n"
            "No: save the file's version: Template1 with the other program's values, Template2 "
            "left removed and Template3 kept with the other program's values.\n"
            "Yes and No also save your other changes, and keep the other program's.\n"
            "Cancel: save nothing and keep editing.");
  // Removed, then a new template added in the slot: the prompt speaks of the
  // new one, which either answer saves.
  const TemplateTable replacing = Table({{0, Used(4)}});
  const MergedTemplates replaced =
      MergeTemplateChanges(Table({{0, Used(1)}}), replacing, 1u << 0, Table({{0, Used(9)}}));
  EXPECT_EQ(ConflictPrompt(replaced.conflicts, replacing, replaced),
            "Another program saved the driver file after this editor read it, and changed "
            "templates you changed too:\n\n"
            "Template0 was changed by another program (its BoardID); you removed it and added a "
            "new Template0.\n"
            "    BoardID: 9 in the file, 4 in your new Template0\n\n"
            "Yes: save this editor's version: Template0 replaced by your new one.\n"
            "No: save the file's version: Template0 kept with the other program's values, your "
            "new one in a free slot.\n"
            "Yes and No also save your other changes, and keep the other program's.\n"
            "Cancel: save nothing and keep editing.");
  const MergedTemplates added =
      MergeTemplateChanges(Table({}), Table({{1, Used(1)}}), 1u << 1, Table({{1, Used(1)}}));
  EXPECT_EQ(MovedTemplatesNote(added),
            "Saved. Another program changed the driver file after this editor read it, so your "
            "new templates moved:\n\n"
            "Your new template is saved as Template0 with BoardID 0: another program added "
            "Template1 with BoardID 1.");
  // A slot taken, the board id free: the move is told too.
  EXPECT_EQ(MovedTemplatesNote(MergeTemplateChanges(Table({}), Table({{1, Used(1)}}), 1u << 1,
                                                    Table({{1, Used(5)}}))),
            "Saved. Another program changed the driver file after this editor read it, so your "
            "new templates moved:\n\n"
            "Your new template is saved as Template0: another program added Template1.");
  EXPECT_EQ(MovedTemplatesNote(merged), "");
}

TEST(TemplateChanges, BoxTextsBreakLongPathsAndUseTheTreesNames) {
  const std::string folder(60, 'a');
  EXPECT_EQ(BreakLongWords("Root: C:\\" + folder + "\\" + folder + "\\x.reg: gone"),
            "Root: C:\\" + folder + "\\\n" + folder + "\\x.reg: gone");
  EXPECT_EQ(BreakLongWords(std::string(250, 'r')),
            std::string(120, 'r') + "\n" + std::string(120, 'r') + "\n" + std::string(10, 'r'));
  EXPECT_EQ(BoxText("caf\xE9 " + std::string(121, 'r')),
            "caf\xC3\xA9 " + std::string(120, 'r') + "\nr");
  // A box too tall for the screen keeps its first lines and its last
  // paragraph, and counts what it leaves out.
  std::string items;
  for (int i = 0; i < 30; ++i) items += "item " + std::to_string(i) + "\n";
  EXPECT_EQ(FitBoxText("head\n\n" + items + "\nYes: this. No: that.", 8),
            "head\n\nitem 0\nitem 1\nitem 2\n... and 27 more lines\n\nYes: this. No: that.");
  EXPECT_EQ(FitBoxText("short\n\ntext", 8), "short\n\ntext");
  EXPECT_EQ(TreeNames("template 12 is the board id of template 3; templates"),
            "Template12 is the board id of Template3; templates");
}

// The loss it guards against: an editor that never read the file (its table empty)
// adds a template; the file holds 15 others. Nothing of the file's is lost.
TEST(TemplateChanges, AnEditorThatReadNothingNeverRemovesTheFilesTemplates) {
  MemoryFileSystem files;
  TemplateTable fifteen = Table({});
  for (uint32_t n = 1; n < 16; ++n) fifteen[n] = Used(n);
  files.SetFile(kPath, FileWith(fifteen));
  TemplateTable edited = Table({});
  edited[0] = Used(0);
  const ChangesSaveResult saved = SaveTemplateChanges(kPath, Table({}), edited, 1u, {}, files);
  ASSERT_TRUE(saved.status.ok()) << ErrorText(saved.status);
  TemplateTable all = fifteen;
  all[0] = Used(0);
  EXPECT_EQ(Loaded(files), all);
}

// A lock another program holds is told at once through a file system whose
// wait is bounded, whatever ZUV8620_LOCK_WAIT_MS says.
TEST(TemplateChanges, ABoundedWaitTellsAHeldLockAtOnce) {
  test::TempDir dir;
  const std::string path = dir.File("Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
  const TemplateTable read = Table({{0, Used(0)}});
  test::WriteFileBytes(path, FileWith(read));
  auto held = NativeFileSystem().Lock(path, LockMode::kExclusive);
  ASSERT_TRUE(held.ok()) << ErrorText(held.status());
  LockWaitBoundFileSystem atOnce(NativeFileSystem(), 0);
  const auto start = std::chrono::steady_clock::now();
  const ChangesSaveResult saved =
      SaveTemplateChanges(path, read, Table({{0, Used(0)}, {1, Used(1)}}), 2u, {}, atOnce);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(saved.status.condition(), Condition::kLockTimedOut);
  EXPECT_EQ(test::ReadFileBytes(path), FileWith(read));
  held->reset();
  EXPECT_TRUE(SaveTemplateChanges(path, read, Table({{0, Used(0)}, {1, Used(1)}}), 2u, {}, atOnce)
                  .status.ok());
}

TEST(TemplateChanges, NamesAList) {
  EXPECT_EQ(TemplateNameList({3}), "Template3");
  EXPECT_EQ(TemplateNameList({3, 5}), "Template3 and Template5");
  EXPECT_EQ(TemplateNameList({0, 3, 5}), "Template0, Template3 and Template5");
}

}  // namespace
}  // namespace zuv

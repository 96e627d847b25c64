// The editor window as a host opens it and a user works it: the DLL is
// loaded by name and DriverConfig called on a driver file in a scratch tree;
// the test then finds the window by its caption, sends its controls the
// messages that clicks and selections produce, answers the message boxes and
// checks the tree, the buttons and the file's bytes.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "entry/driver_config.h"
#include "test_files.h"
#include "tests/window_test_util.h"
#include "winui/button.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace zuv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

const char* const kCaption = kEditorCaption;
const char kPrompt[] = "The configuration of USB-8620 is change, save the change";
// The system's reason for a folder that does not exist (ERROR_PATH_NOT_FOUND,
// as wine words it).
const char kNoPath[] = "Path not found";
const char kOpenFailed[] = "The driver file could not be read; the editor shows no templates.";
const char kOpenRetry[] =
    "Retry: read the file's templates again.\n"
    "Cancel: keep the editor open without them; Save writes nothing until they are read.";
const char kOpenNoRetry[] =
    "The editor stays open without them; Save writes nothing until they are read.";
const char kLockedAtOpen[] =
    "Another program is writing the driver file. The editor has not read its templates.";
const char kLockedAtSave[] =
    "Another program is writing the driver file. Nothing was saved.\n\n"
    "Retry: try to save again.\n"
    "Cancel: save nothing now and keep editing.";
const char kNotRead[] =
    "The editor has not read the driver file's templates, so Save writes nothing: it would "
    "replace templates the editor never showed.\n\n"
    "Retry: read the file's templates now; the changes made in this editor are dropped.\n"
    "Cancel: save nothing and keep editing.";
const char kCheckProblems[] =
    "The device reads this file otherwise than the editor shows it, or its templates break the "
    "editor's rules (what zuv8620 check reports):";
const char kCheckAdvice[] =
    "The editor shows each template as it loads it; a Save writes the templates you change as "
    "shown here. To keep what the device reads, correct these lines of the file in a text "
    "editor before you change these templates here (zuv8620 check lists them again).";
const char kChangedOnDisk[] =
    "Another program saved the driver file after this editor read it, and changed templates you "
    "changed too:\n\n";
const char kChangedOnDiskOthers[] =
    "Yes and No also save your other changes, and keep the other program's.\n"
    "Cancel: save nothing and keep editing.";
const char kSectionPrefix[] =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

const char kFileHead[] =
    "; USB-8620A driver settings\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore]\r\n"
    "\"Dll\"=\"USB8620.dll\"\r\n"
    "\r\n";

std::string Section(int n) {
  char id[16];
  std::snprintf(id, sizeof(id), "%x", n);
  return std::string(kSectionPrefix) + std::to_string(n) + "]\r\n\"SwitchID\"=dword:" + id +
         "\r\n\"ChanConfig\"=dword:0\r\n"
         "\"AOSettings 0\"=\"     0    10     0\"\r\n"
         "\"AOSettings 1\"=\"     0    10     0\"\r\n";
}

std::string DriverFileWith(const std::vector<int>& templates) {
  std::string text = kFileHead;
  for (int n : templates) text += Section(n);
  return text;
}

// Section n with its board id and the first output's range ends.
std::string SectionWith(int n, int boardId, const char* ao0 = "     0    10     0") {
  char id[16];
  std::snprintf(id, sizeof(id), "%x", boardId);
  return std::string(kSectionPrefix) + std::to_string(n) + "]\r\n\"SwitchID\"=dword:" + id +
         "\r\n\"ChanConfig\"=dword:0\r\n"
         "\"AOSettings 0\"=\"" +
         ao0 +
         "\"\r\n"
         "\"AOSettings 1\"=\"     0    10     0\"\r\n";
}

// The lines of template n's section in the file, from its header to the next
// header; empty when it has none.
std::string SectionIn(const std::string& file, int n) {
  const std::string header = kSectionPrefix + std::to_string(n) + "]";
  const size_t start = file.find(header);
  if (start == std::string::npos) return {};
  const size_t end = file.find("\n[", start);
  return file.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

// Holds the driver file's lock as another program's save does (LockFileEx on
// the byte past any content, as the library's lock), on a handle of its own.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path) {
    handle_ = CreateFileA(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at = {};
    at.Offset = 0x7FFFFFFF;
    locked_ =
        handle_ != INVALID_HANDLE_VALUE &&
        LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
  }
  ~HeldLock() { Release(); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  bool Locked() const { return locked_; }
  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool locked_ = false;
};

// The editor's controls, found by their IDs as any program could.
struct Editor {
  explicit Editor(HWND window)
      : hwnd(window),
        tree(GetDlgItem(window, 1123)),
        tab(GetDlgItem(window, 1077)),
        add(GetDlgItem(window, 1124)),
        remove(GetDlgItem(window, 1071)),
        save(GetDlgItem(window, IDOK)),
        close(GetDlgItem(window, IDCANCEL)) {}

  // Item texts depth first, each after its item data (a template's
  // slot): "-1 DeviceTemplate", "3 Template3".
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    Collect(tree.GetRootItem(), &items);
    return items;
  }
  void Collect(HTREEITEM item, std::vector<std::string>* items) const {
    for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
      items->push_back(std::to_string(tree.GetItemData(item)) + " " + tree.GetItemText(item));
      Collect(tree.GetChildItem(item), items);
    }
  }
  HTREEITEM Find(const std::string& text) const { return Find(text, tree.GetRootItem()); }
  HTREEITEM Find(const std::string& text, HTREEITEM item) const {
    for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
      if (tree.GetItemText(item) == text) return item;
      if (HTREEITEM child = Find(text, tree.GetChildItem(item))) return child;
    }
    return nullptr;
  }
  std::string Selected() const { return tree.GetItemText(tree.GetSelectedItem()); }
  void Select(const std::string& text) const { tree.SelectItem(Find(text)); }
  bool Visible() const { return IsWindowVisible(hwnd) != FALSE; }
  // Whether channel `n`'s row on the AI page is checked (differential).
  bool ChannelChecked(int n) const {
    for (HWND page = FindWindowExA(hwnd, nullptr, "#32770", nullptr); page != nullptr;
         page = FindWindowExA(hwnd, page, "#32770", nullptr)) {
      if (HWND list = GetDlgItem(page, 1126)) {
        return (SendMessageA(list, LVM_GETITEMSTATE, n, LVIS_STATEIMAGEMASK) >> 12) == 2;
      }
    }
    return false;
  }
  // The control with this ID on the page shown, or null.
  HWND PageControl(int id) const {
    for (HWND page = FindWindowExA(hwnd, nullptr, "#32770", nullptr); page != nullptr;
         page = FindWindowExA(hwnd, page, "#32770", nullptr)) {
      if (IsWindowVisible(page) && GetDlgItem(page, id) != nullptr) return GetDlgItem(page, id);
    }
    return nullptr;
  }
  // A board identifier chosen on the Device page.
  void ChooseBoardId(int id) const {
    HWND list = PageControl(1125);
    SendMessageA(list, CB_SETCURSEL, id, 0);
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(1125, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  }

  HWND hwnd;
  winui::TreeView tree;
  winui::TabControl tab;
  winui::Button add, remove, save, close;
};

class EditorTest : public HostedEditorTest {
 protected:
  void WriteDriverFile(const std::string& bytes) const { WriteFileBytes(FilePath(), bytes); }

  // Opens the editor as a host does and finds its window.
  Editor Open(const char* driverName = "USB8620A") { return Editor(OpenEditorWindow(driverName)); }

  // Runs `action` with a watcher answering `answer`; the boxes it saw.
  template <typename Action>
  std::vector<MessageBoxSeen> Answering(int answer, Action action) {
    MessageBoxWatcher watcher(answer);
    action();
    PumpMessages();
    return watcher.Stop();
  }
};

const MessageBoxSeen kClosePrompt{"Note", kPrompt, true};

// ---- What the editor shows when it opens

struct OpeningCase {
  const char* name;
  bool fileExists;  // else a box says the file cannot be read
  std::vector<int> templates;
  std::vector<std::string> items;
  const char* selected;
};

class EditorOpening : public EditorTest, public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(EditorOpening, ListsTheFilesTemplatesAndSelectsTheFirst) {
  const OpeningCase& c = GetParam();
  if (c.fileExists) WriteDriverFile(DriverFileWith(c.templates));
  HWND window = nullptr;
  std::vector<MessageBoxSeen> boxes = Answering(IDCANCEL, [&] { window = OpenEditorWindow(); });
  if (c.fileExists) {
    EXPECT_THAT(boxes, IsEmpty());
  } else {
    // A path that does not exist: no Retry, which cannot help.
    EXPECT_THAT(boxes, ElementsAre(MessageBoxSeen{kCaption,
                                                  kOpenFailed + ("\n\n" + FilePath()) + ": " +
                                                      kNoPath + "\n\n" + kOpenNoRetry,
                                                  true}));
    EXPECT_EQ(boxes[0].defaultButton, IDOK);
  }
  Editor editor(window);
  ASSERT_NE(editor.hwnd, nullptr);
  EXPECT_THAT(editor.Items(), ElementsAreArray(c.items));
  EXPECT_EQ(editor.Selected(), c.selected);
  EXPECT_FALSE(editor.save.IsEnabled());
  EXPECT_TRUE(editor.add.IsEnabled());
  ASSERT_EQ(editor.tab.GetItemCount(), 5);
  EXPECT_EQ(editor.tab.GetCurSel(), 0);
  std::vector<std::string> tabs;
  for (int i = 0; i < 5; ++i) tabs.push_back(editor.tab.GetItemText(i));
  EXPECT_THAT(tabs, ElementsAre("Device", "AI", "AO", "DIO", "Counter"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, EditorOpening,
    ::testing::Values(
        OpeningCase{"NoTemplates", true, {}, {"-1 DeviceTemplate", "-2 USB-8620A"}, "USB-8620A"},
        OpeningCase{"NoFile", false, {}, {"-1 DeviceTemplate", "-2 USB-8620A"}, "USB-8620A"},
        OpeningCase{"Templates2And5",
                    true,
                    {5, 2},
                    {"-1 DeviceTemplate", "-2 USB-8620A", "2 Template2", "5 Template5"},
                    "Template2"},
        OpeningCase{"SectionsAbove15Ignored",
                    true,
                    {16, 0},
                    {"-1 DeviceTemplate", "-2 USB-8620A", "0 Template0"},
                    "Template0"}),
    [](const ::testing::TestParamInfo<OpeningCase>& info) { return info.param.name; });

TEST_F(EditorTest, OpensTheSampleDriverFile) {
  WriteDriverFile(
      ReadFileBytes(std::string(ZUV_SOURCE_DIR) +
                    "/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg"));
  Editor editor = Open();
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "2 Template2"));
  EXPECT_EQ(editor.Selected(), "Template0");
}

// ---- Visual styles whatever the host's manifest

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
  return TRUE;
}

// The test program has no manifest: the controls it creates are the plain
// version-5 ones. Every control of the editor and its pages is of the
// version-6 class instead (another class atom), and its buttons answer a
// message only version 6 knows.
TEST_F(EditorTest, ControlsAreOfTheVersion6ClassesInAHostWithoutManifest) {
  WriteDriverFile(DriverFileWith({0}));
  Editor editor = Open();
  std::vector<HWND> children;
  EnumChildWindows(editor.hwnd, &CollectChild, reinterpret_cast<LPARAM>(&children));
  int compared = 0;
  for (const char* name : {"Button", "ComboBox", "Static"}) {
    HWND plain = CreateWindowA(name, "", WS_CHILD, 0, 0, 80, 20, editor.hwnd, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(plain, nullptr) << name;
    for (HWND child : children) {
      if (ClassOf(child) != name) continue;
      ++compared;
      EXPECT_NE(GetClassLongPtrA(child, GCW_ATOM), GetClassLongPtrA(plain, GCW_ATOM))
          << name << " \"" << TextOf(child) << "\"";
    }
    DestroyWindow(plain);
  }
  EXPECT_GE(compared, 20);
  SIZE ideal = {};
  EXPECT_TRUE(
      SendMessageA(editor.add.Handle(), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
  EXPECT_GT(ideal.cx, 0);
}

// ---- Add and Remove

TEST_F(EditorTest, AddWithSixteenTemplatesRefusesAndChangesNothing) {
  std::vector<int> all;
  for (int n = 0; n < 16; ++n) all.push_back(n);
  WriteDriverFile(DriverFileWith(all));
  Editor editor = Open();
  std::vector<std::string> before = editor.Items();
  EXPECT_THAT(Answering(IDOK, [&] { editor.add.Click(); }),
              ElementsAre(MessageBoxSeen{kCaption, "Support up to 16 Templates", true}));
  EXPECT_EQ(editor.Items(), before);
  EXPECT_EQ(editor.Selected(), "Template0");
  EXPECT_FALSE(editor.save.IsEnabled());
  // Nothing is modified: Close does not ask.
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), IsEmpty());
}

TEST_F(EditorTest, RemoveOnTheTopOrModuleItemChangesNothing) {
  WriteDriverFile(DriverFileWith({0}));
  Editor editor = Open();
  for (const char* item : {"DeviceTemplate", "USB-8620A"}) {
    editor.Select(item);
    editor.remove.Click();
    EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0"));
    EXPECT_EQ(editor.Selected(), item);
    EXPECT_FALSE(editor.save.IsEnabled());
  }
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), IsEmpty());
  EXPECT_FALSE(editor.Visible());
}

TEST_F(EditorTest, AddAfterRemoveTakesTheFreedSlotAndListsItLast) {
  WriteDriverFile(DriverFileWith({0, 1, 2}));
  Editor editor = Open();
  editor.Select("Template1");
  editor.remove.Click();
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "2 Template2"));
  EXPECT_TRUE(editor.save.IsEnabled());
  editor.add.Click();
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "2 Template2", "1 Template1"));
  EXPECT_EQ(editor.Selected(), "Template1");
}

// ---- Save

TEST_F(EditorTest, SaveAppendsAnAddedTemplateAndDisablesItself) {
  const std::string original = DriverFileWith({0});
  WriteDriverFile(original);
  Editor editor = Open();
  editor.add.Click();
  EXPECT_EQ(editor.Selected(), "Template1");
  editor.save.Click();
  EXPECT_EQ(FileBytes(), original + " \r\n" + kSectionPrefix +
                             "1] \r\n"
                             "\"SwitchID\"=dword:1\r\n"
                             "\"ChanConfig\"=dword:0\r\n"
                             "\"AOSettings 0\"=\"     0    10     0\"\r\n"
                             "\"AOSettings 1\"=\"     0    10     0\"\r\n");
  EXPECT_FALSE(editor.save.IsEnabled());
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), IsEmpty());
}

TEST_F(EditorTest, SaveAfterRemovingEveryTemplateDeletesEverySection) {
  WriteDriverFile(DriverFileWith({0, 2, 7}));
  Editor editor = Open();
  for (const char* item : {"Template0", "Template2", "Template7"}) {
    editor.Select(item);
    editor.remove.Click();
  }
  EXPECT_EQ(editor.Selected(), "USB-8620A");
  editor.save.Click();
  EXPECT_EQ(FileBytes(), kFileHead);
}

TEST_F(EditorTest, FailedSaveNamesTheFileAndKeepsTheEditsUnsaved) {
  const std::string original = DriverFileWith({0, 1});
  WriteDriverFile(original);
  Editor editor = Open();
  editor.Select("Template1");
  editor.remove.Click();

  // Another program holds the file open without sharing it (once the
  // editor's own walk of the image, on its thread, has let it go).
  HANDLE lock = INVALID_HANDLE_VALUE;
  for (DWORD start = GetTickCount(); lock == INVALID_HANDLE_VALUE && GetTickCount() - start < 10000;
       Sleep(10)) {
    lock = CreateFileA(FilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { editor.save.Click(); });
  CloseHandle(lock);

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, kCaption);
  EXPECT_THAT(boxes[0].text, StartsWith("The templates could not be saved: "));
  EXPECT_THAT(boxes[0].text, HasSubstr("your changes are kept in the editor.\n\n" + FilePath()));
  EXPECT_TRUE(editor.save.IsEnabled());
  EXPECT_EQ(FileBytes(), original);
  // Close still asks; Cancel discards the edits and hides the editor.
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), ElementsAre(kClosePrompt));
  EXPECT_FALSE(editor.Visible());
  EXPECT_EQ(FileBytes(), original);
}

// A file with the read-only attribute opens as any other; Save says it is
// read-only, keeps the edits, and saves them once the attribute is cleared.
TEST_F(EditorTest, ReadOnlyFileOpensAndSaveSaysSoUntilItIsWritable) {
  const std::string original = DriverFileWith({0, 1});
  WriteDriverFile(original);
  ASSERT_TRUE(SetFileAttributesA(FilePath().c_str(), FILE_ATTRIBUTE_READONLY));
  HWND window = nullptr;
  EXPECT_THAT(Answering(IDOK, [&] { window = OpenEditorWindow(); }), IsEmpty());
  Editor editor(window);
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "1 Template1"));
  editor.Select("Template1");
  editor.remove.Click();
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "The templates could not be saved: the driver file is read-only. "
            "Make it writable (below) and save again; your changes are kept in the "
            "editor.\n\n" +
                FilePath() +
                ": the file is read-only (its Read-only attribute is set: clear it "
                "in the file's Properties, or with attrib -r, to save)");
  EXPECT_TRUE(editor.save.IsEnabled());
  EXPECT_EQ(FileBytes(), original);
  EXPECT_TRUE(GetFileAttributesA(FilePath().c_str()) & FILE_ATTRIBUTE_READONLY);

  ASSERT_TRUE(SetFileAttributesA(FilePath().c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_THAT(Answering(IDOK, [&] { editor.save.Click(); }), IsEmpty());
  EXPECT_EQ(FileBytes(), DriverFileWith({0}));
  EXPECT_FALSE(editor.save.IsEnabled());
}

// A file in an encoding Save never writes: the editor shows its templates and
// says so at open; Save names the reason, writes nothing and keeps the edits.
TEST_F(EditorTest, AFileSaveNeverWritesIsNamedAtOpenAndAtSave) {
  std::string original("\xFF\xFE\0\0", 4);  // UTF-32 LE
  for (char c : DriverFileWith({0, 1})) original += std::string(1, c) + std::string(3, '\0');
  WriteDriverFile(original);
  const std::string reason =
      FilePath() + ": UTF-32 LE is read but never written (UTF-16 with its mark, UTF-8 and "
                   "8-bit text are)";
  HWND window = nullptr;
  EXPECT_THAT(Answering(IDOK, [&] { window = OpenEditorWindow(); }),
              ElementsAre(MessageBoxSeen{kCaption,
                                         "The editor shows the driver file's templates, but Save "
                                         "will not write this file.\n\n" +
                                             reason,
                                         true}));
  Editor editor(window);
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "1 Template1"));
  editor.Select("Template1");
  editor.remove.Click();
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "The templates could not be saved: the file's text cannot be written "
            "back as it was read (below). Save the file as UTF-8 or UTF-16 in a "
            "text editor, then save here again; your changes are kept in the "
            "editor.\n\n" +
                reason + "; the file is not changed");
  EXPECT_TRUE(editor.save.IsEnabled());
  EXPECT_EQ(FileBytes(), original);
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), ElementsAre(kClosePrompt));
}

// ---- Close and destruction

TEST_F(EditorTest, CloseWithoutEditsHidesWithoutAsking) {
  const std::string original = DriverFileWith({0});
  WriteDriverFile(original);
  Editor editor = Open();
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), IsEmpty());
  EXPECT_FALSE(editor.Visible());
  EXPECT_TRUE(IsWindow(editor.hwnd));
  EXPECT_EQ(FileBytes(), original);
}

struct CloseCase {
  const char* name;
  int answer;
  bool saved;
};

class EditorClosing : public EditorTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(EditorClosing, CloseWithEditsAsksThenHides) {
  const std::string original = DriverFileWith({0, 1});
  WriteDriverFile(original);
  Editor editor = Open();
  editor.remove.Click();  // Template0
  EXPECT_THAT(Answering(GetParam().answer, [&] { editor.close.Click(); }),
              ElementsAre(kClosePrompt));
  EXPECT_FALSE(editor.Visible());
  EXPECT_EQ(FileBytes(), GetParam().saved ? kFileHead + Section(1) : original);
  // Either answer clears the unsaved state: a second Close does not ask.
  ShowWindow(editor.hwnd, SW_SHOW);
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.close.Click(); }), IsEmpty());
}

TEST_P(EditorClosing, DestroyingTheWindowWithEditsAsksWithoutOwner) {
  const std::string original = DriverFileWith({0, 1});
  WriteDriverFile(original);
  Editor editor = Open();
  editor.remove.Click();
  EXPECT_THAT(Answering(GetParam().answer, [&] { DestroyWindow(editor.hwnd); }),
              ElementsAre(MessageBoxSeen{"Note", kPrompt, false}));
  EXPECT_FALSE(IsWindow(editor.hwnd));
  EXPECT_EQ(FileBytes(), GetParam().saved ? kFileHead + Section(1) : original);
}

INSTANTIATE_TEST_SUITE_P(Answers, EditorClosing,
                         ::testing::Values(CloseCase{"Ok", IDOK, true},
                                           CloseCase{"Cancel", IDCANCEL, false}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) {
                           return info.param.name;
                         });

// ---- The keyboard, through a host loop that knows nothing of the editor

TEST_F(EditorTest, KeyboardMovesBetweenControlsAndPressesSaveAndClose) {
  WriteDriverFile(DriverFileWith({0, 2}));
  Editor editor = Open();
  EXPECT_EQ(GetFocus(), editor.tree.Handle());  // where the user starts

  PressKey(VK_DOWN);  // the tree takes its arrows
  EXPECT_EQ(editor.Selected(), "Template2");
  const HWND boardId = editor.PageControl(1125);
  ASSERT_NE(boardId, nullptr);
  const HWND page = GetParent(boardId);
  // Reading order: tree, tab row, the page's controls, Add, Remove, Save
  // (disabled, so passed over), Close; Shift+Tab goes back.
  for (HWND next : {editor.tab.Handle(), boardId, editor.add.Handle(), editor.remove.Handle(),
                    editor.close.Handle(), editor.tree.Handle()}) {
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), next);
  }
  PressKey(VK_TAB, {VK_SHIFT});
  EXPECT_EQ(GetFocus(), editor.close.Handle());
  PressKey(VK_TAB);

  // The tab row's arrows switch pages.
  PressKey(VK_TAB);
  PressKey(VK_RIGHT);
  EXPECT_EQ(editor.tab.GetCurSel(), 1);
  EXPECT_FALSE(IsWindowVisible(page));
  PressKey(VK_LEFT);
  EXPECT_EQ(editor.tab.GetCurSel(), 0);
  EXPECT_TRUE(IsWindowVisible(page));

  for (HWND next : {boardId, editor.add.Handle()}) {
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), next);
  }
  PressKey(VK_RIGHT);
  EXPECT_EQ(GetFocus(), editor.remove.Handle());
  PressKey(VK_SPACE);  // Remove Template2
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0"));

  // On to the Device page's BoardID list, shown for Template0 (which item the
  // tree selects after a removal is the control's own rule).
  editor.Select("Template0");
  for (HWND next : {editor.save.Handle(), editor.close.Handle(), editor.tree.Handle(),
                    editor.tab.Handle(), boardId}) {
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), next);
  }
  PressKey(VK_RETURN);  // in the list: Save, the default button
  EXPECT_EQ(FileBytes(), DriverFileWith({0}));
  EXPECT_FALSE(editor.save.IsEnabled());
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), editor.add.Handle());

  EXPECT_THAT(Answering(IDCANCEL, [&] { PressKey(VK_ESCAPE); }), IsEmpty());
  EXPECT_FALSE(editor.Visible());
}

// ---- DriverConfig's arguments

struct PathCase {
  const char* name;
  const char* rootTail;  // after the scratch folder
  const char* driverName;
  const char* file;      // where the editor must write, under the scratch folder
};

class DriverConfigPath : public EditorTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(DriverConfigPath, EditsTheFileTheRootAndDriverNameCompose) {
  const PathCase& c = GetParam();
  root_ = dir_.Path() + c.rootTail;
  const std::string file = dir_.Path() + c.file;
  WriteFileBytes(file, kFileHead);
  Editor editor = Open(c.driverName);
  ASSERT_NE(editor.hwnd, nullptr);
  editor.add.Click();
  editor.save.Click();
  EXPECT_THAT(ReadFileBytes(file), HasSubstr("Template0] \r\n\"SwitchID\"=dword:0\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DriverConfigPath,
    ::testing::Values(PathCase{"SevenCharacters", "\\", "USB8620A",
                               "\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg"},
                      PathCase{"Exactly7", "\\", "USB8620",
                               "\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg"},
                      PathCase{"RootWithoutSeparator", "\\Image", "USB8620A",
                               "\\Image\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg"},
                      PathCase{
                          "PercentInRoot", "\\50%d%s\\", "USB8620A",
                          "\\50%d%s\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

// DriverConfig's root comes in the ANSI code page: it is converted once, the
// file opens, and a box shows its path as it is.
TEST_F(EditorTest, ARootOfAnsiCharactersOpensAndBoxesShowItRight) {
  if (GetACP() != 1252) GTEST_SKIP() << "the row is written for Windows-1252";
  root_ = dir_.Path() + "\\Caf\xE9\\";  // "Café" in Windows-1252
  const std::string file = dir_.Path() + u8"\\Café\\" + kDriverFile;
  WriteFileBytes(file, DriverFileWith({0}));
  Editor editor = Open();
  ASSERT_NE(editor.hwnd, nullptr);
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0"));
  editor.add.Click();
  std::vector<MessageBoxSeen> boxes;
  {
    HeldLock lock(root_ + kDriverFile);
    ASSERT_TRUE(lock.Locked());
    boxes = Answering(IDCANCEL, [&] { editor.save.Click(); });
  }
  // The box's text read back in the ANSI code page: the root as given.
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text, StartsWith(root_ + kDriverFile + "\n\n"));
  editor.save.Click();
  EXPECT_NE(SectionIn(ReadFileBytes(file), 1), "");
}

TEST_F(EditorTest, ShortDriverNameNamesDirectoryAndFile) {
  // "USB86": the path ends in USB86\USB86.reg. The file is opened (the
  // sections of such a driver are named differently; Save appends one).
  const std::string file = root_ + "Public\\Korvalent\\Device_Drivers\\USB86\\USB86.reg";
  WriteFileBytes(file, kFileHead);
  Editor editor = Open("USB86");
  editor.add.Click();
  editor.save.Click();
  EXPECT_NE(ReadFileBytes(file), kFileHead);
}

TEST_F(EditorTest, NullOrOverlongArgumentsOpenNothingAndReturnOne) {
  const std::string original = DriverFileWith({0});
  WriteDriverFile(original);
  // The composed path is the root plus 48 characters for "USB8620A".
  const size_t pathTail = std::string(kDriverFile).size();
  const std::string fits = "C:\\" + std::string(259 - pathTail - 4, 'a') + "\\";
  const std::string tooLong = "C:\\" + std::string(260 - pathTail - 4, 'a') + "\\";
  ASSERT_EQ(fits.size() + pathTail, 259u);

  struct Call {
    const char* root;
    const char* driver;
    const char* extra;
  };
  for (const Call& call : {Call{nullptr, "USB8620A", ""}, Call{root_.c_str(), nullptr, ""},
                           Call{root_.c_str(), "USB8620A", nullptr}}) {
    EXPECT_EQ(driverConfig_(0, call.root, call.driver, call.extra), 1);
    EXPECT_THAT(FindThreadWindows(GetCurrentThreadId(), kCaption), IsEmpty());
  }
  // A root that makes the path too long is named in a box with the limit; a
  // root without an end within the limit is named by its first 260 characters.
  const std::string endless(300, 'r');
  const std::pair<std::string, std::string> overlong[] = {
      {tooLong, " (260).\n\nRoot: " + tooLong},
      {endless, ".\n\nRoot: " + endless.substr(0, 260) + "..."},
  };
  // DriverConfig returns before the box is answered (none is seen while it
  // runs); the box comes as the host's loop runs, no wider than the screen,
  // the root broken onto lines of its own.
  for (const auto& [root, tail] : overlong) {
    EXPECT_THAT(
        Answering(IDOK, [&] { EXPECT_EQ(driverConfig_(0, root.c_str(), "USB8620A", ""), 1); }),
        IsEmpty());
    const std::vector<MessageBoxSeen> boxes = Answering(IDOK, [] {
      Sleep(50);  // the box's timer is due
      PumpMessages();
    });
    ASSERT_EQ(boxes.size(), 1u);
    std::string text = boxes[0].text;
    EXPECT_THAT(text, StartsWith("The driver file cannot be opened: its path would be longer "
                                 "than 259 characters"));
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    EXPECT_THAT(text, ::testing::EndsWith(tail.substr(tail.find("Root: "))));
    EXPECT_LE(boxes[0].width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_THAT(FindThreadWindows(GetCurrentThreadId(), kCaption), IsEmpty());
  }
  EXPECT_EQ(FileBytes(), original);

  // One character less fits: the editor opens (on a file that does not exist,
  // which a box says).
  EXPECT_THAT(
      Answering(IDCANCEL, [&] { EXPECT_EQ(driverConfig_(0, fits.c_str(), "USB8620A", ""), 1); }),
      ElementsAre(::testing::Field(&MessageBoxSeen::caption, kCaption)));
  EXPECT_EQ(FindThreadWindows(GetCurrentThreadId(), kCaption).size(), 1u);
}

// ---- One editor per driver file

TEST_F(EditorTest, ACallForAnOpenFileBringsItsEditorBackAndAnotherFileGetsItsOwn) {
  WriteDriverFile(DriverFileWith({0, 1}));
  const std::string otherFile = root_ + "Public\\Korvalent\\Device_Drivers\\USB8621\\USB8621.reg";
  // The other driver's file holds that driver's keys (a copy under the first
  // driver's keys would never be written).
  auto ofUsb8621 = [](std::string text) {
    for (size_t at = text.find("VOD8620"); at != std::string::npos; at = text.find("VOD8620")) {
      text.replace(at, 7, "VOD8621");
    }
    return text;
  };
  WriteFileBytes(otherFile, ofUsb8621(DriverFileWith({0, 1})));
  auto editors = [] { return FindThreadWindows(GetCurrentThreadId(), kCaption); };
  Editor first = Open();
  EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8621A", ""), 1);
  PumpMessages();
  ASSERT_EQ(editors().size(), 2u);
  Editor second(editors()[0] == first.hwnd ? editors()[1] : editors()[0]);
  EXPECT_EQ(GetActiveWindow(), second.hwnd);

  // The same file again: no third window; the first comes back, restored.
  ShowWindow(first.hwnd, SW_MINIMIZE);
  EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8620A", ""), 1);
  PumpMessages();
  EXPECT_EQ(editors().size(), 2u);
  EXPECT_EQ(GetActiveWindow(), first.hwnd);
  EXPECT_FALSE(IsIconic(first.hwnd));

  // Each editor has its own edits, Save button and close prompt: the first's
  // page reports to the first, though the second was opened last.
  first.ChooseBoardId(5);
  EXPECT_TRUE(first.save.IsEnabled());
  EXPECT_FALSE(second.save.IsEnabled());
  second.remove.Click();
  second.save.Click();
  EXPECT_FALSE(second.save.IsEnabled());
  EXPECT_TRUE(first.save.IsEnabled());
  EXPECT_EQ(ReadFileBytes(otherFile), ofUsb8621(kFileHead + Section(1)));
  EXPECT_EQ(FileBytes(), DriverFileWith({0, 1}));
  EXPECT_THAT(Answering(IDCANCEL, [&] { second.close.Click(); }), IsEmpty());
  EXPECT_THAT(Answering(IDCANCEL, [&] { first.close.Click(); }), ElementsAre(kClosePrompt));

  // A closed editor is opened afresh, from the file.
  EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8620A", ""), 1);
  PumpMessages();
  HWND reopened = FindThreadWindow(GetCurrentThreadId(), kCaption);
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(editors().size(), 2u);
  EXPECT_THAT(Editor(reopened).Items(),
              ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0", "1 Template1"));
}

// A host may call DriverConfig on a second thread with a message loop of its
// own: that thread gets an editor of its own, even for the same file, and
// opening, saving and destroying it leaves the first thread's editor, its
// keyboard and its one-editor-per-file rule as they were.
TEST_F(EditorTest, ASecondThreadsEditorLeavesTheFirstThreadsAlone) {
  WriteDriverFile(DriverFileWith({0, 1}));
  Editor first = Open();
  std::thread other([this] {
    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8620A", ""), 1);
      PumpMessages();
      const std::vector<HWND> mine = FindThreadWindows(GetCurrentThreadId(), kCaption);
      ASSERT_EQ(mine.size(), 1u);
      if (round == 2) {
        Editor editor(mine[0]);
        editor.remove.Click();  // Template0
        editor.save.Click();
      }
      DestroyWindow(mine[0]);
      PumpMessages();
    }
  });
  other.join();
  EXPECT_EQ(FileBytes(), DriverFileWith({1}));

  EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8620A", ""), 1);
  PumpMessages();
  EXPECT_EQ(FindThreadWindows(GetCurrentThreadId(), kCaption), std::vector<HWND>{first.hwnd});
  // The other thread's window had the focus: this thread's editor takes it
  // back as a click would, and its keys still go through its keyboard hook.
  SetForegroundWindow(first.hwnd);
  SetFocus(first.tree.Handle());
  PressKey(VK_NEXT, {VK_CONTROL});
  EXPECT_EQ(first.tab.GetCurSel(), 1);
}

// ---- Names for screen readers

// The tree, the tab row and the channel list draw no text: each has a name
// that says what it is. Each drop-down list follows its label, which names it.
TEST_F(EditorTest, ControlsHaveNamesForScreenReaders) {
  // With COM on the thread the editor also annotates the names where the
  // system can; wine answers E_NOTIMPL, and the window texts name them.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WriteDriverFile(DriverFileWith({0}));
  Editor editor = Open();
  HWND channels = nullptr;
  for (HWND page = FindWindowExA(editor.hwnd, nullptr, "#32770", nullptr); page != nullptr;
       page = FindWindowExA(editor.hwnd, page, "#32770", nullptr)) {
    if (HWND list = GetDlgItem(page, 1126)) channels = list;
  }
  ASSERT_NE(channels, nullptr);
  std::vector<std::string> names;
  for (HWND control : {editor.tree.Handle(), editor.tab.Handle(), channels}) {
    IAccessible* accessible = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                         reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
    char text[128] = {};
    if (name != nullptr) {
      WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof(text), nullptr, nullptr);
    }
    names.push_back(text);
    SysFreeString(name);
    accessible->Release();
  }
  EXPECT_THAT(names, ElementsAre("Templates", "Pages", "A/D channels"));

  std::vector<std::string> labels;
  for (HWND page = FindWindowExA(editor.hwnd, nullptr, "#32770", nullptr); page != nullptr;
       page = FindWindowExA(editor.hwnd, page, "#32770", nullptr)) {
    for (HWND control = GetWindow(page, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT)) {
      if (ClassOf(control) != "ComboBox") continue;
      HWND label = GetWindow(control, GW_HWNDPREV);
      labels.push_back(ClassOf(label) + " " + TextOf(label));
    }
  }
  EXPECT_THAT(labels,
              UnorderedElementsAre("Static BoardID", "Static Channel 0", "Static Channel 1"));
  DestroyWindow(editor.hwnd);
  if (SUCCEEDED(com)) CoUninitialize();
}

// ---- A host that frees the library after the call

// The library pins itself at the call: the editor keeps working, its keyboard
// included, and saves. The library must not be loaded before the test, so in
// a process whose other tests loaded it the test runs itself in a new one.
TEST(HostUnload, TheEditorOutlivesFreeLibraryAndSaves) {
  if (GetModuleHandleA("ZUV8620Ude.dll") != nullptr) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --gtest_filter=HostUnload.*";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << "the test in its own process failed";
    return;
  }
  TempDir dir;
  const std::string root = dir.Path() + "\\";
  const std::string original = DriverFileWith({0});
  WriteFileBytes(root + kDriverFile, original);
  HMODULE library = LoadLibraryA("ZUV8620Ude.dll");
  ASSERT_NE(library, nullptr);
  const auto driverConfig = reinterpret_cast<DriverConfigFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DriverConfig")));
  ASSERT_NE(driverConfig, nullptr);
  EXPECT_EQ(driverConfig(0, root.c_str(), "USB8620A", ""), 1);
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_NE(GetModuleHandleA("ZUV8620Ude.dll"), nullptr);

  PumpMessages();
  Editor editor(FindThreadWindow(GetCurrentThreadId(), kCaption));
  ASSERT_NE(editor.hwnd, nullptr);
  PressKey(VK_TAB, {VK_CONTROL});
  EXPECT_EQ(editor.tab.GetCurSel(), 1);
  editor.add.Click();
  editor.save.Click();
  EXPECT_EQ(ReadFileBytes(root + kDriverFile),
            original + " \r\n" + kSectionPrefix +
                "1] \r\n\"SwitchID\"=dword:1\r\n\"ChanConfig\"=dword:0\r\n"
                "\"AOSettings 0\"=\"     0    10     0\"\r\n"
                "\"AOSettings 1\"=\"     0    10     0\"\r\n");
  DestroyWindow(editor.hwnd);
  PumpMessages();
}

// ---- A driver file changed on disk while the editor is open

// Save applies the editor's own changes to the file's templates as they are
// now: another program's changes to templates the user did not touch stay,
// and nothing is asked.
TEST_F(EditorTest, SaveKeepsWhatAnotherProgramChangedElsewhere) {
  WriteDriverFile(DriverFileWith({0, 1}));
  Editor editor = Open();
  editor.remove.Click();                                      // Template0
  WriteDriverFile("; changed\r\n" + DriverFileWith({0, 1}));  // not a template change
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.save.Click(); }), IsEmpty());
  EXPECT_EQ(FileBytes(), "; changed\r\n" + DriverFileWith({1}));
  editor.Select("Template1");
  editor.remove.Click();
  // Another program adds template 5 and changes nothing the user changed.
  WriteDriverFile(DriverFileWith({1, 5}));
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.save.Click(); }), IsEmpty());
  EXPECT_EQ(FileBytes(), DriverFileWith({5}));
  // The editor shows the file's templates, the other program's among them.
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "5 Template5"));
  EXPECT_FALSE(editor.save.IsEnabled());
}

struct DiskChangeCase {
  const char* name;
  int answer;  // Yes: the editor's Template1, No: the file's, Cancel: nothing
  std::vector<std::string> itemsAfter;
  bool saveEnabledAfter;
};

class EditorDiskChange : public EditorTest, public ::testing::WithParamInterface<DiskChangeCase> {};

// Both changed Template1: the editor asks, naming it and both values, with
// Cancel (which writes nothing) the default; Yes and No keep every other
// change of both (the user's removal of Template0 among them).
TEST_P(EditorDiskChange, SaveAsksOnlyAboutTemplatesBothChanged) {
  const DiskChangeCase& c = GetParam();
  WriteDriverFile(DriverFileWith({0, 1, 2}));
  Editor editor = Open();
  editor.remove.Click();  // Template0
  editor.Select("Template1");
  editor.ChooseBoardId(7);
  // Another program gives Template1 board id 9, changes Template2's range and
  // adds Template5.
  const std::string theirs = kFileHead + Section(0) + SectionWith(1, 9) +
                             SectionWith(2, 2, "     0     5    -5") + Section(5);
  WriteDriverFile(theirs);
  std::vector<MessageBoxSeen> boxes = Answering(c.answer, [&] { editor.save.Click(); });
  ASSERT_THAT(boxes, ElementsAre(MessageBoxSeen{
                         kCaption,
                         FilePath() + "\n\n" + kChangedOnDisk +
                             "Template1: you and another program changed its BoardID.\n"
                             "    BoardID: 9 in the file, 7 in this editor\n\n"
                             "Yes: save this editor's version: Template1 with your values.\n"
                             "No: save the file's version: Template1 with the other program's "
                             "values.\n" +
                             kChangedOnDiskOthers,
                         true}));
  EXPECT_EQ(boxes[0].defaultButton, IDCANCEL);
  EXPECT_THAT(editor.Items(), ElementsAreArray(c.itemsAfter));
  EXPECT_EQ(editor.save.IsEnabled(), c.saveEnabledAfter);
  const std::string file = FileBytes();
  if (c.answer == IDCANCEL) {
    EXPECT_EQ(file, theirs);
    return;
  }
  // Template0 removed, Template1 the chosen version, Template2 and Template5
  // the other program's.
  EXPECT_EQ(SectionIn(file, 0), "");
  EXPECT_THAT(SectionIn(file, 1), HasSubstr(c.answer == IDYES ? "\"SwitchID\"=dword:7\r\n"
                                                              : "\"SwitchID\"=dword:9\r\n"));
  EXPECT_THAT(SectionIn(file, 2), HasSubstr("\"AOSettings 0\"=\"     0     5    -5\""));
  EXPECT_NE(SectionIn(file, 5), "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EditorDiskChange,
    ::testing::Values(DiskChangeCase{"EditorsVersion",
                                     IDYES,
                                     {"-1 DeviceTemplate", "-2 USB-8620A", "1 Template1",
                                      "2 Template2", "5 Template5"},
                                     false},
                      DiskChangeCase{"FilesVersionOfTemplate1Only",
                                     IDNO,
                                     {"-1 DeviceTemplate", "-2 USB-8620A", "1 Template1",
                                      "2 Template2", "5 Template5"},
                                     false},
                      DiskChangeCase{
                          "Cancel",
                          IDCANCEL,
                          {"-1 DeviceTemplate", "-2 USB-8620A", "1 Template1", "2 Template2"},
                          true}),
    [](const ::testing::TestParamInfo<DiskChangeCase>& info) { return info.param.name; });

// Sixteen conflicts: the box fits the screen (the watcher checks every box),
// counts the templates it leaves out, and keeps what Yes, No and Cancel do.
TEST_F(EditorTest, SixteenConflictsFitOneBoxWithItsAnswersVisible) {
  std::vector<int> all;
  for (int n = 0; n < 16; ++n) all.push_back(n);
  WriteDriverFile(DriverFileWith(all));
  Editor editor = Open();
  for (int n = 0; n < 16; ++n) {
    editor.Select("Template" + std::to_string(n));
    editor.remove.Click();
  }
  std::string theirs = kFileHead;
  for (int n = 0; n < 16; ++n) theirs += SectionWith(n, (n + 1) % 16);
  WriteDriverFile(theirs);
  std::vector<MessageBoxSeen> boxes = Answering(IDCANCEL, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].defaultButton, IDCANCEL);
  EXPECT_THAT(boxes[0].text, StartsWith(FilePath() + "\n\n" + kChangedOnDisk +
                                        "Template0 was changed by another program (its "
                                        "BoardID); you removed it.\n"));
  EXPECT_THAT(boxes[0].text, HasSubstr(" more lines\n\nYes: save this editor's version: all 16 "
                                       "templates removed.\nNo: save the file's version: all 16 "
                                       "templates kept with the other program's values.\n"));
  EXPECT_THAT(boxes[0].text, ::testing::EndsWith("\nCancel: save nothing and keep editing."));
  EXPECT_EQ(FileBytes(), theirs);
}

struct RemovalCase {
  const char* name;
  bool userRemoves;  // else the other program removes Template1 and the user changes it
  int answer;
  const char* said;            // what the prompt says of Template1
  const char* template1After;  // its board id line in the file, or "" when removed
};

class EditorRemoval : public EditorTest, public ::testing::WithParamInterface<RemovalCase> {};

// A removal on one side and a change on the other is a conflict named as
// such, both ways; Yes keeps the editor's version, No the file's.
TEST_P(EditorRemoval, IsAConflictNamedAsSuch) {
  const RemovalCase& c = GetParam();
  WriteDriverFile(DriverFileWith({0, 1}));
  Editor editor = Open();
  editor.Select("Template1");
  if (c.userRemoves) {
    editor.remove.Click();
    WriteDriverFile(kFileHead + Section(0) + SectionWith(1, 9));
  } else {
    editor.ChooseBoardId(7);
    WriteDriverFile(DriverFileWith({0}));
  }
  const std::vector<MessageBoxSeen> boxes = Answering(c.answer, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text, HasSubstr(kChangedOnDisk + std::string(c.said)));
  const std::string section = SectionIn(FileBytes(), 1);
  if (*c.template1After == '\0') {
    EXPECT_EQ(section, "");
  } else {
    EXPECT_THAT(section, HasSubstr(c.template1After));
  }
  EXPECT_NE(SectionIn(FileBytes(), 0), "");
}

const char kTheyRemoved[] =
    "Template1 was removed by another program; you changed its BoardID.\n"
    "    BoardID: removed in the file, 7 in this editor\n";
const char kUserRemoved[] =
    "Template1 was changed by another program (its BoardID); you removed it.\n"
    "    BoardID: 9 in the file, removed in this editor\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, EditorRemoval,
    ::testing::Values(RemovalCase{"TheyRemovedYesKeepsYourValues", false, IDYES, kTheyRemoved,
                                  "\"SwitchID\"=dword:7\r\n"},
                      RemovalCase{"TheyRemovedNoLeavesItRemoved", false, IDNO, kTheyRemoved, ""},
                      RemovalCase{"YouRemovedYesRemoves", true, IDYES, kUserRemoved, ""},
                      RemovalCase{"YouRemovedNoKeepsTheirs", true, IDNO, kUserRemoved,
                                  "\"SwitchID\"=dword:9\r\n"}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

// Both added a template in one slot: the editor's goes to a free slot,
// nothing asked, and keeps its board id; the tree shows where it went.
TEST_F(EditorTest, AnAddWhoseSlotAnotherProgramTookGoesToAFreeOne) {
  WriteDriverFile(DriverFileWith({0}));
  Editor editor = Open();
  editor.add.Click();                                           // Template1, board id 1
  WriteDriverFile(kFileHead + Section(0) + SectionWith(1, 7));  // another program's Add
  const std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text,
              ::testing::EndsWith("Your new template is saved as Template2: another program "
                                  "added Template1."));
  EXPECT_THAT(SectionIn(FileBytes(), 1), HasSubstr("\"SwitchID\"=dword:7\r\n"));
  EXPECT_THAT(SectionIn(FileBytes(), 2), HasSubstr("\"SwitchID\"=dword:1\r\n"));
  EXPECT_EQ(editor.Selected(), "Template2");
}

// ---- Another program holds the driver file's lock

// Fifteen templates that were once lost: the editor opens while another program
// holds the lock. DriverConfig returns at once, a box says so and offers
// Retry; an editor that never read the file never saves over it.
TEST_F(EditorTest, ALockHeldAtOpenIsToldAtOnceAndSaveWritesNothingUntilRead) {
  std::vector<int> fifteen;
  for (int n = 0; n < 15; ++n) fifteen.push_back(n);
  const std::string original = DriverFileWith(fifteen);
  WriteDriverFile(original);
  HeldLock lock(FilePath());
  ASSERT_TRUE(lock.Locked());
  HWND window = nullptr;
  const auto start = std::chrono::steady_clock::now();
  std::vector<MessageBoxSeen> boxes = Answering(IDCANCEL, [&] { window = OpenEditorWindow(); });
  // The default wait is 10 s: nothing waited for it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  ASSERT_THAT(boxes,
              ElementsAre(MessageBoxSeen{
                  kCaption, FilePath() + "\n\n" + kLockedAtOpen + "\n\n" + kOpenRetry, true}));
  EXPECT_EQ(boxes[0].defaultButton, IDRETRY);
  Editor editor(window);
  ASSERT_NE(editor.hwnd, nullptr);
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A"));

  // Add, then Save: Save says the file was never read and writes nothing,
  // even once the lock is gone.
  editor.add.Click();
  lock.Release();
  boxes = Answering(IDCANCEL, [&] { editor.save.Click(); });
  ASSERT_THAT(boxes, ElementsAre(MessageBoxSeen{kCaption, FilePath() + "\n\n" + kNotRead, true}));
  EXPECT_EQ(boxes[0].defaultButton, IDCANCEL);
  EXPECT_EQ(FileBytes(), original);
  EXPECT_TRUE(editor.save.IsEnabled());

  // Retry reads the file: all fifteen templates show, and nothing was written.
  EXPECT_EQ(Answering(IDRETRY, [&] { editor.save.Click(); }).size(), 1u);
  EXPECT_EQ(editor.Items().size(), 17u);
  EXPECT_EQ(editor.Selected(), "Template0");
  EXPECT_FALSE(editor.save.IsEnabled());
  EXPECT_EQ(FileBytes(), original);
}

// Retry in the box at open reads the file once the lock is gone.
TEST_F(EditorTest, RetryAtOpenReadsTheFileOnceTheLockIsGone) {
  WriteDriverFile(DriverFileWith({0, 2}));
  auto lock = std::make_unique<HeldLock>(FilePath());
  ASSERT_TRUE(lock->Locked());
  std::vector<MessageBoxSeen> boxes;
  HWND window = nullptr;
  {
    // The first box is answered Retry after the lock is let go.
    MessageBoxWatcher watcher(IDRETRY);
    EXPECT_EQ(driverConfig_(0, root_.c_str(), "USB8620A", ""), 1);
    window = FindThreadWindow(GetCurrentThreadId(), kCaption);
    lock.reset();
    PumpMessages();
    boxes = watcher.Stop();
  }
  EXPECT_EQ(boxes.size(), 1u);
  Editor editor(window);
  EXPECT_THAT(editor.Items(),
              ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0", "2 Template2"));
}

// The same lock held by another thread of the host's process.
TEST_F(EditorTest, ALockHeldByAnotherThreadAtOpenIsToldAtOnce) {
  WriteDriverFile(DriverFileWith({0}));
  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    HeldLock lock(FilePath());
    held = lock.Locked();
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  std::vector<MessageBoxSeen> boxes = Answering(IDCANCEL, [&] { OpenEditorWindow(); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  release = true;
  holder.join();
  EXPECT_THAT(boxes,
              ElementsAre(MessageBoxSeen{
                  kCaption, FilePath() + "\n\n" + kLockedAtOpen + "\n\n" + kOpenRetry, true}));
}

// A Save while another program holds the lock: told at once, the window
// answering meanwhile; the edits stay, and a later Save writes them.
TEST_F(EditorTest, ALockHeldAtSaveIsToldAtOnceAndTheWindowAnswers) {
  const std::string original = DriverFileWith({0});
  WriteDriverFile(original);
  Editor editor = Open();
  editor.add.Click();
  std::vector<MessageBoxSeen> boxes;
  {
    HeldLock lock(FilePath());
    ASSERT_TRUE(lock.Locked());
    const auto start = std::chrono::steady_clock::now();
    boxes = Answering(IDCANCEL, [&] { editor.save.Click(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  }
  ASSERT_THAT(boxes,
              ElementsAre(MessageBoxSeen{kCaption, FilePath() + "\n\n" + kLockedAtSave, true}));
  EXPECT_TRUE(boxes[0].ownerAnswers);
  EXPECT_EQ(FileBytes(), original);
  EXPECT_TRUE(editor.save.IsEnabled());
  EXPECT_THAT(Answering(IDCANCEL, [&] { editor.save.Click(); }), IsEmpty());
  EXPECT_THAT(FileBytes(), StartsWith(original));
  EXPECT_NE(SectionIn(FileBytes(), 1), "");
  EXPECT_FALSE(editor.save.IsEnabled());
}

// ---- What the device reads

// The sample with a key of template 1 that has no "SwitchID": the device
// reads the key, the editor cannot show it. One box at open says so in
// check's words and what to do.
TEST_F(EditorTest, WhatCheckReportsIsToldAtOpen) {
  WriteDriverFile(ReadFileBytes(std::string(ZUV_SOURCE_DIR) +
                                "/examples/Image/Public/Korvalent/Device_Drivers/USB8620/"
                                "USB8620.reg"));
  std::string file = FileBytes();
  const size_t at = file.find(std::string(kSectionPrefix) + "2]");
  ASSERT_NE(at, std::string::npos);
  file.insert(at, std::string(kSectionPrefix) + "1]\r\n\"ChanConfig\"=dword:3\r\n");
  file += "#if 0\r\n" + std::string(kSectionPrefix) + "0]\r\n\"SwitchID\"=dword:9\r\n#endif\r\n";
  WriteDriverFile(file);
  HWND window = nullptr;
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { window = OpenEditorWindow(); });
  const Editor editor(window);
  EXPECT_EQ(editor.Items(), (std::vector<std::string>{"-1 DeviceTemplate", "-2 USB-8620A",
                                                      "0 Template0 *", "2 Template2"}));
  // Without a build window's environment the pages show every build; a
  // reserved template's pages are read-only, and the note says why.
  EXPECT_EQ(winui::Window(GetDlgItem(window, 1160)).Text(), "Every build configuration");
  editor.Select("Template0 *");
  EXPECT_FALSE(IsWindowEnabled(editor.PageControl(1125)));
  EXPECT_FALSE(editor.remove.IsEnabled());
  EXPECT_THAT(winui::Window(GetDlgItem(window, 1161)).Text(),
              StartsWith("* Template0 is read-only here: the device reads it otherwise"));
  editor.Select("Template2");
  EXPECT_TRUE(IsWindowEnabled(editor.PageControl(1125)));
  EXPECT_EQ(winui::Window(GetDlgItem(window, 1161)).Text(), "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text, StartsWith(FilePath() + "\n\n" + kCheckProblems + "\n\n"));
  const auto line = std::count(file.begin(), file.begin() + at, '\n') + 1;
  EXPECT_THAT(boxes[0].text, HasSubstr("\nline " + std::to_string(line) +
                                       ": Template1: the section has no \"SwitchID\""));
  EXPECT_THAT(boxes[0].text, HasSubstr(": Template0: the device reads \"SwitchID\" as "
                                       "dword:00000000, a load shows dword:00000009"));
  EXPECT_THAT(boxes[0].text, ::testing::EndsWith(kCheckAdvice));
}

// Opened from a CE build window (its environment holds _WINCEROOT), the
// editor reads the file as that build does: a template whose copies stand
// in both branches of an IF is an ordinary one, and the line under the
// buttons names the build.
TEST_F(EditorTest, ABuildWindowsEnvironmentNamesTheBuild) {
  const std::string key = std::string(kSectionPrefix) + "0]\r\n";
  WriteDriverFile("IF BSP_X\r\n" + key + "\"SwitchID\"=dword:1\r\nELSE\r\n" + key +
                  "\"SwitchID\"=dword:2\r\nENDIF\r\n");
  const struct {
    const char* environment;
    const char* item;
    const char* line;
  } rows[] = {{"", "0 Template0 *", "Every build configuration"},
              {"C:\\WINCE600", "0 Template0", "Build: the build window's (with BSP_X)"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    _putenv((std::string("_WINCEROOT=") + row.environment).c_str());
    _putenv(*row.environment != '\0' ? "BSP_X=1" : "BSP_X=");
    HWND window = nullptr;
    Answering(IDOK, [&] { window = OpenEditorWindow(); });
    const Editor editor(window);
    EXPECT_EQ(editor.Items()[2], row.item);
    EXPECT_EQ(winui::Window(GetDlgItem(window, 1160)).Text(), row.line);
    DestroyWindow(window);
  }
  _putenv("_WINCEROOT=");
  _putenv("BSP_X=");
}

// Another .reg file of the image that sets a template's key is named in a box
// posted by the walk of the image, which runs beside the window.
TEST_F(EditorTest, TheImagesOtherRegFilesAreToldAfterOpen) {
  WriteDriverFile(ReadFileBytes(std::string(ZUV_SOURCE_DIR) +
                                "/examples/Image/Public/Korvalent/Device_Drivers/USB8620/"
                                "USB8620.reg"));
  CreateDirectoryA((root_ + "Platform").c_str(), nullptr);
  WriteFileBytes(root_ + "Platform\\project.reg", "; the project's settings\r\n" +
                                                      std::string(kSectionPrefix) +
                                                      "2]\r\n\"SwitchID\"=dword:3\r\n");
  MessageBoxWatcher watcher(IDOK);
  const Editor editor = Open();
  for (DWORD start = GetTickCount(); watcher.Seen() == 0 && GetTickCount() - start < 10000;) {
    PumpMessages();
    Sleep(10);
  }
  const std::vector<MessageBoxSeen> boxes = watcher.Stop();
  ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
  EXPECT_THAT(boxes[0].text,
              StartsWith(FilePath() + "\n\nOther .reg files of the image set or delete this "
                                      "driver's template keys"));
  EXPECT_THAT(boxes[0].text, HasSubstr("project.reg: line 2: sets [" +
                                       std::string(kSectionPrefix + 1) + "2], template 2's key"));
  EXPECT_THAT(boxes[0].text,
              ::testing::EndsWith("\nTo change what the device reads, edit the template in the "
                                  "file named above, or remove its lines there so that this "
                                  "file's values reach the device. The tree marks with + the "
                                  "templates the device reads from another file."));
  // The template the device reads from there is marked, and says so.
  EXPECT_THAT(editor.Items(),
              ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0", "2 Template2 +"));
  editor.Select("Template2 +");
  EXPECT_EQ(winui::Window(GetDlgItem(editor.hwnd, 1161)).Text(),
            "+ The device reads Template2's \"SwitchID\" from Platform\\project.reg, line 3, not "
            "from this file: edit it there, or remove those lines.");
  EXPECT_TRUE(editor.Visible());
}

// A file with quirks the device reads past: a header in capitals, a value name
// in another letter case, DWORD in capitals. The editor shows every template
// the device reads, with the device's values, and an Add and Save changes
// none of them. (Needs the load that reads as the device does.)
TEST_F(EditorTest, AQuirksFileShowsWhatTheDeviceReadsAndSaveKeepsIt) {
  const std::string quirks =
      std::string(kFileHead) +
      "[HKEY_LOCAL_MACHINE\\DRIVERS\\USB\\CLIENTDRIVERS\\VOD8620_UZORE\\TEMPLATE0]\r\n"
      "\"SwitchID\"=dword:0\r\n\"ChanConfig\"=dword:0\r\n"
      "\"AOSettings 0\"=\"     0    10     0\"\r\n\"AOSettings 1\"=\"     0    10     0\"\r\n" +
      kSectionPrefix +
      "1]\r\n\"switchid\"=dword:1\r\n\"ChanConfig\"=dword:0\r\n"
      "\"AOSettings 0\"=\"     0    10     0\"\r\n\"AOSettings 1\"=\"     0    10     0\"\r\n" +
      kSectionPrefix +
      "2]\r\n\"SwitchID\"=dword:2\r\n\"ChanConfig\"=DWORD:3\r\n"
      "\"AOSettings 0\"=\"     0    10     0\"\r\n\"AOSettings 1\"=\"     0    10     0\"\r\n";
  WriteDriverFile(quirks);
  HWND window = nullptr;
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { window = OpenEditorWindow(); });
  // At most one box, in check's words.
  ASSERT_LE(boxes.size(), 1u);
  if (!boxes.empty()) {
    EXPECT_THAT(boxes[0].text, HasSubstr(kCheckProblems));
  }
  Editor editor(window);
  EXPECT_THAT(editor.Items(), ElementsAre("-1 DeviceTemplate", "-2 USB-8620A", "0 Template0",
                                          "1 Template1", "2 Template2"));
  editor.Select("Template2");
  SetFocus(editor.tree.Handle());
  PressKey(VK_TAB, {VK_CONTROL});  // the AI page
  EXPECT_EQ(editor.tab.GetCurSel(), 1);
  EXPECT_TRUE(editor.ChannelChecked(0));
  EXPECT_TRUE(editor.ChannelChecked(1));
  editor.add.Click();
  EXPECT_THAT(Answering(IDOK, [&] { editor.save.Click(); }), IsEmpty());
  // The three sections as they were, and the new one.
  EXPECT_EQ(FileBytes().substr(0, quirks.size()), quirks);
  EXPECT_NE(SectionIn(FileBytes(), 3), "");
}

// A Save that would write templates beside another driver's (a renamed copy
// of that driver's file) is refused with a box that names the template, the
// line and both keys.
TEST_F(EditorTest, ARefusedSaveNamesTheTemplateAndTheLine) {
  std::string file = DriverFileWith({0, 2});
  for (size_t at = 0; (at = file.find("VOD8620_", at)) != std::string::npos;) {
    file.replace(at, 8, "VOD8621_");
  }
  WriteDriverFile(file);
  HWND window = nullptr;
  EXPECT_EQ(Answering(IDOK, [&] { window = OpenEditorWindow(); }).size(), 1u);  // check's box
  Editor editor(window);
  editor.add.Click();
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] { editor.save.Click(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text,
              StartsWith("The templates could not be saved: the device would read the saved "
                         "file otherwise than this editor shows it (the lines below)."));
  EXPECT_THAT(boxes[0].text, HasSubstr("your changes are kept in the editor.\n\n" + FilePath()));
  EXPECT_THAT(boxes[0].text, HasSubstr("template 0's section is under the key ["));
  EXPECT_THAT(boxes[0].text, HasSubstr("VOD8621_Uzore\\Template0]"));
  EXPECT_THAT(boxes[0].text, HasSubstr("line "));
  EXPECT_EQ(FileBytes(), file);
}

// ---- The keyboard in the BoardID list and Alt+F4

// The arrows step past identifiers other templates use; a choice of a used
// one is still refused with the message.
TEST_F(EditorTest, ArrowsInTheBoardIdListPassUsedIdentifiers) {
  WriteDriverFile(DriverFileWith({0, 1, 2, 4}));
  Editor editor = Open();
  editor.Select("Template0");
  const HWND list = editor.PageControl(1125);
  ASSERT_NE(list, nullptr);
  SetFocus(list);
  auto shown = [&] { return static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0)); };
  std::vector<MessageBoxSeen> boxes = Answering(IDOK, [&] {
    PressKey(VK_DOWN);  // 1 and 2 are used: 3
    EXPECT_EQ(shown(), 3);
    PressKey(VK_DOWN);  // 4 is used: 5
    EXPECT_EQ(shown(), 5);
    PressKey(VK_UP);  // 4 is used: 3
    EXPECT_EQ(shown(), 3);
    PressKey(VK_UP);  // 2 and 1 are used: 0
    EXPECT_EQ(shown(), 0);
    PressKey(VK_UP);  // nothing above: stays
    EXPECT_EQ(shown(), 0);
    PressKey(VK_END);
    EXPECT_EQ(shown(), 15);
  });
  EXPECT_THAT(boxes, IsEmpty());
  EXPECT_TRUE(editor.save.IsEnabled());
  // A choice of a used identifier: the message, and the list goes back.
  EXPECT_THAT(Answering(IDOK, [&] { editor.ChooseBoardId(2); }),
              ElementsAre(MessageBoxSeen{kCaption, "SwitchID already used!", true}));
  EXPECT_EQ(shown(), 15);
  editor.save.Click();
  EXPECT_THAT(SectionIn(FileBytes(), 0), HasSubstr("\"SwitchID\"=dword:f\r\n"));
}

// Alt+F4, as the keyboard sends it (WM_SYSKEYDOWN with the Alt bit).
void PressAltF4() {
  HWND target = GetFocus();
  const UINT scan = MapVirtualKeyA(VK_F4, 0);
  PostMessageA(target, WM_SYSKEYDOWN, VK_F4, 1 | (scan << 16) | (1u << 29));
  PostMessageA(target, WM_SYSKEYUP, VK_F4, 1 | (scan << 16) | (1u << 29) | (3u << 30));
  PumpMessages();
}

TEST_F(EditorTest, AltF4ClosesFromTheTreeAndFromAPageAsCloseDoes) {
  WriteDriverFile(DriverFileWith({0}));
  Editor editor = Open();
  EXPECT_EQ(GetFocus(), editor.tree.Handle());  // where the editor opens
  EXPECT_THAT(Answering(IDCANCEL, [&] { PressAltF4(); }), IsEmpty());
  EXPECT_FALSE(editor.Visible());

  // With edits, from the BoardID list: Close's prompt first.
  DestroyWindow(editor.hwnd);
  PumpMessages();
  Editor again = Open();
  again.remove.Click();
  again.add.Click();
  SetFocus(again.PageControl(1125));
  ASSERT_NE(GetFocus(), nullptr);
  EXPECT_THAT(Answering(IDCANCEL, [&] { PressAltF4(); }), ElementsAre(kClosePrompt));
  EXPECT_FALSE(again.Visible());
}

}  // namespace
}  // namespace zuv::test

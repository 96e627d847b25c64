// The editor's tab pages as a user works them: the DLL opens the editor on a
// scratch driver file, the test picks templates in the tree and tabs as a
// click would, acts on the pages' controls with the messages a user's clicks
// produce, and checks the controls, the Save button (enabled exactly while
// there are unsaved edits), the message boxes and the file that Save writes.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "editor/ao_page.h"
#include "entry/driver_config.h"
#include "test_files.h"
#include "tests/window_test_util.h"
#include "winui/button.h"
#include "winui/combo_box.h"
#include "winui/list_view.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace zuv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kSectionPrefix[] =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";
const MessageBoxSeen kSwitchIdUsed{kEditorCaption, "SwitchID already used!", true};

enum Tab { kDevice = 0, kAi = 1, kAo = 2, kDio = 3, kCounter = 4 };

struct FileTemplate {
  int n;
  unsigned switchId;
  unsigned chanConfig = 0;
  const char* ao0 = "     0    10     0";
  const char* ao1 = "     0    10     0";
};

std::string DriverFile(const std::vector<FileTemplate>& templates) {
  std::string text =
      "; USB-8620A driver settings\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore]\r\n"
      "\"Dll\"=\"USB8620.dll\"\r\n\r\n";
  for (const FileTemplate& t : templates) {
    char values[200];
    std::snprintf(values, sizeof(values),
                  "]\r\n\"SwitchID\"=dword:%x\r\n\"ChanConfig\"=dword:%x\r\n"
                  "\"AOSettings 0\"=\"%s\"\r\n\"AOSettings 1\"=\"%s\"\r\n",
                  t.switchId, t.chanConfig, t.ao0, t.ao1);
    text += kSectionPrefix + std::to_string(t.n) + values;
  }
  return text;
}

// What follows "name"= in section n of the file, up to the line's end.
std::string ValueIn(const std::string& file, int n, const std::string& name) {
  size_t section = file.find(kSectionPrefix + std::to_string(n) + "]");
  if (section == std::string::npos) return "(no section)";
  size_t end = file.find("\n[", section);
  size_t line = file.find("\"" + name + "\"=", section);
  if (line == std::string::npos || line > end) return "(no value)";
  line += name.size() + 3;
  return file.substr(line, file.find('\r', line) - line);
}

BOOL CALLBACK CollectPage(HWND hwnd, LPARAM lParam) {
  auto* pages = reinterpret_cast<std::vector<HWND>*>(lParam);
  if (ClassOf(hwnd) == "#32770" && GetParent(hwnd) == GetParent(pages->front())) {
    pages->push_back(hwnd);
  }
  return TRUE;
}

// The editor and its pages, found by control IDs as any program could.
struct Editor {
  explicit Editor(HWND window)
      : hwnd(window),
        tree(GetDlgItem(window, 1123)),
        tab(GetDlgItem(window, 1077)),
        save(GetDlgItem(window, IDOK)),
        close(GetDlgItem(window, IDCANCEL)) {
    // The pages are the editor's child dialogs.
    std::vector<HWND> children{GetDlgItem(window, 1077)};
    EnumChildWindows(window, &CollectPage, reinterpret_cast<LPARAM>(&children));
    for (size_t i = 1; i < children.size(); ++i) {
      HWND page = children[i];
      if (GetDlgItem(page, 1125)) device = page;
      else if (GetDlgItem(page, 1126)) ai = page;
      else if (GetDlgItem(page, 1150)) ao = page;
      else noConfig.push_back(page);
    }
    boardId.Attach(GetDlgItem(device, 1125));
    channels.Attach(GetDlgItem(ai, 1126));
    setAllDifferential.Attach(GetDlgItem(ai, 1127));
    setAllSingleEnded.Attach(GetDlgItem(ai, 1128));
    range0.Attach(GetDlgItem(ao, 1150));
    range1.Attach(GetDlgItem(ao, 1151));
  }

  // The item with this text among `item`, its siblings after it and their
  // descendants.
  HTREEITEM Find(const std::string& text, HTREEITEM item) const {
    for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
      if (tree.GetItemText(item) == text) return item;
      if (HTREEITEM child = Find(text, tree.GetChildItem(item))) return child;
    }
    return nullptr;
  }
  // A click on a tree item.
  void Select(const std::string& text) const {
    HTREEITEM item = Find(text, tree.GetRootItem());
    ASSERT_NE(item, nullptr) << text;
    tree.SelectItem(item);
  }
  // A click on a tab: the control changes its selection, then tells the editor.
  void SelectTab(int index) const {
    tab.SetCurSel(index);
    NMHDR header = {tab.Handle(), 1077, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(hwnd, WM_NOTIFY, 1077, reinterpret_cast<LPARAM>(&header));
  }
  // A choice in a drop-down list: the selection, then CBN_SELCHANGE to the page.
  static void Choose(const winui::ComboBox& list, int index) {
    list.SetCurSel(index);
    int id = GetDlgCtrlID(list.Handle());
    SendMessageA(GetParent(list.Handle()), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list.Handle()));
  }
  // A click on a row's check box (the list view notifies the page itself).
  void Check(int row, bool checked) const { channels.SetCheck(row, checked); }

  std::vector<HWND> VisiblePages() const {
    std::vector<HWND> visible;
    for (HWND page : {device, ai, ao}) {
      if (IsWindowVisible(page)) visible.push_back(page);
    }
    for (HWND page : noConfig) {
      if (IsWindowVisible(page)) visible.push_back(page);
    }
    return visible;
  }
  // Rows 0 to 15 as the user sees them: "x" for a checked box, then the text.
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int n = 0; n < channels.GetItemCount(); ++n) {
      rows.push_back((channels.GetCheck(n) ? "x " : "- ") + channels.GetItemText(n, 0) + " " +
                     channels.GetItemText(n, 1));
    }
    return rows;
  }
  // The checked rows, as a mask.
  unsigned CheckedMask() const {
    unsigned mask = 0;
    for (int n = 0; n < 16; ++n) mask |= channels.GetCheck(n) ? 1u << n : 0u;
    return mask;
  }

  HWND hwnd;
  winui::TreeView tree;
  winui::TabControl tab;
  winui::Button save, close;
  HWND device = nullptr, ai = nullptr, ao = nullptr;
  std::vector<HWND> noConfig;
  winui::ComboBox boardId, range0, range1;
  winui::ListView channels;
  winui::Button setAllDifferential, setAllSingleEnded;
};

class PagesTest : public HostedEditorTest {
 protected:
  Editor Open(const std::vector<FileTemplate>& templates) {
    WriteFileBytes(FilePath(), DriverFile(templates));
    // A file with values `check` reports (unequal bits of a pair, a range
    // that matches none) gets its box at open, answered here.
    HWND window = nullptr;
    openBoxes_ = Boxes([&] { window = OpenEditorWindow(); });
    Editor editor(window);
    EXPECT_NE(editor.device, nullptr);
    EXPECT_NE(editor.ai, nullptr);
    EXPECT_NE(editor.ao, nullptr);
    EXPECT_EQ(editor.noConfig.size(), 2u);
    return editor;
  }

  // Runs `action` with a watcher answering OK; the boxes it saw.
  template <typename Action>
  std::vector<MessageBoxSeen> Boxes(Action action) {
    MessageBoxWatcher watcher(IDOK);
    action();
    PumpMessages();
    return watcher.Stop();
  }

  // The boxes of the last Open.
  std::vector<MessageBoxSeen> openBoxes_;
};

// ---- Placement: one page, that of the current tab, while a template is selected

TEST_F(PagesTest, ShowsThePageOfTheCurrentTabOnlyWhileATemplateIsSelected) {
  Editor editor = Open({{0, 0}, {2, 1}});
  EXPECT_THAT(editor.VisiblePages(), ElementsAre(editor.device));
  editor.SelectTab(kAi);
  EXPECT_THAT(editor.VisiblePages(), ElementsAre(editor.ai));
  editor.Select("USB-8620A");
  EXPECT_THAT(editor.VisiblePages(), IsEmpty());
  editor.SelectTab(kAo);
  EXPECT_THAT(editor.VisiblePages(), IsEmpty());
  editor.Select("Template2");
  EXPECT_THAT(editor.VisiblePages(), ElementsAre(editor.ao));

  // Each page lies over the tab control's client area, below the tab headers
  // and inside the frame of the tab's body, at any DPI.
  RECT tabArea, body, page;
  GetClientRect(editor.tab.Handle(), &tabArea);
  body = tabArea;
  TabCtrl_AdjustRect(editor.tab.Handle(), FALSE, &body);
  GetWindowRect(editor.ao, &page);
  MapWindowPoints(nullptr, editor.tab.Handle(), reinterpret_cast<POINT*>(&page), 2);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(page.left, tabArea.left + MulDiv(5, dpi, 96));
  EXPECT_EQ(page.top, tabArea.top + MulDiv(25, dpi, 96));
  EXPECT_GE(page.top, body.top) << dpi << " DPI";
  for (HWND shown : {editor.device, editor.ai, editor.ao}) {
    GetWindowRect(shown, &page);
    MapWindowPoints(nullptr, editor.tab.Handle(), reinterpret_cast<POINT*>(&page), 2);
    EXPECT_LE(page.bottom, body.bottom) << dpi << " DPI";
    EXPECT_LE(page.right, body.right) << dpi << " DPI";
  }
}

// The colour painted at a point of `window`'s client area.
COLORREF ScreenColour(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

TEST_F(PagesTest, EveryPageShowsInTheColourOfTheTabBody) {
  Editor editor = Open({{0, 0}});
  // The body below the pages, just inside the tab control's frame.
  RECT body;
  GetClientRect(editor.tab.Handle(), &body);
  TabCtrl_AdjustRect(editor.tab.Handle(), FALSE, &body);
  for (int tab : {kDevice, kAi, kAo, kDio, kCounter}) {
    editor.SelectTab(tab);
    RedrawWindow(editor.hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HWND page = editor.VisiblePages().at(0);
    // A blank spot in the page's top left corner.
    EXPECT_EQ(ScreenColour(page, 2, 2),
              ScreenColour(editor.tab.Handle(), body.left + 1, body.bottom - 2))
        << "tab " << tab;
  }
}

// A repaint of the tab control alone leaves the page over it drawn.
TEST_F(PagesTest, ThePageStaysDrawnWhenTheTabControlRepaints) {
  Editor editor = Open({{0, 0}});
  RedrawWindow(editor.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT page;
  GetWindowRect(editor.device, &page);
  HDC screen = GetDC(nullptr);
  const COLORREF before = GetPixel(screen, page.left + 2, page.bottom - 3);
  InvalidateRect(editor.tab.Handle(), nullptr, TRUE);
  UpdateWindow(editor.tab.Handle());
  EXPECT_EQ(GetPixel(screen, page.left + 2, page.bottom - 3), before);
  ReleaseDC(nullptr, screen);
}

// ---- Keyboard: Ctrl+Tab and Ctrl+PageDown to the next tab, with Shift or
// Ctrl+PageUp to the previous one, wherever the focus is in the editor

TEST_F(PagesTest, CtrlTabAndCtrlPageKeysCycleThroughTheTabs) {
  Editor editor = Open({{0, 0}});
  struct Step {
    UINT key;
    std::initializer_list<UINT> held;
    int tab;
  };
  // DIO and Counter: one of the two pages that need no settings.
  const std::vector<::testing::Matcher<HWND>> pageOfTab = {
      editor.device, editor.ai, editor.ao, ::testing::AnyOfArray(editor.noConfig),
      ::testing::AnyOfArray(editor.noConfig)};
  for (const Step& step : {Step{VK_TAB, {VK_CONTROL}, kAi}, Step{VK_NEXT, {VK_CONTROL}, kAo},
                           Step{VK_TAB, {VK_CONTROL, VK_SHIFT}, kAi},
                           Step{VK_PRIOR, {VK_CONTROL}, kDevice},
                           Step{VK_PRIOR, {VK_CONTROL}, kCounter},
                           Step{VK_NEXT, {VK_CONTROL}, kDevice}}) {
    PressKey(step.key, step.held);
    EXPECT_EQ(editor.tab.GetCurSel(), step.tab);
    EXPECT_THAT(editor.VisiblePages(), ElementsAre(pageOfTab[step.tab]));
    EXPECT_EQ(GetFocus(), editor.tree.Handle());
  }
  // From a control of the page: the focus goes to the tab row, as the page
  // it was on is hidden.
  SetFocus(editor.boardId.Handle());
  PressKey(VK_TAB, {VK_CONTROL});
  EXPECT_EQ(editor.tab.GetCurSel(), kAi);
  EXPECT_EQ(GetFocus(), editor.tab.Handle());
  EXPECT_FALSE(editor.save.IsEnabled());
}

// ---- Device page

TEST_F(PagesTest, DevicePageShowsTheModuleAndTheIdentifiersInNumericOrder) {
  Editor editor = Open({{0, 0}});
  ASSERT_EQ(editor.boardId.GetCount(), 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(editor.boardId.GetItemText(i), std::to_string(i));
  EXPECT_EQ(TextOf(GetDlgItem(editor.device, 1142)), "USB-8620A");
  EXPECT_EQ(TextOf(GetDlgItem(editor.device, 1141)),
            "150 kS/s 12-bit Multifunction USB Module USB Module\n\n*Portable\n*Bus-powered\n"
            "*16-channel Single-Ended / 8-channel Differential A/D Input\n"
            "*12-bit A/D converter, up to 150 KHz sampling rate\n"
            "*8DI/8DO, 2 AO and 1 32-bit counter");

  // The picture: the page's bitmap control holds the 182 x 115 bitmap at
  // 96 DPI, as much larger as the screen's DPI, and all of it shows above
  // the description.
  HWND picture = nullptr;
  for (HWND child = GetWindow(editor.device, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) picture = child;
  }
  ASSERT_NE(picture, nullptr);
  HBITMAP bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP info = {};
  ASSERT_NE(GetObjectA(bitmap, sizeof(info), &info), 0);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(info.bmWidth, MulDiv(182, dpi, 96)) << dpi << " DPI";
  EXPECT_EQ(info.bmHeight, MulDiv(115, dpi, 96)) << dpi << " DPI";
  RECT shown, description, page;
  GetWindowRect(picture, &shown);
  GetWindowRect(GetDlgItem(editor.device, 1141), &description);
  GetWindowRect(editor.device, &page);
  EXPECT_EQ(shown.right - shown.left, info.bmWidth);
  EXPECT_EQ(shown.bottom - shown.top, info.bmHeight);
  EXPECT_LT(shown.bottom, description.top);
  EXPECT_LT(shown.right, page.right);
}

struct BoardIdCase {
  const char* name;
  unsigned fileId;          // SwitchID of Template2 in the file; 0 and 1 are taken
  int choice;
  bool refused;
  int shownAfter;           // the list's selection afterwards
  const char* saved;        // SwitchID of Template2 after Save; null: not modified
};

class BoardIdChoice : public PagesTest, public ::testing::WithParamInterface<BoardIdCase> {};

TEST_P(BoardIdChoice, TakesAFreeIdentifierAndRefusesATakenOne) {
  const BoardIdCase& c = GetParam();
  Editor editor = Open({{0, 0}, {1, 1}, {2, c.fileId}});
  editor.Select("Template2");
  EXPECT_EQ(editor.boardId.GetCurSel(), c.fileId < 16 ? static_cast<int>(c.fileId) : -1);

  std::vector<MessageBoxSeen> boxes = Boxes([&] { Editor::Choose(editor.boardId, c.choice); });
  if (c.refused) {
    EXPECT_THAT(boxes, ElementsAre(kSwitchIdUsed));
  } else {
    EXPECT_THAT(boxes, IsEmpty());
  }
  EXPECT_EQ(editor.boardId.GetCurSel(), c.shownAfter);
  EXPECT_EQ(editor.save.IsEnabled(), c.saved != nullptr);
  if (c.saved == nullptr) return;

  editor.save.Click();
  EXPECT_EQ(ValueIn(FileBytes(), 2, "SwitchID"), c.saved);
  EXPECT_EQ(ValueIn(FileBytes(), 1, "SwitchID"), "dword:1");
  EXPECT_FALSE(editor.save.IsEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, BoardIdChoice,
    ::testing::Values(BoardIdCase{"TakenIsRefused", 2, 1, true, 2, nullptr},
                      BoardIdCase{"FreeIsTaken", 2, 15, false, 15, "dword:f"},
                      BoardIdCase{"OwnAgainIsAnEdit", 2, 2, false, 2, "dword:2"},
                      BoardIdCase{"From20TakenIsRefused", 20, 0, true, -1, nullptr},
                      BoardIdCase{"From20FreeIsTaken", 20, 3, false, 3, "dword:3"}),
    [](const ::testing::TestParamInfo<BoardIdCase>& info) { return info.param.name; });

// ---- AI page

TEST_F(PagesTest, AiPageShowsTheMaskWithoutChangingIt) {
  Editor editor = Open({{0, 0, 0x30}, {1, 1, 0xC003}});
  editor.SelectTab(kAi);
  std::vector<std::string> rows = editor.Rows();
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[0], "- Channel0 Single-Ended");
  EXPECT_EQ(rows[4], "x Channel4 Differential");
  EXPECT_EQ(rows[5], "x Channel5 Differential");
  EXPECT_EQ(rows[15], "- Channel15 Single-Ended");
  EXPECT_EQ(editor.CheckedMask(), 0x30u);

  // The longest text of each column fits it, at any DPI.
  for (const auto& [column, text] : {std::pair<int, const char*>{0, "Channel15"},
                                     {1, "Single-Ended"}, {1, "Differential"}}) {
    RECT cell = {};
    cell.left = LVIR_LABEL;
    cell.top = column;
    SendMessageA(editor.channels.Handle(), LVM_GETSUBITEMRECT, 15, reinterpret_cast<LPARAM>(&cell));
    LRESULT needed = SendMessageA(editor.channels.Handle(), LVM_GETSTRINGWIDTHA, 0,
                                  reinterpret_cast<LPARAM>(text));
    EXPECT_GE(cell.right - cell.left, needed + 4) << text;
  }

  // Another template re-binds the rows.
  editor.Select("Template1");
  EXPECT_EQ(editor.CheckedMask(), 0xC003u);
  EXPECT_EQ(editor.Rows()[1], "x Channel1 Differential");
  EXPECT_EQ(editor.Rows()[4], "- Channel4 Single-Ended");

  // Selecting and focusing a row is no edit.
  editor.channels.SetItemState(7, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_FALSE(editor.save.IsEnabled());
}

struct AiCase {
  const char* name;
  unsigned fileMask;
  void (*act)(const Editor& editor);
  unsigned checked;    // rows checked afterwards
  const char* saved;   // ChanConfig after Save
};

class AiEdit : public PagesTest, public ::testing::WithParamInterface<AiCase> {};

TEST_P(AiEdit, ChangesBothChannelsOfAPairOrTheWholeMask) {
  const AiCase& c = GetParam();
  Editor editor = Open({{0, 0, c.fileMask}});
  editor.SelectTab(kAi);
  EXPECT_FALSE(editor.save.IsEnabled());
  c.act(editor);
  EXPECT_EQ(editor.CheckedMask(), c.checked);
  for (int n = 0; n < 16; ++n) {
    EXPECT_EQ(editor.channels.GetItemText(n, 1),
              (c.checked >> n) & 1 ? "Differential" : "Single-Ended")
        << "row " << n;
  }
  EXPECT_TRUE(editor.save.IsEnabled());
  editor.save.Click();
  EXPECT_EQ(ValueIn(FileBytes(), 0, "ChanConfig"), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, AiEdit,
    ::testing::Values(
        AiCase{"CheckRow5", 0, [](const Editor& e) { e.Check(5, true); }, 0x30, "dword:30"},
        AiCase{"CheckRow4KeepsOtherBits", 0x30003,
               [](const Editor& e) { e.Check(4, true); }, 0x33, "dword:30033"},
        AiCase{"UncheckRow0", 3, [](const Editor& e) { e.Check(0, false); }, 0, "dword:0"},
        AiCase{"SetAllDifferentialDropsHighBits", 0x10003,
               [](const Editor& e) { e.setAllDifferential.Click(); }, 0xFFFF, "dword:ffff"},
        AiCase{"SetAllDifferentialAgainIsAnEdit", 0xFFFF,
               [](const Editor& e) { e.setAllDifferential.Click(); }, 0xFFFF, "dword:ffff"},
        AiCase{"SetAllSingleEnded", 0xFFFF0F0F,
               [](const Editor& e) { e.setAllSingleEnded.Click(); }, 0, "dword:0"}),
    [](const ::testing::TestParamInfo<AiCase>& info) { return info.param.name; });

TEST_F(PagesTest, AiPageMakesAPairWithUnequalBitsWholeWhenShown) {
  // Bit 0 without bit 1, and bit 3 without bit 2: on rows that start
  // unchecked, the row whose check really changes decides its pair.
  Editor editor = Open({{0, 0, 0x9}});
  EXPECT_FALSE(editor.save.IsEnabled());
  editor.SelectTab(kAi);
  EXPECT_EQ(editor.CheckedMask(), 0xFu);
  EXPECT_EQ(editor.Rows()[1], "x Channel1 Differential");
  EXPECT_EQ(editor.Rows()[2], "x Channel2 Differential");
  EXPECT_TRUE(editor.save.IsEnabled());
  editor.save.Click();
  EXPECT_EQ(ValueIn(FileBytes(), 0, "ChanConfig"), "dword:f");
}

// ---- AO page

TEST_F(PagesTest, AoPageShowsTheRangesAndFallsBackWithoutChangingTheTemplate) {
  Editor editor = Open({{0, 0, 0, "     7    10     0", "     0    10    -5"},
                        {1, 1, 0, "     0     5    -5", "     0    10   -10"}});
  editor.SelectTab(kAo);
  ASSERT_EQ(editor.range0.GetCount(), 4);
  std::vector<std::string> labels;
  for (int i = 0; i < 4; ++i) labels.push_back(editor.range0.GetItemText(i));
  EXPECT_THAT(labels, ElementsAre("0 ~ 5V", "0 ~ 10V", "-5 ~ 5V", "-10 ~ 10V"));
  EXPECT_EQ(editor.range1.GetItemText(3), "-10 ~ 10V");

  // 10 and -5 is no range of the list: "-10 ~ 10V" is shown.
  EXPECT_EQ(editor.range0.GetCurSel(), 1);
  EXPECT_EQ(editor.range1.GetCurSel(), 3);
  editor.Select("Template1");
  EXPECT_EQ(editor.range0.GetCurSel(), 2);
  EXPECT_EQ(editor.range1.GetCurSel(), 3);
  EXPECT_FALSE(editor.save.IsEnabled());

  // Choosing the range already shown is an edit too.
  Editor::Choose(editor.range1, 3);
  EXPECT_TRUE(editor.save.IsEnabled());

  // An edit of channel 0 of Template0: its Code stays, channel 1 is written
  // back as it was read.
  editor.Select("Template0");
  Editor::Choose(editor.range0, 2);
  EXPECT_TRUE(editor.save.IsEnabled());
  editor.save.Click();
  std::string file = FileBytes();
  EXPECT_EQ(ValueIn(file, 0, "AOSettings 0"), "\"     7     5    -5\"");
  EXPECT_EQ(ValueIn(file, 0, "AOSettings 1"), "\"     0    10    -5\"");
  EXPECT_EQ(ValueIn(file, 1, "AOSettings 0"), "\"     0     5    -5\"");
  EXPECT_EQ(ValueIn(file, 1, "AOSettings 1"), "\"     0    10   -10\"");
}

// ---- Drop-down lists: opened, each shows its whole list, the board
// identifiers at least eight at a time; closed, each is one line high

TEST_F(PagesTest, DropDownListsShowTheirItemsWhenOpened) {
  Editor editor = Open({{0, 0}});
  struct {
    const char* name;
    int tab;
    const winui::ComboBox& list;
    int shown;
  } cases[] = {{"BoardID", kDevice, editor.boardId, 8},
               {"AO channel 0", kAo, editor.range0, 4},
               {"AO channel 1", kAo, editor.range1, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    editor.SelectTab(c.tab);
    HWND combo = c.list.Handle();
    RECT closed;
    GetWindowRect(combo, &closed);
    SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    EXPECT_TRUE(IsWindowVisible(info.hwndList));
    int itemHeight = static_cast<int>(SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0));
    RECT dropped, shown;
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    GetClientRect(info.hwndList, &shown);
    EXPECT_GE(dropped.bottom - dropped.top, itemHeight * c.shown);
    EXPECT_GE(shown.bottom, itemHeight * c.shown);
    // The closed control keeps one line's height.
    EXPECT_LT(closed.bottom - closed.top, 2 * itemHeight);
    SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
  }
}

// ---- A page without the editor: a host of the test's own gives the table
// and the selected record, and counts the edits.

struct TestHost : PageHost {
  TemplateTable& Templates() override { return table; }
  DeviceTemplate* SelectedTemplate() override { return selected; }
  void MarkModified() override { ++edits; }
  TemplateTable table;
  DeviceTemplate* selected = nullptr;
  int edits = 0;
};

TEST(PageWithoutEditor, AoPageShowsAndEditsItsHostsSelectedRecord) {
  TestHost host;
  host.table[3] = {1, 3, 0, {kDefaultAoSetting, {9, 10, -10}}};
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                nullptr, nullptr);
  AoPage page(host);
  ASSERT_TRUE(page.CreatePage(parent));
  winui::ComboBox range1(GetDlgItem(page.Handle(), 1151));
  page.Refresh();  // nothing selected: the list stays as it is
  EXPECT_EQ(range1.GetCurSel(), -1);
  Editor::Choose(range1, 2);  // nothing selected: no edit
  EXPECT_EQ(host.edits, 0);
  host.selected = &host.table[3];
  page.Refresh();
  EXPECT_EQ(range1.GetCurSel(), 3);
  Editor::Choose(range1, 0);
  EXPECT_EQ(host.edits, 1);
  EXPECT_EQ(host.table[3].AOSettings[1].Code, 9u);
  EXPECT_EQ(host.table[3].AOSettings[1].RefHigh, 5.0f);
  EXPECT_EQ(host.table[3].AOSettings[1].RefLow, 0.0f);
  DestroyWindow(parent);
}

// ---- DIO and Counter

TEST_F(PagesTest, DioAndCounterPagesShowTheirNoteAndChangeNothing) {
  Editor editor = Open({{0, 0, 0x9, "     0    10    -5"}});
  const std::string before = FileBytes();
  std::vector<HWND> shown;
  for (int tab : {kDio, kCounter}) {
    editor.SelectTab(tab);
    std::vector<HWND> visible = editor.VisiblePages();
    ASSERT_EQ(visible.size(), 1u);
    EXPECT_EQ(TextOf(GetWindow(visible[0], GW_CHILD)), "No Configuration Needed");
    shown.push_back(visible[0]);
  }
  // Two separate pages.
  EXPECT_NE(shown[0], shown[1]);
  EXPECT_FALSE(editor.save.IsEnabled());
  EXPECT_THAT(Boxes([&] { editor.close.Click(); }), IsEmpty());
  EXPECT_EQ(FileBytes(), before);
}

}  // namespace
}  // namespace zuv::test

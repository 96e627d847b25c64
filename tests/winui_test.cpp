// The dialog layer against the real dialog manager and common controls:
// routing by the message map, which control calls notify synchronously, the
// lifetime of a self-deleting dialog, and keyboard routing under a host loop
// that knows nothing of the dialog.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/window_test_util.h"
#include "winui/bitmap.h"
#include "winui/button.h"
#include "winui/combo_box.h"
#include "winui/dialog.h"
#include "winui/list_view.h"
#include "winui/module.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace zuv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr UINT kTestDialog = 100;
constexpr int kApply = 1001, kTree = 1002, kCombo = 1003, kList = 1004, kTab = 1005;

// Logs what reaches its handlers. OnOK is overridden, OnCancel is not.
class LoggingDialog : public winui::Dialog {
 public:
  explicit LoggingDialog(std::vector<std::string>* log, int* deleted = nullptr)
      : winui::Dialog(kTestDialog, nullptr), log_(log), deleted_(deleted) {}
  ~LoggingDialog() override {
    if (deleted_ != nullptr) ++*deleted_;
  }

  winui::TreeView tree;
  winui::ComboBox combo;
  winui::ListView list;
  winui::TabControl tab;
  bool selfDeleting = false;
  bool throwOnApply = false;

 protected:
  void DoDataExchange() override {
    BindControl(tree, kTree);
    BindControl(combo, kCombo);
    BindControl(list, kList);
    BindControl(tab, kTab);
  }
  void OnOK() override { log_->push_back("OnOK"); }
  void PostNcDestroy() override {
    log_->push_back(Handle() == nullptr ? "PostNcDestroy detached" : "PostNcDestroy attached");
    if (selfDeleting) delete this;
  }
  void OnApply() {
    if (throwOnApply) throw std::runtime_error("handler failed");
    log_->push_back("OnApply");
  }
  void OnTreeSelchanged(NMHDR*, LRESULT* result) {
    log_->push_back("TVN_SELCHANGED");
    *result = 0;
  }
  void OnListItemchanged(NMHDR*, LRESULT*) { log_->push_back("LVN_ITEMCHANGED"); }
  void OnComboSelchange() { log_->push_back("CBN_SELCHANGE"); }
  void OnTabSelchange(NMHDR*, LRESULT*) { log_->push_back("TCN_SELCHANGE"); }
  void OnDestroy() { log_->push_back("WM_DESTROY"); }

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  std::vector<std::string>* log_;
  int* deleted_;
};

WINUI_BEGIN_MESSAGE_MAP(LoggingDialog, winui::Dialog)
  WINUI_ON_COMMAND(BN_CLICKED, kApply, OnApply)
  WINUI_ON_COMMAND(CBN_SELCHANGE, kCombo, OnComboSelchange)
  WINUI_ON_NOTIFY(TVN_SELCHANGEDA, kTree, OnTreeSelchanged)
  WINUI_ON_NOTIFY(LVN_ITEMCHANGED, kList, OnListItemchanged)
  WINUI_ON_NOTIFY(TCN_SELCHANGE, kTab, OnTabSelchange)
  WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)
WINUI_END_MESSAGE_MAP()

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winui::InitCommonControls(ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES);
    ASSERT_TRUE(dialog.Create());
    log.clear();
  }
  void TearDown() override {
    if (dialog.Handle() != nullptr) DestroyWindow(dialog.Handle());
  }
  void Command(int id, int code) {
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog.Handle(), id)));
  }

  std::vector<std::string> log;
  LoggingDialog dialog{&log};
};

struct CommandCase {
  int id;
  int code;
  std::vector<std::string> log;
  bool visibleAfter;
};

TEST_F(DialogTest, CommandsGoToTheHandlerOfTheirIdAndCode) {
  const CommandCase cases[] = {
      {kApply, BN_CLICKED, {"OnApply"}, true},
      {kApply, BN_DOUBLECLICKED, {}, true},  // another code: not mapped
      {IDOK, BN_CLICKED, {"OnOK"}, true},    // the override
      {IDCANCEL, BN_CLICKED, {}, false},     // the base: ends (hides) the dialog
  };
  for (const CommandCase& c : cases) {
    log.clear();
    ShowWindow(dialog.Handle(), SW_SHOW);
    Command(c.id, c.code);
    EXPECT_EQ(log, c.log) << "control " << c.id << " code " << c.code;
    EXPECT_EQ(dialog.IsVisible(), c.visibleAfter) << "control " << c.id;
    EXPECT_TRUE(IsWindow(dialog.Handle()));
  }
}

TEST_F(DialogTest, ButtonClickReachesTheMap) {
  winui::Button(GetDlgItem(dialog.Handle(), kApply)).Click();
  EXPECT_THAT(log, ElementsAre("OnApply"));
}

TEST_F(DialogTest, AnExceptionInAHandlerStaysInTheDialogProcedure) {
  dialog.throwOnApply = true;
  Command(kApply, BN_CLICKED);
  dialog.throwOnApply = false;
  Command(kApply, BN_CLICKED);
  EXPECT_THAT(log, ElementsAre("OnApply"));
}

TEST_F(DialogTest, TreeSelectionAndListStateNotifyInsideTheCall) {
  HTREEITEM first = dialog.tree.InsertItem("first", 7);
  HTREEITEM second = dialog.tree.InsertItem("second", 8);
  EXPECT_EQ(dialog.tree.GetItemData(second), 8);
  EXPECT_EQ(dialog.tree.GetItemText(first), "first");
  dialog.tree.SelectItem(second);
  log.push_back("returned");
  EXPECT_EQ(dialog.tree.GetSelectedItem(), second);
  EXPECT_THAT(log, ElementsAre("TVN_SELCHANGED", "returned"));

  dialog.list.SetExtendedStyle(0, LVS_EX_CHECKBOXES);
  dialog.list.InsertColumn(0, "Channel", LVCFMT_LEFT, 80, 0);
  ASSERT_EQ(dialog.list.InsertItem(0, "Channel0"), 0);
  log.clear();
  dialog.list.SetCheck(0, true);
  log.push_back("returned");
  EXPECT_TRUE(dialog.list.GetCheck(0));
  EXPECT_THAT(log, ElementsAre("LVN_ITEMCHANGED", "returned"));
}

TEST_F(DialogTest, ComboAndTabSelectionBySoftwareDoNotNotify) {
  dialog.combo.AddString("9");
  dialog.combo.AddString("10");
  dialog.tab.InsertItem(0, "Device");
  dialog.tab.InsertItem(1, "AI");
  log.clear();
  EXPECT_EQ(dialog.combo.SetCurSel(1), 1);
  EXPECT_EQ(dialog.tab.SetCurSel(1), 0);
  EXPECT_THAT(log, IsEmpty());
  EXPECT_EQ(dialog.combo.GetItemText(dialog.combo.GetCurSel()), "10");
  EXPECT_EQ(dialog.tab.GetItemText(dialog.tab.GetCurSel()), "AI");
}

TEST(DialogLifetime, ASelfDeletingDialogGoesAfterItsWindowLetGoOfIt) {
  std::vector<std::string> log;
  int deleted = 0;
  auto* dialog = new LoggingDialog(&log, &deleted);
  dialog->selfDeleting = true;
  ASSERT_TRUE(dialog->Create());
  HWND hwnd = dialog->Handle();
  log.clear();
  DestroyWindow(hwnd);
  EXPECT_THAT(log, ElementsAre("WM_DESTROY", "PostNcDestroy detached"));
  EXPECT_EQ(deleted, 1);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(DialogLifetime, CreateFailsForATemplateTheModuleLacks) {
  winui::Dialog missing(4321, nullptr);
  EXPECT_FALSE(missing.Create());
  EXPECT_EQ(missing.Handle(), nullptr);
}

TEST_F(DialogTest, KeyboardReachesTheDialogManagerUnderAPlainLoop) {
  ShowWindow(dialog.Handle(), SW_SHOW);
  HWND apply = GetDlgItem(dialog.Handle(), kApply);
  SetFocus(dialog.tree.Handle());
  PressKey(VK_TAB);  // tree -> combo box
  EXPECT_EQ(GetFocus(), dialog.combo.Handle());
  SetFocus(apply);
  PressKey(VK_RIGHT);  // Apply -> OK within the group
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog.Handle(), IDOK));
  PressKey(VK_ESCAPE);  // IDCANCEL: the base OnCancel hides the dialog
  EXPECT_FALSE(dialog.IsVisible());
  EXPECT_THAT(log, IsEmpty());
}

// A one-row bitmap of grey levels, scaled; the grey levels of the result.
std::vector<int> ScaledGreys(const std::vector<int>& greys, int width) {
  std::vector<uint32_t> pixels;
  for (int grey : greys) pixels.push_back(static_cast<uint32_t>(grey * 0x010101));
  HBITMAP source = CreateBitmap(static_cast<int>(greys.size()), 1, 1, 32, pixels.data());
  HBITMAP scaled = winui::ScaleBitmap(source, width, 1);
  DeleteObject(source);
  DIBSECTION section = {};
  if (scaled == nullptr || GetObjectA(scaled, sizeof(section), &section) == 0) return {};
  std::vector<int> result;
  EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
  const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
  for (int x = 0; x < width; ++x) result.push_back(bits[x * 3]);
  DeleteObject(scaled);
  return result;
}

TEST(ScaleBitmap, EachPixelIsTheMeanOfTheAreaItCovers) {
  EXPECT_THAT(ScaledGreys({0, 200, 100, 50}, 4), ElementsAre(0, 200, 100, 50));
  EXPECT_THAT(ScaledGreys({0, 200, 100, 50}, 2), ElementsAre(100, 75));
  // 1.5 source pixels a pixel: the middle one is shared.
  EXPECT_THAT(ScaledGreys({0, 90, 255}, 2), ElementsAre(30, 200));
  EXPECT_THAT(ScaledGreys({60}, 3), ElementsAre(60, 60, 60));
  EXPECT_EQ(winui::ScaleBitmap(nullptr, 2, 2), nullptr);
}

TEST(Module, NameAndResourcesComeFromTheModuleOfTheCode) {
  EXPECT_EQ(winui::ResourceModule(), GetModuleHandleA(nullptr));
  EXPECT_STREQ(winui::ModuleName(), "winui_test");
}

}  // namespace
}  // namespace zuv::test

#include "tests/window_test_util.h"

#include <algorithm>
#include <chrono>

namespace zuv::test {
namespace {

constexpr int kTemplateTreeId = 1123;

struct Search {
  std::string caption;
  std::string className;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lParam) {
  Search& search = *reinterpret_cast<Search*>(lParam);
  if (search.visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
  if (!search.className.empty() && ClassOf(hwnd) != search.className) return TRUE;
  if (!search.caption.empty() && TextOf(hwnd) != search.caption) return TRUE;
  // A box has the editor's caption too; an editor has the template tree.
  if (search.caption == kEditorCaption && GetDlgItem(hwnd, kTemplateTreeId) == nullptr) {
    return TRUE;
  }
  search.found.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD thread, const std::string& caption,
                                const std::string& className, bool visibleOnly) {
  Search search{caption, className, visibleOnly, {}};
  EnumThreadWindows(thread, &Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message text of a box: its non-empty static control.
BOOL CALLBACK FindStaticText(HWND hwnd, LPARAM lParam) {
  if (ClassOf(hwnd) == "Static") {
    std::string text = TextOf(hwnd);
    if (!text.empty()) {
      *reinterpret_cast<std::string*>(lParam) = text;
      return FALSE;
    }
  }
  return TRUE;
}

}  // namespace

std::string TextOf(HWND hwnd) {
  char text[8192] = {};
  GetWindowTextA(hwnd, text, sizeof(text));
  return text;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

HWND FindThreadWindow(DWORD thread, const std::string& caption) {
  std::vector<HWND> found = ThreadWindows(thread, caption, "", true);
  return found.empty() ? nullptr : found.front();
}

std::vector<HWND> FindThreadWindows(DWORD thread, const std::string& caption) {
  return ThreadWindows(thread, caption, "", false);
}

void PressKey(UINT key, std::initializer_list<UINT> held) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  BYTE pressed[256];
  std::copy(state, state + 256, pressed);
  for (UINT modifier : held) pressed[modifier] |= 0x80;
  SetKeyboardState(pressed);
  HWND target = GetFocus();
  UINT scan = MapVirtualKeyA(key, 0);
  PostMessageA(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageA(target, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
  PumpMessages();
  SetKeyboardState(state);
}

MessageBoxWatcher::MessageBoxWatcher(int answer, DWORD thread)
    : answer_(answer),
      thread_(thread),
      existing_(ThreadWindows(thread, "", "#32770", false)),
      watcher_(&MessageBoxWatcher::Watch, this) {}

MessageBoxWatcher::~MessageBoxWatcher() { Stop(); }

size_t MessageBoxWatcher::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_.size();
}

std::vector<MessageBoxSeen> MessageBoxWatcher::Stop() {
  stop_ = true;
  if (watcher_.joinable()) watcher_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const MessageBoxSeen& box : seen_) {
    EXPECT_LE(box.height, GetSystemMetrics(SM_CYSCREEN)) << box.text;
    EXPECT_LE(box.width, GetSystemMetrics(SM_CXSCREEN)) << box.text;
  }
  return seen_;
}

// A window's caption read without a message: GetWindowText sends WM_GETTEXT
// to a window of another thread, and the test's thread may be waiting for
// this one to stop, not dispatching.
std::string CaptionOf(HWND hwnd) {
  wchar_t text[512] = {};
  const int length = InternalGetWindowText(hwnd, text, 512);
  std::string caption;
  for (int i = 0; i < length; ++i) caption += static_cast<char>(text[i] < 0x80 ? text[i] : '?');
  return caption;
}

void MessageBoxWatcher::Watch() {
  while (!stop_) {
    for (HWND box : ThreadWindows(thread_, "", "#32770", true)) {
      // An editor that opens meanwhile is a dialog too, but no box.
      if (std::count(existing_.begin(), existing_.end(), box) != 0 ||
          std::count(answered_.begin(), answered_.end(), box) != 0 ||
          GetDlgItem(box, kTemplateTreeId) != nullptr) {
        continue;
      }
      MessageBoxSeen seen{CaptionOf(box), "", GetWindow(box, GW_OWNER) != nullptr};
      RECT frame = {};
      GetWindowRect(box, &frame);
      seen.width = frame.right - frame.left;
      seen.height = frame.bottom - frame.top;
      EnumChildWindows(box, &FindStaticText, reinterpret_cast<LPARAM>(&seen.text));
      // The button Enter presses; the box's thread is in the box's loop.
      for (HWND button = GetWindow(box, GW_CHILD); button != nullptr;
           button = GetWindow(button, GW_HWNDNEXT)) {
        if (ClassOf(button) == "Button" &&
            (GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
          seen.defaultButton = GetDlgCtrlID(button);
        }
      }
      // Whether the box's owner, the editor, answers meanwhile.
      if (HWND owner = GetWindow(box, GW_OWNER)) {
        DWORD_PTR ignored = 0;
        seen.ownerAnswers =
            SendMessageTimeoutA(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored) != 0;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(seen);
      }
      answered_.push_back(box);
      // The box's thread is in the box's own loop, which takes the click.
      HWND button = GetDlgItem(box, answer_);
      PostMessageA(button != nullptr ? button : GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

const char kEditorCaption[] = "USB-8620A device setting templates";
const char kDriverFile[] = "Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg";

void HostedEditorTest::SetUp() {
  static HMODULE library = LoadLibraryA("ZUV8620Ude.dll");
  if (library != nullptr) {
    driverConfig_ = reinterpret_cast<DriverConfigFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DriverConfig")));
  }
  ASSERT_NE(driverConfig_, nullptr) << "ZUV8620Ude.dll or its DriverConfig not found";
  root_ = dir_.Path() + "\\";
}

void HostedEditorTest::TearDown() {
  MessageBoxWatcher watcher(IDCANCEL);
  for (HWND editor : FindThreadWindows(GetCurrentThreadId(), kEditorCaption)) {
    DestroyWindow(editor);
  }
  watcher.Stop();
  PumpMessages();
}

HWND HostedEditorTest::OpenEditorWindow(const char* driverName) {
  EXPECT_EQ(driverConfig_(0, root_.c_str(), driverName, ""), 1);
  PumpMessages();
  HWND window = FindThreadWindow(GetCurrentThreadId(), kEditorCaption);
  EXPECT_NE(window, nullptr) << "no editor window";
  return window;
}

}  // namespace zuv::test

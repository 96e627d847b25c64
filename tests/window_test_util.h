// Driving real windows from a test the way a user and a host do: a host-like
// message loop, finding windows of the test's thread by caption, and a
// watcher that answers message boxes from a second thread.
#ifndef ZUV_TESTS_WINDOW_TEST_UTIL_H
#define ZUV_TESTS_WINDOW_TEST_UTIL_H

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "entry/driver_config.h"
#include "test_files.h"

namespace zuv::test {

extern const char kEditorCaption[];
// The driver file below a root, as DriverConfig composes it for "USB8620A".
extern const char kDriverFile[];

// A window's text and its class name.
std::string TextOf(HWND hwnd);
std::string ClassOf(HWND hwnd);

// Dispatches every message waiting on this thread, as a host's loop does:
// no IsDialogMessage.
void PumpMessages();

// A visible top-level window of `thread` with this caption, or null.
HWND FindThreadWindow(DWORD thread, const std::string& caption);
// Every top-level window of `thread` with this caption, visible or not.
std::vector<HWND> FindThreadWindows(DWORD thread, const std::string& caption);

// Posts a key press (WM_KEYDOWN, WM_KEYUP) to the window with the focus, as
// the keyboard would, and dispatches it with PumpMessages; the keys `held`
// (VK_CONTROL, VK_SHIFT) are down meanwhile.
void PressKey(UINT key, std::initializer_list<UINT> held = {});

struct MessageBoxSeen {
  std::string caption;
  std::string text;
  bool owned;  // has an owner window
  // Not compared: the button Enter presses (0: none), whether the owner
  // answered a message while the box was up, and the box's width.
  int defaultButton = 0;
  bool ownerAnswers = false;
  int width = 0;  // in pixels
  int height = 0;
  bool operator==(const MessageBoxSeen& other) const {
    return caption == other.caption && text == other.text && owned == other.owned;
  }
  // Failure messages show the box, not its bytes.
  friend void PrintTo(const MessageBoxSeen& box, std::ostream* out) {
    *out << "{\"" << box.caption << "\", \"" << box.text << "\", "
         << (box.owned ? "owned" : "no owner") << "}";
  }
};

// While it lives, answers every message box that `thread` opens by pressing
// the button `answer` (IDOK, IDCANCEL, ...; OK where the box has no such
// button), and records each box. Editor
// windows opened meanwhile are left alone.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(int answer, DWORD thread = GetCurrentThreadId());
  ~MessageBoxWatcher();
  // Stops watching; the boxes seen, in order. A box that did not fit the
  // screen, its buttons off it, fails the test.
  std::vector<MessageBoxSeen> Stop();
  // How many boxes it has answered so far.
  size_t Seen();

 private:
  void Watch();

  int answer_;
  DWORD thread_;
  std::vector<HWND> existing_;
  std::vector<HWND> answered_;
  std::vector<MessageBoxSeen> seen_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

// A test that opens the editor as a host does: the DLL loaded by name,
// DriverConfig called on a root in a fresh folder, and whatever the test left
// open destroyed afterwards, answering Cancel to a last prompt.
class HostedEditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string FilePath() const { return root_ + kDriverFile; }
  std::string FileBytes() const { return ReadFileBytes(FilePath()); }
  // Calls DriverConfig as a host does and finds the editor's window.
  HWND OpenEditorWindow(const char* driverName = "USB8620A");

  TempDir dir_;
  std::string root_;
  DriverConfigFunction driverConfig_ = nullptr;
};

}  // namespace zuv::test

#endif  // ZUV_TESTS_WINDOW_TEST_UTIL_H

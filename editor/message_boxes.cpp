#include "editor/message_boxes.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "templates/template_changes_text.h"
#include "winui/message_box.h"

namespace zuv {

const char kEditorTitle[] = "USB-8620A device setting templates";

namespace {

// Boxes waiting for their timer, by thread and timer.
struct LaterBox {
  std::string text;
  UINT flags;
};
std::mutex laterMutex;
std::map<std::pair<DWORD, UINT_PTR>, LaterBox>& LaterBoxes() {
  static auto* boxes = new std::map<std::pair<DWORD, UINT_PTR>, LaterBox>;
  return *boxes;
}

void CALLBACK ShowLaterBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  LaterBox box;
  {
    std::lock_guard<std::mutex> lock(laterMutex);
    auto found = LaterBoxes().find({GetCurrentThreadId(), timer});
    if (found == LaterBoxes().end()) return;
    box = std::move(found->second);
    LaterBoxes().erase(found);
  }
  MessageBoxUtf8(nullptr, box.text, box.flags);
}

// The boxes showing on this thread, and the messages waiting for them to
// close, by thread (kept in the heap, as LaterBoxes: no destructor runs as
// the library unloads).
thread_local int boxesShowing = 0;
std::map<DWORD, std::vector<std::pair<HWND, UINT>>>& WaitingForBoxes() {
  static auto* waiting = new std::map<DWORD, std::vector<std::pair<HWND, UINT>>>;
  return *waiting;
}

}  // namespace

BoxShowing::BoxShowing() { ++boxesShowing; }

BoxShowing::~BoxShowing() {
  if (--boxesShowing != 0) return;
  std::vector<std::pair<HWND, UINT>> waiting;
  {
    std::lock_guard<std::mutex> lock(laterMutex);
    auto found = WaitingForBoxes().find(GetCurrentThreadId());
    if (found == WaitingForBoxes().end()) return;
    waiting.swap(found->second);
    WaitingForBoxes().erase(found);
  }
  for (const auto& [window, message] : waiting) {
    if (IsWindow(window)) PostMessageA(window, message, 0, 0);
  }
}

bool IsBoxShowing() { return boxesShowing != 0; }

void PostWhenNoBox(HWND window, UINT message) {
  if (boxesShowing == 0) {
    PostMessageA(window, message, 0, 0);
  } else {
    std::lock_guard<std::mutex> lock(laterMutex);
    WaitingForBoxes()[GetCurrentThreadId()].emplace_back(window, message);
  }
}

int MessageBoxUtf8(HWND owner, const std::string& text, UINT flags, const char* caption) {
  const BoxShowing showing;
  return winui::MessageBoxUtf8(owner, BoxText(text), caption ? caption : kEditorTitle, flags);
}

void ShowMessageBoxLater(const std::string& text, UINT flags) {
  std::lock_guard<std::mutex> lock(laterMutex);
  const UINT_PTR timer = SetTimer(nullptr, 0, 0, &ShowLaterBox);
  if (timer == 0) return;
  LaterBoxes()[{GetCurrentThreadId(), timer}] = {text, flags};
}

}  // namespace zuv

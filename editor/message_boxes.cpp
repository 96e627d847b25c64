#include "editor/message_boxes.h"

#include <map>
#include <mutex>
#include <utility>

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

}  // namespace

int MessageBoxUtf8(HWND owner, const std::string& text, UINT flags, const char* caption) {
  return winui::MessageBoxUtf8(owner, BoxText(text), caption ? caption : kEditorTitle, flags);
}

void ShowMessageBoxLater(const std::string& text, UINT flags) {
  std::lock_guard<std::mutex> lock(laterMutex);
  const UINT_PTR timer = SetTimer(nullptr, 0, 0, &ShowLaterBox);
  if (timer == 0) return;
  LaterBoxes()[{GetCurrentThreadId(), timer}] = {text, flags};
}

}  // namespace zuv

#include "editor/message_boxes.h"

#include <map>
#include <mutex>
#include <utility>

#include "regfile/text_encoding.h"
#include "templates/template_changes_text.h"

namespace zuv {

const char kEditorTitle[] = "USB-8620A device setting templates";

namespace {

std::wstring Wide(const std::string& utf8) {
  std::wstring result;
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (length <= 0) return result;
  result.assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &result[0], length);
  result.resize(static_cast<size_t>(length) - 1);
  return result;
}

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
  const std::string shown = BreakLongWords(TextToUtf8(text));
  return MessageBoxW(owner, Wide(shown).c_str(), Wide(caption ? caption : kEditorTitle).c_str(),
                     flags);
}

void ShowMessageBoxLater(const std::string& text, UINT flags) {
  std::lock_guard<std::mutex> lock(laterMutex);
  const UINT_PTR timer = SetTimer(nullptr, 0, 0, &ShowLaterBox);
  if (timer == 0) return;
  LaterBoxes()[{GetCurrentThreadId(), timer}] = {text, flags};
}

}  // namespace zuv

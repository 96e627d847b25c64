// The editor's message boxes: captioned with the editor's window title, their
// text in UTF-8 (a path of any name) with long paths broken onto lines of
// their own, shown at once or once the host's loop runs again.
#ifndef ZUV_EDITOR_MESSAGE_BOXES_H
#define ZUV_EDITOR_MESSAGE_BOXES_H

#include <windows.h>

#include <string>

namespace zuv {

// The editor's window title, the caption of its boxes (the close prompt
// keeps its own, "Note").
extern const char kEditorTitle[];

// A message box whose text is UTF-8, shown with the wide API; text that is
// not UTF-8 shows as its Windows-1252 characters. `caption` null: kEditorTitle.
int MessageBoxUtf8(HWND owner, const std::string& text, UINT flags, const char* caption = nullptr);

// Counts the editor's boxes showing on this thread while it lives: a box
// shown with MessageBoxA by hand holds one.
class BoxShowing {
 public:
  BoxShowing();
  ~BoxShowing();
  BoxShowing(const BoxShowing&) = delete;
  BoxShowing& operator=(const BoxShowing&) = delete;
};

// Posts `message` to `window` now when no box of the editor shows on this
// thread, else once the last one closes: a box asked for meanwhile waits, so
// that two boxes never stack over an editor that the second one's closing
// enables again.
void PostWhenNoBox(HWND window, UINT message);
// True while a box of the editor shows on this thread.
bool IsBoxShowing();

// The same box without an owner, shown when this thread's message loop next
// dispatches (a timer's message): a caller such as DriverConfig returns
// first.
void ShowMessageBoxLater(const std::string& text, UINT flags);

}  // namespace zuv

#endif  // ZUV_EDITOR_MESSAGE_BOXES_H

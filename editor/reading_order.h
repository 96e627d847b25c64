// Tab and Shift+Tab in reading order. A window whose child dialogs lie above
// another control (the editor's pages over its tab row) would, in the dialog
// manager's own order, put their controls first; the editor lists its
// controls in the order they are read and moves the focus along that list.
#ifndef ZUV_EDITOR_READING_ORDER_H
#define ZUV_EDITOR_READING_ORDER_H

#include <windows.h>

#include <vector>

namespace zuv {

// Appends the child windows of `parent`, in their order, to `controls`.
void AppendChildren(HWND parent, std::vector<HWND>& controls);
// Leaves out of `controls` those Tab does not visit: hidden, disabled or
// without WS_TABSTOP.
void KeepTabStops(std::vector<HWND>& controls);
// The stop after (before, when `backwards`) the one that is or holds `focus`,
// going round; from the end (the start) when none holds it. Null for no stops.
HWND NextTabStop(const std::vector<HWND>& stops, HWND focus, bool backwards);

}  // namespace zuv

#endif  // ZUV_EDITOR_READING_ORDER_H

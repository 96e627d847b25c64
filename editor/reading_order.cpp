#include "editor/reading_order.h"

#include <algorithm>

namespace zuv {

void AppendChildren(HWND parent, std::vector<HWND>& controls) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back(child);
  }
}

void KeepTabStops(std::vector<HWND>& controls) {
  controls.erase(std::remove_if(controls.begin(), controls.end(),
                                [](HWND control) {
                                  return (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) == 0 ||
                                         !IsWindowVisible(control) || !IsWindowEnabled(control);
                                }),
                 controls.end());
}

HWND NextTabStop(const std::vector<HWND>& stops, HWND focus, bool backwards) {
  if (stops.empty()) return nullptr;
  auto at = std::find_if(stops.begin(), stops.end(), [focus](HWND control) {
    return control == focus || IsChild(control, focus);
  });
  size_t count = stops.size();
  size_t index =
      at != stops.end() ? static_cast<size_t>(at - stops.begin()) : (backwards ? 0 : count - 1);
  return stops[backwards ? (index + count - 1) % count : (index + 1) % count];
}

}  // namespace zuv

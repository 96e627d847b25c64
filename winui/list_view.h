// A list view (class "SysListView32"). LVM_SETITEMSTATE notifies the parent
// synchronously (LVN_ITEMCHANGING/LVN_ITEMCHANGED) before it returns, and so
// does a check-box change, which is a state-image change.
#ifndef ZUV_WINUI_LIST_VIEW_H
#define ZUV_WINUI_LIST_VIEW_H

#include <commctrl.h>

#include <string>

#include "winui/window.h"

namespace winui {

class ListView : public Window {
 public:
  using Window::Window;

  // LVM_SETEXTENDEDLISTVIEWSTYLE; `mask` 0 sets every extended style to `style`.
  DWORD SetExtendedStyle(DWORD mask, DWORD style) const {
    return static_cast<DWORD>(Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
  }
  // LVM_GETEXTENDEDLISTVIEWSTYLE.
  DWORD GetExtendedStyle() const {
    return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
  }
  // LVM_INSERTCOLUMN with format, width, text and sub-item.
  int InsertColumn(int index, const char* heading, int format, int width,
                   int subItem) const;
  // LVM_INSERTITEM of a text-only row; the row's index, or -1.
  int InsertItem(int index, const char* text) const;
  // LVM_SETITEMTEXT of one cell.
  bool SetItemText(int item, int subItem, const char* text) const;
  // LVM_GETITEMTEXT of one cell (at most 259 characters).
  std::string GetItemText(int item, int subItem) const;
  // LVM_SETITEMSTATE of the check-box state image.
  bool SetCheck(int item, bool checked) const;
  // LVM_GETITEMSTATE of the check-box state image.
  bool GetCheck(int item) const {
    return (Send(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK) >> 12) == 2;
  }
  // LVM_SETITEMSTATE of the given state bits (LVIS_SELECTED, LVIS_FOCUSED, ...).
  bool SetItemState(int item, UINT state, UINT mask) const;
  // LVM_GETITEMCOUNT.
  int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
};

}  // namespace winui

#endif  // ZUV_WINUI_LIST_VIEW_H

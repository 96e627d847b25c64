// A tree view (class "SysTreeView32"). TVM_SELECTITEM and TVM_DELETEITEM
// notify the parent synchronously (TVN_SELCHANGING/TVN_SELCHANGED,
// TVN_DELETEITEM) before they return.
#ifndef ZUV_WINUI_TREE_VIEW_H
#define ZUV_WINUI_TREE_VIEW_H

#include <commctrl.h>

#include <string>

#include "winui/window.h"

namespace winui {

class TreeView : public Window {
 public:
  using Window::Window;

  // TVM_INSERTITEM of a text-only item carrying `data`; null on failure.
  HTREEITEM InsertItem(const char* text, LPARAM data, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM after = TVI_LAST) const;
  // TVM_DELETEITEM.
  bool DeleteItem(HTREEITEM item) const {
    return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != FALSE;
  }
  // TVM_SELECTITEM with TVGN_CARET; null clears the selection.
  bool SelectItem(HTREEITEM item) const {
    return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != FALSE;
  }
  // TVM_GETNEXTITEM with `relation` (TVGN_ROOT, TVGN_CHILD, TVGN_NEXT, ...).
  HTREEITEM GetNextItem(HTREEITEM item, UINT relation) const {
    return reinterpret_cast<HTREEITEM>(
        Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
  HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
  HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
  // TVM_GETITEM of the item data; 0 for a null item.
  LPARAM GetItemData(HTREEITEM item) const;
  // TVM_GETITEM of the text (at most 259 characters); empty for a null item.
  std::string GetItemText(HTREEITEM item) const;
  // TVM_GETCOUNT.
  unsigned GetCount() const { return static_cast<unsigned>(Send(TVM_GETCOUNT)); }
};

}  // namespace winui

#endif  // ZUV_WINUI_TREE_VIEW_H

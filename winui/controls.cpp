// The control wrappers that need a structure filled before their message.
#include "winui/combo_box.h"
#include "winui/list_view.h"
#include "winui/tab_control.h"
#include "winui/tree_view.h"

namespace winui {

std::string ComboBox::GetItemText(int index) const {
  LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length == CB_ERR) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  length = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(length == CB_ERR ? 0 : static_cast<size_t>(length));
  return text;
}

int TabControl::InsertItem(int index, const char* text) const {
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text);
  return static_cast<int>(
      Send(TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

std::string TabControl::GetItemText(int index) const {
  char text[MAX_PATH] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  if (!Send(TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) {
    return std::string();
  }
  return item.pszText;
}

HTREEITEM TreeView::InsertItem(const char* text, LPARAM data, HTREEITEM parent,
                               HTREEITEM after) const {
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(text);
  insert.item.lParam = data;
  return reinterpret_cast<HTREEITEM>(
      Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

LPARAM TreeView::GetItemData(HTREEITEM handle) const {
  if (handle == nullptr) return 0;
  TVITEMA item = {};
  item.mask = TVIF_PARAM;
  item.hItem = handle;
  if (!Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
  return item.lParam;
}

std::string TreeView::GetItemText(HTREEITEM handle) const {
  if (handle == nullptr) return std::string();
  char text[MAX_PATH] = {};
  TVITEMA item = {};
  item.mask = TVIF_TEXT;
  item.hItem = handle;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  if (!Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return std::string();
  return item.pszText;
}

int ListView::InsertColumn(int index, const char* heading, int format, int width,
                           int subItem) const {
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = format;
  column.cx = width;
  column.pszText = const_cast<char*>(heading);
  column.iSubItem = subItem;
  return static_cast<int>(
      Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(int index, const char* text) const {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<char*>(text);
  return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int index, int subItem, const char* text) const {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = const_cast<char*>(text);
  return Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::string ListView::GetItemText(int index, int subItem) const {
  char text[MAX_PATH] = {};
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  LRESULT length = Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(&item));
  return std::string(item.pszText, length > 0 ? static_cast<size_t>(length) : 0);
}

bool ListView::SetCheck(int index, bool checked) const {
  return SetItemState(index, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
}

bool ListView::SetItemState(int index, UINT state, UINT mask) const {
  LVITEMA item = {};
  item.state = state;
  item.stateMask = mask;
  return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(&item)) != FALSE;
}

}  // namespace winui

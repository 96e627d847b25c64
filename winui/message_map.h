// Message maps: each dialog class declares a static table of
// {message, notification code, control ID, handler}; the dialog procedure
// walks the class's table, then its base's, and calls the first handler that
// matches.
//
//   WINUI_BEGIN_MESSAGE_MAP(EditorDialog, winui::Dialog)
//     WINUI_ON_COMMAND(BN_CLICKED, IDC_ADD, OnAdd)              // void OnAdd()
//     WINUI_ON_NOTIFY(TVN_SELCHANGED, IDC_TREE, OnSelchanged)   // void (NMHDR*, LRESULT*)
//     WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)                   // void OnDestroy()
//   WINUI_END_MESSAGE_MAP()
//
// and WINUI_DECLARE_MESSAGE_MAP() in the class body. A command or
// notification handler counts as handled; a plain message handler runs
// before the default dialog processing, which still follows.
#ifndef ZUV_WINUI_MESSAGE_MAP_H
#define ZUV_WINUI_MESSAGE_MAP_H

#include <windows.h>

namespace winui {

class Dialog;

// Calls the handler; returns what the dialog procedure returns.
using MessageThunk = INT_PTR (*)(Dialog& dialog, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND: notification code; WM_NOTIFY: NMHDR::code
  UINT id;    // control ID, for WM_COMMAND and WM_NOTIFY
  MessageThunk thunk;
};

struct MessageMap {
  const MessageMap* base;
  const MessageMapEntry* entries;  // ends with an entry whose thunk is null
};

// Stores a notification handler's result where the dialog manager returns it.
void SetDialogResult(Dialog& dialog, LRESULT result);

}  // namespace winui

#define WINUI_DECLARE_MESSAGE_MAP() \
 protected:                         \
  const ::winui::MessageMap* GetMessageMap() const override;

#define WINUI_BEGIN_MESSAGE_MAP(Class, Base)                 \
  const ::winui::MessageMap* Class::GetMessageMap() const {  \
    using ThisClass = Class;                                 \
    using BaseClass = Base;                                  \
    static const ::winui::MessageMapEntry kEntries[] = {

#define WINUI_ON_COMMAND(code, id, handler)                                       \
  {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id),                    \
   [](::winui::Dialog& dialog, WPARAM, LPARAM) -> INT_PTR {                       \
     static_cast<ThisClass&>(dialog).handler();                                   \
     return TRUE;                                                                 \
   }},

#define WINUI_ON_NOTIFY(code, id, handler)                                        \
  {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id),                     \
   [](::winui::Dialog& dialog, WPARAM, LPARAM lParam) -> INT_PTR {                \
     LRESULT result = 0;                                                          \
     static_cast<ThisClass&>(dialog).handler(reinterpret_cast<NMHDR*>(lParam),    \
                                             &result);                            \
     ::winui::SetDialogResult(dialog, result);                                    \
     return TRUE;                                                                 \
   }},

#define WINUI_ON_MESSAGE(message, handler)                                        \
  {static_cast<UINT>(message), 0, 0,                                              \
   [](::winui::Dialog& dialog, WPARAM, LPARAM) -> INT_PTR {                       \
     static_cast<ThisClass&>(dialog).handler();                                   \
     return FALSE;                                                                \
   }},

#define WINUI_END_MESSAGE_MAP()                                                   \
    {0, 0, 0, nullptr}};                                                          \
    static const ::winui::MessageMap kMap = {this->BaseClass::GetMessageMap(),    \
                                             kEntries};                           \
    return &kMap;                                                                 \
  }

#endif  // ZUV_WINUI_MESSAGE_MAP_H

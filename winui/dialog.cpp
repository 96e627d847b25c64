#include "winui/dialog.h"

#include "winui/keyboard_router.h"
#include "winui/module.h"

namespace winui {

void SetDialogResult(Dialog& dialog, LRESULT result) {
  SetWindowLongPtrA(dialog.Handle(), DWLP_MSGRESULT, result);
}

Dialog::Dialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() {
  // Only reached with a live window when a dialog is deleted by hand; the
  // window must then no longer call into this object.
  if (hwnd_ != nullptr) {
    HWND hwnd = hwnd_;
    Detach();
    DestroyWindow(hwnd);
  }
}

bool Dialog::Create() {
  ActivationScope scope;
  creating_ = true;
  HWND hwnd = CreateDialogParamA(ResourceModule(), MAKEINTRESOURCEA(templateId_), parent_,
                                 &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
  creating_ = false;
  return hwnd != nullptr;
}

bool Dialog::Create(HWND parent) {
  parent_ = parent;
  return Create();
}

BOOL Dialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

bool Dialog::BindControl(Window& control, int id) const {
  control.Attach(GetDlgItem(hwnd_, id));
  return control.Handle() != nullptr;
}

const MessageMap* Dialog::GetMessageMap() const {
  using ThisClass = Dialog;
  static const MessageMapEntry kEntries[] = {
      WINUI_ON_COMMAND(BN_CLICKED, IDOK, OnOK)
      WINUI_ON_COMMAND(BN_CLICKED, IDCANCEL, OnCancel)
      {0, 0, 0, nullptr}};
  static const MessageMap kMap = {nullptr, kEntries};
  return &kMap;
}

const MessageMapEntry* Dialog::FindHandler(UINT message, WPARAM wParam,
                                           LPARAM lParam) const {
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (const MessageMapEntry* entry = map->entries; entry->thunk != nullptr; ++entry) {
      if (entry->message != message) continue;
      if (message == WM_COMMAND) {
        if (entry->code != HIWORD(wParam) || entry->id != LOWORD(wParam)) continue;
      } else if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr || entry->code != header->code || entry->id != header->idFrom) {
          continue;
        }
      }
      return entry;
    }
  }
  return nullptr;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  const MessageMapEntry* entry = FindHandler(message, wParam, lParam);
  return entry != nullptr ? entry->thunk(*this, wParam, lParam) : FALSE;
}

void Dialog::Detach() {
  if (routesKeyboard_) StopRoutingKeyboard(hwnd_);
  routesKeyboard_ = false;
  SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
  hwnd_ = nullptr;
}

bool Dialog::KeyFilter(HWND hwnd, const MSG& message) {
  Dialog* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (self == nullptr) return false;
  try {
    return self->PreTranslateKey(message);
  } catch (...) {
    return false;
  }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    if ((GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) == 0) {
      self->routesKeyboard_ = RouteKeyboard(hwnd, &Dialog::KeyFilter);
    }
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  // Messages that come before WM_INITDIALOG (WM_SETFONT) or after the object
  // let go of the window get the default processing.
  if (self == nullptr) return FALSE;

  INT_PTR result = FALSE;
  try {
    // Controls and message boxes that a handler creates are of the same
    // version as those of the dialog template.
    ActivationScope scope;
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    result = FALSE;
  }
  if (message == WM_NCDESTROY) {
    self->Detach();
    if (self->creating_) return result;
    try {
      self->PostNcDestroy();
    } catch (...) {
    }
  }
  return result;
}

}  // namespace winui

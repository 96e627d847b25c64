#include "editor/template_page.h"

#include <uxtheme.h>

namespace zuv {
namespace {

// uxtheme.dll's EnableThemeDialogTexture, looked up at run time: the
// library also runs where the theme library is missing.
using EnableThemeDialogTextureFunction = decltype(&EnableThemeDialogTexture);

EnableThemeDialogTextureFunction EnableThemeDialogTextureOrNull() {
  static const EnableThemeDialogTextureFunction function = [] {
    HMODULE uxtheme = GetModuleHandleA("uxtheme.dll");
    if (uxtheme == nullptr) {
      // From the system folder only, never from the host's folders; kept loaded.
      char path[MAX_PATH] = {};
      UINT length = GetSystemDirectoryA(path, MAX_PATH);
      if (length != 0 && length + sizeof("\\uxtheme.dll") <= MAX_PATH) {
        lstrcatA(path, "\\uxtheme.dll");
        uxtheme = LoadLibraryA(path);
      }
    }
    return uxtheme == nullptr
               ? nullptr
               : reinterpret_cast<EnableThemeDialogTextureFunction>(
                     reinterpret_cast<void*>(GetProcAddress(uxtheme, "EnableThemeDialogTexture")));
  }();
  return function;
}

}  // namespace

TemplatePage::TemplatePage(UINT templateId, PageHost& host)
    : winui::Dialog(templateId, nullptr), host_(host) {}

BOOL TemplatePage::CreatePage(HWND parent) {
  if (!Create(parent)) return FALSE;
  // The page lies on the tab control's body and shows in its colour: with a
  // theme, the tab's own background (the theme draws it while one is active);
  // without one, the dialog colour, which is the colour of the classic tab.
  if (EnableThemeDialogTextureFunction enable = EnableThemeDialogTextureOrNull()) {
    enable(hwnd_, ETDT_ENABLETAB);
  }
  return TRUE;
}

BOOL TemplatePage::OnInitDialog() {
  winui::Dialog::OnInitDialog();
  FillControls();
  return TRUE;
}

void TemplatePage::Refresh() {
  if (const DeviceTemplate* record = host_.SelectedTemplate()) ShowTemplate(*record);
}

void TemplatePage::SetReadOnly(bool readOnly) const {
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    EnableWindow(child, !readOnly);
  }
}

}  // namespace zuv

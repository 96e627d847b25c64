#include "editor/template_page.h"

#include <uxtheme.h>

#include "editor/template_editor_dialog.h"

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

TemplatePage::TemplatePage(UINT templateId, TemplateEditorDialog* parent)
    : winui::Dialog(templateId, parent->Handle()), parent_(parent) {}

BOOL TemplatePage::CreatePage() {
  if (!Create()) return FALSE;
  // The page lies on the tab control's body and shows in its colour: with a
  // theme, the tab's own background (the theme draws it while one is active);
  // without one, the dialog colour, which is the colour of the classic tab.
  if (EnableThemeDialogTextureFunction enable = EnableThemeDialogTextureOrNull()) {
    enable(hwnd_, ETDT_ENABLETAB);
  }
  return TRUE;
}

void TemplatePage::SetTemplate(DeviceTemplate*) {}

void TemplatePage::PostNcDestroy() { delete this; }

}  // namespace zuv

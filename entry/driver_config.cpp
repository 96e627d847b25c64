#include "entry/driver_config.h"

#include <cstring>
#include <string>
#include <string_view>

#include "editor/template_editor_dialog.h"
#include "templates/driver_path.h"
#include "winui/module.h"

namespace {

constexpr size_t kMaxPath = zuv::TemplateEditorDialog::kDriverFilePathSize;

// Keeps the library loaded until the process ends. A host may free the
// library right after the call (a utility that loads each driver's library
// only for the call does), but the editor's window procedures, its keyboard
// hook and its activation context live in this module. Pinning is the safe
// choice: a reference released by the library's own code when the last editor
// closes would unload the module under the code still running in it.
void PinModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&PinModule), &module);
}

// Tells the user that the root makes a path longer than the editor opens:
// the root (its first kMaxPath characters at most) and the limit.
void ReportOverlongPath(const char* rootPath, size_t rootLength, size_t pathLength) {
  std::string text = "The driver file cannot be opened: its path would be longer than " +
                     std::to_string(kMaxPath - 1) + " characters";
  if (pathLength != 0) text += " (" + std::to_string(pathLength) + ")";
  text += ".\n\nRoot: " + std::string(rootPath, rootLength);
  if (rootLength >= kMaxPath) text += "...";
  MessageBoxA(nullptr, text.c_str(), winui::ModuleName(), MB_OK | MB_ICONERROR);
}

// Opens one editor; returns when its window is up, or when it could not be.
void OpenEditor(const char* rootPath, const char* driverName, const char* extraText) {
  if (rootPath == nullptr || driverName == nullptr || extraText == nullptr) return;

  // The whole root and the driver directory name go into the path. Neither is
  // read further than the longest path that fits: a root without a terminator
  // within kMaxPath characters cannot make a path that fits anyway.
  size_t rootLength = strnlen(rootPath, kMaxPath);
  if (rootLength >= kMaxPath) return ReportOverlongPath(rootPath, rootLength, 0);
  std::string path = zuv::ComposeDriverFilePath(
      std::string_view(rootPath, rootLength),
      std::string_view(driverName, strnlen(driverName, kMaxPath)), '\\');
  if (path.size() >= kMaxPath) return ReportOverlongPath(rootPath, rootLength, path.size());

  // One editor per driver file: an open one comes to the front. One the user
  // closed (hidden, its edits saved or dropped) makes way for a fresh one
  // that reads the file again.
  if (zuv::TemplateEditorDialog* open = zuv::TemplateEditorDialog::FindOpen(path.c_str())) {
    if (IsWindowVisible(open->Handle())) {
      open->BringToFront();
      return;
    }
    DestroyWindow(open->Handle());
  }

  // The editor's classes are registered and its windows created in the
  // library's own activation context (common controls 6), whatever the host's
  // manifest says.
  winui::ActivationScope scope;
  auto* editor = new zuv::TemplateEditorDialog(nullptr);
  editor->SetArguments(rootPath, driverName, extraText);
  editor->SetDriverFilePath(path.c_str());
  if (!editor->CreateEditor()) {
    // A window that never came up will not delete the editor.
    delete editor;
    return;
  }
  ShowWindow(editor->Handle(), SW_SHOWNORMAL);
}

}  // namespace

extern "C" int WINAPI DriverConfig(DWORD /*hostValue*/, const char* rootPath,
                                   const char* driverName, const char* extraText) {
  try {
    PinModule();
    OpenEditor(rootPath, driverName, extraText);
  } catch (...) {
    // Out of memory: nothing is shown, and the host still gets its 1.
  }
  return 1;
}

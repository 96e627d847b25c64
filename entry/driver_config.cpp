#include "entry/driver_config.h"

#include <cstring>
#include <string>
#include <string_view>

#include "editor/template_editor_dialog.h"
#include "templates/driver_path.h"
#include "winui/module.h"

namespace {

constexpr size_t kMaxPath = zuv::TemplateEditorDialog::kDriverFilePathSize;

// Opens one editor; returns when its window is up, or when it could not be.
void OpenEditor(const char* rootPath, const char* driverName, const char* extraText) {
  if (rootPath == nullptr || driverName == nullptr || extraText == nullptr) return;

  // The whole root and the driver directory name go into the path. Neither is
  // read further than the longest path that fits: a root without a terminator
  // within kMaxPath characters cannot make a path that fits anyway.
  size_t rootLength = strnlen(rootPath, kMaxPath);
  if (rootLength >= kMaxPath) return;
  std::string path = zuv::ComposeDriverFilePath(
      std::string_view(rootPath, rootLength),
      std::string_view(driverName, strnlen(driverName, kMaxPath)), '\\');
  if (path.size() >= kMaxPath) return;

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
    OpenEditor(rootPath, driverName, extraText);
  } catch (...) {
    // Out of memory: nothing is shown, and the host still gets its 1.
  }
  return 1;
}

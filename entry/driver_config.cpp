#include "entry/driver_config.h"

#include <cstring>
#include <string>
#include <string_view>

#include "editor/message_boxes.h"
#include "editor/template_editor_dialog.h"
#include "templates/driver_path.h"
#include "winui/module.h"
#include "winui/wide_text.h"

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

// The host's text, in the ANSI code page, as UTF-8: the one conversion at
// the library's edge; inside, paths are UTF-8 and the file layer gives the
// system UTF-16.
std::string Utf8FromAnsi(const char* text, size_t length) {
  if (length == 0) return {};
  const int count = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
  if (units <= 0) return std::string(text, length);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, count, &wide[0], units);
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string(text, length);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

// Tells the user that the root makes a path longer than the editor opens:
// the root (its first kMaxPath characters at most) and the limit.
void ReportOverlongPath(const char* rootPath, size_t rootLength, size_t pathLength) {
  std::string text = "The driver file cannot be opened: its path would be longer than " +
                     std::to_string(kMaxPath - 1) + " characters";
  if (pathLength != 0) text += " (" + std::to_string(pathLength) + ")";
  text += ".\n\nRoot: " + Utf8FromAnsi(rootPath, rootLength);
  if (rootLength >= kMaxPath) text += "...";
  // Shown once DriverConfig has returned, as the host's loop runs again.
  zuv::ShowMessageBoxLater(text, MB_OK | MB_ICONERROR);
}

// Opens one editor; returns when its window is up, or when it could not be.
void OpenEditor(const char* rootPath, const char* driverName, const char* extraText) {
  if (rootPath == nullptr || driverName == nullptr || extraText == nullptr) return;

  // The whole root and the driver directory name go into the path. Neither is
  // read further than the longest path that fits: a root without a terminator
  // within kMaxPath characters cannot make a path that fits anyway.
  size_t rootLength = strnlen(rootPath, kMaxPath);
  if (rootLength >= kMaxPath) return ReportOverlongPath(rootPath, rootLength, 0);
  // A root without its trailing separator is joined with one: the root
  // C:\Image names the folder Image, never C:\ImagePublic.
  std::string root = Utf8FromAnsi(rootPath, rootLength);
  if (!root.empty() && root.back() != '\\' && root.back() != '/') root += '\\';
  std::string path = zuv::ComposeDriverFilePath(
      root, Utf8FromAnsi(driverName, strnlen(driverName, kMaxPath)), '\\');
  // The characters (UTF-16 units) of the path, as the system counts them.
  const size_t pathLength = winui::Utf16Length(path);
  if (pathLength >= kMaxPath) return ReportOverlongPath(rootPath, rootLength, pathLength);

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
  editor->SetDriverFilePath(path);
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

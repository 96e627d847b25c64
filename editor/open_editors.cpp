#include "editor/open_editors.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "winui/lock.h"

namespace zuv {

namespace {

struct OpenEditor {
  std::wstring path;
  TemplateEditorDialog* editor;
  DWORD thread;
};
std::vector<OpenEditor> g_openEditors;
SRWLOCK g_openEditorsLock = SRWLOCK_INIT;

// The UTF-8 path in one spelling: UTF-16, full, "." and ".." resolved.
std::wstring FullPath(const char* path) {
  std::wstring wide;
  const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (units > 0) {
    wide.assign(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units) - 1);
  }
  wchar_t full[MAX_PATH];
  DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return wide;
  return std::wstring(full, length);
}

}  // namespace

void RegisterOpenEditor(TemplateEditorDialog* editor, const char* driverFilePath) {
  std::wstring path = FullPath(driverFilePath);
  winui::ExclusiveLock lock(g_openEditorsLock);
  g_openEditors.push_back({std::move(path), editor, GetCurrentThreadId()});
}

void UnregisterOpenEditor(const TemplateEditorDialog* editor) {
  winui::ExclusiveLock lock(g_openEditorsLock);
  g_openEditors.erase(
      std::remove_if(g_openEditors.begin(), g_openEditors.end(),
                     [editor](const OpenEditor& entry) { return entry.editor == editor; }),
      g_openEditors.end());
}

TemplateEditorDialog* FindOpenEditor(const char* driverFilePath) {
  const std::wstring path = FullPath(driverFilePath);
  const DWORD thread = GetCurrentThreadId();
  winui::ExclusiveLock lock(g_openEditorsLock);
  for (const OpenEditor& entry : g_openEditors) {
    if (entry.thread == thread &&
        CompareStringOrdinal(entry.path.c_str(), static_cast<int>(entry.path.size()), path.c_str(),
                             static_cast<int>(path.size()), TRUE) == CSTR_EQUAL) {
      return entry.editor;
    }
  }
  return nullptr;
}

}  // namespace zuv

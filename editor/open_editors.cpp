#include "editor/open_editors.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "winui/lock.h"

namespace zuv {

namespace {

struct OpenEditor {
  std::string path;
  TemplateEditorDialog* editor;
  DWORD thread;
};
std::vector<OpenEditor> g_openEditors;
SRWLOCK g_openEditorsLock = SRWLOCK_INIT;

// The path in one spelling: full, "." and ".." resolved.
std::string FullPath(const char* path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(full, length);
}

}  // namespace

void RegisterOpenEditor(TemplateEditorDialog* editor, const char* driverFilePath) {
  std::string path = FullPath(driverFilePath);
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
  const std::string path = FullPath(driverFilePath);
  const DWORD thread = GetCurrentThreadId();
  winui::ExclusiveLock lock(g_openEditorsLock);
  for (const OpenEditor& entry : g_openEditors) {
    if (entry.thread == thread && lstrcmpiA(entry.path.c_str(), path.c_str()) == 0) {
      return entry.editor;
    }
  }
  return nullptr;
}

}  // namespace zuv

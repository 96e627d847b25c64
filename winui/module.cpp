#include "winui/module.h"

#include <commctrl.h>

#include <cstring>

namespace winui {
namespace {

HINSTANCE g_resourceModule = nullptr;
char g_moduleName[MAX_PATH];

HINSTANCE ModuleOfThisCode() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ModuleOfThisCode), &module);
  return module;
}

}  // namespace

HINSTANCE ResourceModule() {
  if (g_resourceModule == nullptr) g_resourceModule = ModuleOfThisCode();
  return g_resourceModule;
}

void SetResourceModule(HINSTANCE module) {
  g_resourceModule = module;
  g_moduleName[0] = '\0';
}

const char* ModuleName() {
  if (g_moduleName[0] == '\0') {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(ResourceModule(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "ZUV8620Ude";
    const char* name = path;
    for (const char* p = path; *p; ++p) {
      if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    size_t size = std::strlen(name);
    const char* dot = std::strrchr(name, '.');
    if (dot != nullptr) size = static_cast<size_t>(dot - name);
    std::memcpy(g_moduleName, name, size);
    g_moduleName[size] = '\0';
  }
  return g_moduleName;
}

bool InitCommonControls(DWORD classes) {
  INITCOMMONCONTROLSEX init = {sizeof(init), classes};
  return InitCommonControlsEx(&init) != FALSE;
}

}  // namespace winui

#include "winui/module.h"

#include <commctrl.h>

#include <cstring>

#include "winui/lock.h"

namespace winui {
namespace {

HINSTANCE g_resourceModule = nullptr;
char g_moduleName[MAX_PATH];
HANDLE g_activationContext = INVALID_HANDLE_VALUE;
bool g_activationContextTried = false;
// The name and the context are made on first use, by whichever host thread
// gets there first.
SRWLOCK g_lock = SRWLOCK_INIT;

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
  ExclusiveLock lock(g_lock);
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

HANDLE ModuleActivationContext() {
  // Tried once: a module without the manifest costs nothing afterwards.
  ExclusiveLock lock(g_lock);
  if (!g_activationContextTried) {
    g_activationContextTried = true;
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(ResourceModule(), path, MAX_PATH);
    ACTCTXA context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = length != 0 && length < MAX_PATH ? path : nullptr;
    context.hModule = ResourceModule();
    context.lpResourceName = MAKEINTRESOURCEA(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
    // Without the resource this fails quietly (ERROR_RESOURCE_TYPE_NOT_FOUND).
    g_activationContext = CreateActCtxA(&context);
  }
  return g_activationContext != INVALID_HANDLE_VALUE ? g_activationContext : nullptr;
}

void ReleaseModuleActivationContext() {
  ExclusiveLock lock(g_lock);
  if (g_activationContext != INVALID_HANDLE_VALUE) ReleaseActCtx(g_activationContext);
  g_activationContext = INVALID_HANDLE_VALUE;
  g_activationContextTried = false;
}

ActivationScope::ActivationScope() {
  HANDLE context = ModuleActivationContext();
  if (context != nullptr) active_ = ActivateActCtx(context, &cookie_) != FALSE;
}

ActivationScope::~ActivationScope() {
  if (active_) DeactivateActCtx(0, cookie_);
}

bool InitCommonControls(DWORD classes) {
  INITCOMMONCONTROLSEX init = {sizeof(init), classes};
  return InitCommonControlsEx(&init) != FALSE;
}

}  // namespace winui

// The library's start-up: resources of the editor are looked up in this
// module, never in the host's executable.
#include <windows.h>

#include "winui/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    winui::SetResourceModule(module);
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

// The library's start-up: resources of the editor are looked up in this
// module, never in the host's executable; the activation context of its
// manifest goes when the library is unloaded.
#include <windows.h>

#include "winui/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    winui::SetResourceModule(module);
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // FreeLibrary, not the end of the process (when nothing must be freed).
    winui::ReleaseModuleActivationContext();
  }
  return TRUE;
}

// The module whose resources the windows of this library use, and the common
// controls they need.
#ifndef ZUV_WINUI_MODULE_H
#define ZUV_WINUI_MODULE_H

#include <windows.h>

namespace winui {

// Dialog templates, bitmaps and strings are looked up in this module. The
// library sets it when it is loaded (DllMain); until then it is the module
// that contains this code, never the host's executable.
HINSTANCE ResourceModule();
void SetResourceModule(HINSTANCE module);

// The module's file name without folder and extension ("ZUV8620Ude"); the
// caption of the library's own message boxes.
const char* ModuleName();

// The activation context of the module's own manifest (resource 2,
// ISOLATIONAWARE_MANIFEST_RESOURCE_ID), which asks for common controls 6:
// created on first use, null when the module has no such manifest or the
// system refuses it. A library loaded into any host creates its windows in
// this context, so that they are the themed version-6 controls whatever the
// host's own manifest says.
HANDLE ModuleActivationContext();
// Releases the context; called when the library is unloaded.
void ReleaseModuleActivationContext();

// While it lives, the module's activation context is the active one on this
// thread (nothing happens when there is none). Windows created meanwhile,
// the dialog's controls among them, take the window classes the manifest
// names.
class ActivationScope {
 public:
  ActivationScope();
  ~ActivationScope();
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// Registers the window classes of the common controls named by `classes`
// (ICC_TREEVIEW_CLASSES, ...). True on success.
bool InitCommonControls(DWORD classes);

}  // namespace winui

#endif  // ZUV_WINUI_MODULE_H

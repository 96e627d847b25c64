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

// Registers the window classes of the common controls named by `classes`
// (ICC_TREEVIEW_CLASSES, ...). True on success.
bool InitCommonControls(DWORD classes);

}  // namespace winui

#endif  // ZUV_WINUI_MODULE_H

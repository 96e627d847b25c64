// Keyboard navigation for modeless dialogs in a host that knows nothing of
// them. A modeless dialog needs IsDialogMessage in its thread's message loop
// for Tab, arrows, Enter and Escape; the host's loop does not call it for our
// windows. While a routed dialog exists, a WH_GETMESSAGE hook on its thread
// passes each keyboard message for that dialog or its children through
// IsDialogMessage; a message the dialog manager took is turned into WM_NULL
// before the host's loop sees it. A dialog may give a filter that sees each
// such message first and takes it by returning true (keys the dialog manager
// does not know, like Ctrl+Tab).
#ifndef ZUV_WINUI_KEYBOARD_ROUTER_H
#define ZUV_WINUI_KEYBOARD_ROUTER_H

#include <windows.h>

namespace winui {

using KeyFilter = bool (*)(HWND dialog, const MSG& message);

// Starts routing for a top-level dialog; call on the dialog's thread. Installs
// the thread's hook with its first dialog. False when no hook could be set.
bool RouteKeyboard(HWND dialog, KeyFilter filter = nullptr);
// Stops routing for the dialog; removes the hook with the thread's last dialog.
void StopRoutingKeyboard(HWND dialog);

}  // namespace winui

#endif  // ZUV_WINUI_KEYBOARD_ROUTER_H

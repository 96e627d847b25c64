// Names that assistive technology announces for controls that draw no text
// of their own (a tree, a tab row, a list view).
#ifndef ZUV_WINUI_ACCESSIBILITY_H
#define ZUV_WINUI_ACCESSIBILITY_H

#include <windows.h>

namespace winui {

// The control's window text, which it does not draw, is its accessible name
// (what AccessibleObjectFromWindow's get_accName gives, on every system). On
// a thread where COM is initialised and the system has dynamic annotation
// (IAccPropServices), the text is also set as the annotated name, which
// screen readers prefer; E_NOTIMPL (wine) and a thread without COM leave the
// window text alone to carry the name. COM is never initialised here: the
// thread's apartment belongs to the host.
void AnnotateAccessibleName(HWND control);
// Removes what AnnotateAccessibleName added; called while the control is
// destroyed.
void ClearAccessibleName(HWND control);

}  // namespace winui

#endif  // ZUV_WINUI_ACCESSIBILITY_H

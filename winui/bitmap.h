// Pictures and sizes for the screen's DPI. A bitmap drawn larger than it is
// shown is made smaller with an area average (each new pixel the mean of the
// source area it covers, in proportion to the part it covers), which keeps
// thin lines and edges smooth where GDI's stretching drops or doubles pixels.
#ifndef ZUV_WINUI_BITMAP_H
#define ZUV_WINUI_BITMAP_H

#include <windows.h>

namespace winui {

// A new 24-bit DIB section of width x height pixels holding `source` scaled
// to that size; null when `source` cannot be read or the size is not
// positive. The caller deletes it.
HBITMAP ScaleBitmap(HBITMAP source, int width, int height);

// A length in pixels at 96 DPI, at the screen's DPI.
int ScaleToScreen(int pixelsAt96);

}  // namespace winui

#endif  // ZUV_WINUI_BITMAP_H

// A window region made of every pixel of a bitmap that is not the key
// colour: one rectangle per run of such pixels in a row.
#pragma once

#include <windows.h>

namespace UI {

// A new region (empty when every pixel is the key), or null when the bitmap
// cannot be read. The key is compared at the bitmap's own colour depth. The
// region is scaled by num / den: the window drawn at another DPI.
HRGN BitmapToRegion(HBITMAP hBitmap, COLORREF key, int num = 1, int den = 1);

}  // namespace UI

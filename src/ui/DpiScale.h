// The screen's scale for the skin: dots per inch of a window's monitor, the
// skin's 96-DPI coordinates turned into pixels, and the per-scale images a
// skin may ship beside its own ("bg@150.bmp", "bg@200.bmp").
#pragma once

#include <windows.h>

#include <string>

namespace UI {

enum { BASE_DPI = 96 };

// Declares the process aware of each monitor's DPI (where the manifest's
// declaration was not honoured); harmless when already set.
void DeclareDpiAware();

// The DPI the window is drawn at: its monitor's where the system tells it,
// else the screen's. Kept between 100 % and 500 %: a skin is never drawn
// below the size it was made for.
int WindowDpi(HWND hWnd);
int ClampDpi(int dpi);

// A skin coordinate or length at dpi.
inline int Px(int value, int dpi) { return MulDiv(value, dpi, BASE_DPI); }
inline RECT PxRect(int x, int y, int width, int height, int dpi)
{
    const int left = Px(x, dpi), top = Px(y, dpi);
    return RECT{left, top, left + Px(width, dpi), top + Px(height, dpi)};
}

// The file to draw path from at dpi: the largest variant named
// "NAME@200.EXT" or "NAME@150.EXT" that exists and does not exceed dpi, else
// path itself. *variantDpi gets the DPI that file was made for.
std::wstring SkinVariant(const std::wstring& path, int dpi, int* variantDpi);

}  // namespace UI

// A BMP file held as a packed DIB (header, colour table, pixels) and drawn
// with StretchDIBits.
#pragma once

#include <windows.h>

#include <string>

#include "GdiHandle.h"

namespace UI {

class CDib {
public:
    // False when the file cannot be read, is not a BMP ("This is not a
    // bitmap file!") or its header does not fit the file.
    bool Load(const std::wstring& path);
    bool Loaded() const { return static_cast<bool>(m_hDib); }
    void Draw(HDC hDC, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
              DWORD rop = SRCCOPY) const;
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    CGlobalMemory m_hDib;
    CGdiPalette m_hPalette;
    int m_nWidth = 0, m_nHeight = 0;
    DWORD m_dwBitsOffset = 0;  // of the pixels in the packed DIB
};

}  // namespace UI

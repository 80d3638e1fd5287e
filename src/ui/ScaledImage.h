// A skin image at the size the screen's scale asks for, resampled with a
// bilinear filter. Images with a key colour are resampled as if the key were
// transparent, so that their edges take no tint of it; images of equal
// frames side by side are resampled frame by frame.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "GdiHandle.h"

namespace UI {

// Pixels as 0x00RRGGBB, rows top-down. frames frames of width frameWidth
// each become frames of outFrameWidth by outHeight; with keyed, key pixels
// count as transparent and an output pixel less than half covered is key.
std::vector<std::uint32_t> ResampleFrames(const std::vector<std::uint32_t>& pixels, int width, int height,
                                          int frames, int outFrameWidth, int outHeight, bool keyed,
                                          std::uint32_t key);

class CScaledImage {
public:
    // source at num / den of its size (key: CLR_INVALID for none). A width
    // that frames do not divide loses its trailing columns.
    bool Assign(HBITMAP source, int num, int den, int frames = 1, COLORREF key = CLR_INVALID);
    // A picture file (any format the system's loader reads) for dpi, from
    // the skin's variant for that scale where there is one.
    bool LoadPicture(const std::wstring& path, int dpi, int frames = 1, COLORREF key = CLR_INVALID);
    // A BMP file read by the strict reader of packed DIBs, for dpi.
    bool LoadDib(const std::wstring& path, int dpi);
    void Reset();

    bool Loaded() const { return static_cast<bool>(m_hBitmap); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int FrameWidth() const { return m_nFrameWidth; }
    HBITMAP Bitmap() const { return m_hBitmap.Get(); }
    // Copies the part (srcX, srcY, width, height) to (x, y).
    void Draw(HDC hDC, int x, int y, int srcX, int srcY, int width, int height) const;

private:
    CGdiBitmap m_hBitmap;
    int m_nWidth = 0, m_nHeight = 0, m_nFrameWidth = 0;
};

}  // namespace UI

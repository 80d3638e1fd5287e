#include "BitmapRegion.h"

#include <cstring>
#include <vector>

#include "GdiHandle.h"

namespace UI {

namespace {

// 5-6-5 and 5-5-5 pixels lose the low bits of each channel; compare there.
COLORREF Reduce(COLORREF c, int bits)
{
    if (bits != 16) return c & 0xFFFFFF;
    return RGB(GetRValue(c) & 0xF8, GetGValue(c) & 0xFC, GetBValue(c) & 0xF8);
}

}  // namespace

HRGN BitmapToRegion(HBITMAP hBitmap, COLORREF key, int num, int den)
{
    if (num <= 0 || den <= 0) num = den = 1;
    BITMAP bm;
    if (hBitmap == nullptr || GetObjectW(hBitmap, sizeof bm, &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return nullptr;
    const int width = bm.bmWidth, height = bm.bmHeight;

    // Every depth is read back as 32-bit top-down rows.
    BITMAPINFO info = TopDownDib32(width, height);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC hInfo = CreateICW(L"DISPLAY", nullptr, nullptr, nullptr);
    CMemoryDc ic(hInfo ? hInfo : CreateCompatibleDC(nullptr));
    if (!ic || GetDIBits(ic.Get(), hBitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height)
        return nullptr;

    const int depth = bm.bmBitsPixel;
    const COLORREF wanted = Reduce(key, depth);
    // Rectangles follow the header in one buffer that doubles when full.
    std::vector<RECT> rects;
    rects.reserve(256);
    for (int y = 0; y < height; ++y) {
        const DWORD* row = &pixels[static_cast<size_t>(y) * width];
        int x = 0;
        while (x < width) {
            auto isKey = [&](int i) {
                const DWORD p = row[i];  // 0x00RRGGBB
                return Reduce(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF), depth) == wanted;
            };
            while (x < width && isKey(x)) ++x;
            const int start = x;
            while (x < width && !isKey(x)) ++x;
            if (x > start) {
                if (rects.size() == rects.capacity()) rects.reserve(rects.capacity() * 2);
                rects.push_back(RECT{MulDiv(start, num, den), MulDiv(y, num, den), MulDiv(x, num, den),
                                     MulDiv(y + 1, num, den)});
            }
        }
    }

    std::vector<BYTE> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);
    region->rdh.iType = RDH_RECTANGLES;
    region->rdh.nCount = static_cast<DWORD>(rects.size());
    region->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    region->rdh.rcBound = RECT{0, 0, MulDiv(width, num, den), MulDiv(height, num, den)};
    if (!rects.empty()) memcpy(region->Buffer, rects.data(), rects.size() * sizeof(RECT));
    return ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), region);
}

}  // namespace UI

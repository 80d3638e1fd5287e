#include "KbcBmp.h"

namespace UI {

bool CKbcBmp::Load(const std::wstring& path, int dpi, COLORREF key)
{
    return m_Image.LoadPicture(path, dpi, FRAME_COUNT, key);
}

void CKbcBmp::DrawFrame(HDC hDC, int index, COLORREF key) const
{
    if (!m_Image.Loaded() || FrameWidth() <= 0) return;
    if (index < 0 || index >= FRAME_COUNT) index = 0;
    const int w = FrameWidth(), h = Height();
    CMemoryDc image(CreateCompatibleDC(hDC));
    CMemoryDc mask(CreateCompatibleDC(hDC));
    CGdiBitmap maskBits(CreateBitmap(w, h, 1, 1, nullptr));
    if (!image || !mask || !maskBits) return;
    CSelection selectImage(image.Get(), m_Image.Bitmap());
    CSelection selectMask(mask.Get(), maskBits.Get());

    // Monochrome mask: 1 where the frame has the key colour.
    const COLORREF oldBack = SetBkColor(image.Get(), key);
    BitBlt(mask.Get(), 0, 0, w, h, image.Get(), index * w, 0, SRCCOPY);
    SetBkColor(image.Get(), oldBack);

    // Keep the destination under the key, then add the frame's other pixels.
    const COLORREF oldText = SetTextColor(hDC, RGB(0, 0, 0));
    const COLORREF oldDestBack = SetBkColor(hDC, RGB(255, 255, 255));
    BitBlt(hDC, 0, 0, w, h, image.Get(), index * w, 0, SRCINVERT);
    BitBlt(hDC, 0, 0, w, h, mask.Get(), 0, 0, SRCAND);
    BitBlt(hDC, 0, 0, w, h, image.Get(), index * w, 0, SRCINVERT);
    SetTextColor(hDC, oldText);
    SetBkColor(hDC, oldDestBack);
}

}  // namespace UI

// The image of a skinned button: a horizontal strip of four equal frames,
// normal, hover, pressed and disabled.
#pragma once

#include <windows.h>

#include <string>

#include "DpiScale.h"
#include "ScaledImage.h"

namespace UI {

class CKbcBmp {
public:
    enum { FRAME_COUNT = 4 };

    // The strip for dpi; key is the colour shown as transparent.
    bool Load(const std::wstring& path, int dpi = BASE_DPI, COLORREF key = RGB(255, 0, 255));
    bool Loaded() const { return m_Image.Loaded(); }
    // Picture width / 4 (at dpi): trailing columns of an uneven width are never shown.
    int FrameWidth() const { return m_Image.FrameWidth(); }
    int Height() const { return m_Image.Height(); }
    // Draws frame index at (0, 0) with key shown as transparent.
    void DrawFrame(HDC hDC, int index, COLORREF key) const;

private:
    CScaledImage m_Image;
};

}  // namespace UI

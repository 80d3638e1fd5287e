// The image of a skinned button: a horizontal strip of four equal frames,
// normal, hover, pressed and disabled.
#pragma once

#include <windows.h>

#include <string>

#include "GdiHandle.h"
#include "Picture.h"

namespace UI {

class CKbcBmp {
public:
    enum { FRAME_COUNT = 4 };

    bool Load(const std::wstring& path);
    bool Loaded() const { return m_Picture.Loaded(); }
    // Picture width / 4: trailing columns of an uneven width are never shown.
    int FrameWidth() const { return m_nFrameWidth; }
    int Height() const { return m_Picture.Height(); }
    // Draws frame index at (0, 0) with key shown as transparent.
    void DrawFrame(HDC hDC, int index, COLORREF key) const;

private:
    CPicture m_Picture;
    CGdiBitmap m_hStrip;  // the picture once rendered, for every later draw
    int m_nFrameWidth = 0;
};

}  // namespace UI

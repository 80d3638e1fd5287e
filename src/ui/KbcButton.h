// The skinned image button: four frames (normal, hover, pressed, disabled)
// chosen by the mouse, or fixed by the window, with a tooltip and a key
// colour shown as transparent.
#pragma once

#include <windows.h>

#include <string>

#include "GdiHandle.h"
#include "KbcBmp.h"
#include "OwnerDrawButton.h"

namespace UI {

class CKbcButton : public COwnerDrawButton {
public:
    enum EState { STATE_NORMAL = 0, STATE_HOVER = 1, STATE_PRESSED = 2, STATE_DISABLED = 3 };

    // Loads the strip for dpi and sizes the button to one frame, keeping its place.
    bool LoadImage(const std::wstring& path, COLORREF key, int dpi = BASE_DPI);
    void SetTooltipText(const std::wstring& text);
    // Normal (0) or disabled (3): sets the mouse state and the fixed state.
    // A disabled button also takes no clicks, so that a busy window cannot
    // be asked to start the same work twice.
    void SetState(int state);
    int GetFixedState() const { return m_nFixedState; }
    void SetFixedState(int state);
    int GetMouseState() const { return m_nMouseState; }
    // The frame drawn now.
    int FrameIndex() const { return m_nFixedState != 0 ? m_nFixedState : m_nMouseState; }
    void SetCursor(HCURSOR cursor) { m_hCursor = cursor; }
    const CKbcBmp& Image() const { return m_Bmp; }

    void DrawItem(const DRAWITEMSTRUCT& item) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Repaint();

    CKbcBmp m_Bmp;
    COLORREF m_crKey = RGB(255, 0, 255);
    CWindowHandle m_hTip;
    std::wstring m_strTip;
    bool m_bTracking = false;
    HCURSOR m_hCursor = nullptr;
    int m_nMouseState = STATE_NORMAL;
    int m_nFixedState = 0;
};

}  // namespace UI

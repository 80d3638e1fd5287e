// The layered background window: a per-pixel-alpha PNG behind the main
// window, centred on the screen and dragged together with it. It creates the
// main window (a modeless dialog it owns) when it opens.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "DialogBase.h"
#include "GdiPlus.h"

namespace UI {

// Drags a window with the left button held, and its partner with it to the
// same position (the background and the main window move as one).
class CPairDrag {
public:
    // False when the message is not one of the drag's.
    bool Handle(HWND hWnd, HWND hOther, UINT message, LPARAM lParam);

private:
    bool m_bDragging = false;
    POINT m_ptFrom = {0, 0};
};

class CBgDialog : public CDialogBase {
public:
    enum { IDD = 185 };

    // foreground: the main window's dialog, created from its own template
    // when this window opens.
    explicit CBgDialog(CDialogBase& foreground);
    ~CBgDialog() override;

    // The skin's PNG and the installation directory, where the copy
    // "temp.tmp" is read from. Set before the window opens.
    void SetPng(const std::wstring& pngPath, const std::wstring& appDir);
    CDialogBase& Foreground() { return m_Foreground; }
    bool HasImage() const { return static_cast<bool>(m_pImage); }
    // Moves this window to (x, y), as the main window does when dragged.
    void FollowTo(int x, int y);
    // The picture drawn again at dpi (the pair moved to another monitor).
    void ApplyDpi(int dpi);
    int Dpi() const { return m_nDpi; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void LayeredPaint();
    void LoadImageFor(int dpi);

    CDialogBase& m_Foreground;
    std::wstring m_strPng, m_strAppDir;
    CGdiplusSession m_Gdiplus;
    std::unique_ptr<Gdiplus::Image> m_pImage;
    BLENDFUNCTION m_Blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    CPairDrag m_Drag;
    int m_nDpi = 0;
    int m_nWidth = 0, m_nHeight = 0;  // the picture at m_nDpi
};

// The one background window, for the main window's dragging; null when none.
extern CBgDialog* g_pBgDialog;


}  // namespace UI

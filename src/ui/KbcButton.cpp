#include "KbcButton.h"

#include <commctrl.h>

namespace UI {

bool CKbcButton::LoadImage(const std::wstring& path, COLORREF key, int dpi)
{
    if (!m_Bmp.Load(path, dpi, key)) return false;
    m_crKey = key;
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, 0, 0, m_Bmp.FrameWidth(), m_Bmp.Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Repaint();
    return true;
}

void CKbcButton::SetTooltipText(const std::wstring& text)
{
    if (m_hWnd == nullptr) return;
    m_strTip = text;
    // What the player sees on hovering is what a screen reader says. Set
    // past the button's own handler, which would paint the button over a
    // background the skin has not drawn yet (black corners).
    if (!text.empty()) DefWindowProcW(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    TOOLINFOW info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(m_hWnd);
    info.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    info.lpszText = const_cast<wchar_t*>(m_strTip.c_str());
    if (!m_hTip) {
        m_hTip.Reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetParent(m_hWnd),
                                     nullptr, GetModuleHandleW(nullptr), nullptr));
        if (!m_hTip) return;
        SendMessageW(m_hTip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    } else {
        SendMessageW(m_hTip.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void CKbcButton::SetState(int state)
{
    m_nMouseState = state;
    m_nFixedState = state;
    if (m_hWnd) EnableWindow(m_hWnd, state != STATE_DISABLED);
    // A window whose keyboard focus is nowhere (its buttons were disabled
    // or hidden when it opened) gets it on the first button that can take it.
    const HWND parent = m_hWnd ? GetParent(m_hWnd) : nullptr;
    if (parent && state != STATE_DISABLED && IsWindowVisible(m_hWnd) && (GetFocus() == nullptr || GetFocus() == parent) &&
        GetActiveWindow() == parent)
        SendMessageW(parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hWnd), TRUE);
    Repaint();
}

void CKbcButton::SetFixedState(int state)
{
    m_nFixedState = state;
    Repaint();
}

void CKbcButton::Repaint()
{
    if (m_hWnd == nullptr) return;
    // The parent's picture under the button first, then the button: its key
    // colour shows what lies below, which must be the skin, not what the
    // screen held there before (black corners after a box or a dialog).
    HWND parent = GetParent(m_hWnd);
    RECT r;
    GetWindowRect(m_hWnd, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    RedrawWindow(parent, &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CKbcButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    m_Bmp.DrawFrame(item.hDC, FrameIndex(), m_crKey);
}

LRESULT CKbcButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool disabled = m_nMouseState == STATE_DISABLED;
    switch (message) {
    case WM_MOUSEMOVE:
        if (!disabled && !m_bTracking) {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof track;
            track.dwFlags = TME_HOVER | TME_LEAVE;
            track.hwndTrack = m_hWnd;
            track.dwHoverTime = 1;
            m_bTracking = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        if (!disabled) m_nMouseState = STATE_HOVER;
        Repaint();
        return 0;
    case WM_MOUSELEAVE:
        m_bTracking = false;
        if (!disabled) m_nMouseState = STATE_NORMAL;
        Repaint();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!disabled) m_nMouseState = STATE_PRESSED;
        break;
    case WM_LBUTTONUP:
        if (!disabled && m_bTracking) m_nMouseState = STATE_HOVER;
        break;
    case WM_SETCURSOR:
        if (m_hCursor) {
            ::SetCursor(m_hCursor);
            return TRUE;
        }
        break;
    case WM_ERASEBKGND:
        return TRUE;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

}  // namespace UI

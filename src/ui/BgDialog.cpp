#include "BgDialog.h"

#include "DpiScale.h"
#include "GdiHandle.h"
#include "ResourceIds.h"

namespace UI {

CBgDialog* g_pBgDialog = nullptr;

CBgDialog::CBgDialog(CDialogBase& foreground) : CDialogBase(IDD), m_Foreground(foreground)
{
    g_pBgDialog = this;
}

CBgDialog::~CBgDialog()
{
    if (g_pBgDialog == this) g_pBgDialog = nullptr;
}

void CBgDialog::SetPng(const std::wstring& pngPath, const std::wstring& appDir)
{
    m_strPng = pngPath;
    m_strAppDir = appDir;
}

BOOL CBgDialog::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_LAUNCHER), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (icon) SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    m_Gdiplus.Startup();

    LoadImageFor(WindowDpi(m_hWnd));
    RECT rect;
    GetWindowRect(m_hWnd, &rect);
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - (rect.right - rect.left) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - (rect.bottom - rect.top) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Layered before the main window exists: a window that turns layered
    // later may be put above the windows it owns (Wine does).
    LayeredPaint();
    // Owned, so that the main window stays above its background; the pair
    // shares its top left corner, as dragging keeps it.
    if (m_Foreground.Create(m_hWnd)) {
        HWND fg = m_Foreground.GetSafeHwnd();
        SetWindowPos(fg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(fg, SW_SHOW);
    }
    return TRUE;
}

void CBgDialog::LoadImageFor(int dpi)
{
    m_nDpi = ClampDpi(dpi);
    m_pImage.reset();
    int made = BASE_DPI;
    const std::wstring file = m_strPng.empty() ? std::wstring() : SkinVariant(m_strPng, m_nDpi, &made);
    // GDI+ keeps its file open while the image lives; a copy leaves the
    // skin's file free for updates.
    if (!file.empty() && m_Gdiplus.Running()) {
        const std::wstring copy = m_strAppDir + L"temp.tmp";
        if (CopyFileW(file.c_str(), copy.c_str(), FALSE)) {
            std::unique_ptr<Gdiplus::Image> image(new Gdiplus::Image(copy.c_str()));
            if (image->GetLastStatus() == Gdiplus::Ok && image->GetWidth() > 0) m_pImage = std::move(image);
        }
    }
    if (!m_pImage) return;
    m_nWidth = MulDiv(static_cast<int>(m_pImage->GetWidth()), m_nDpi, made);
    m_nHeight = MulDiv(static_cast<int>(m_pImage->GetHeight()), m_nDpi, made);
    SetWindowPos(m_hWnd, nullptr, 0, 0, m_nWidth, m_nHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBgDialog::ApplyDpi(int dpi)
{
    if (m_hWnd == nullptr || ClampDpi(dpi) == m_nDpi) return;
    LoadImageFor(dpi);
    LayeredPaint();
}

void CBgDialog::LayeredPaint()
{
    if (!m_pImage) return;
    const int w = m_nWidth, h = m_nHeight;
    CWindowDc screen(nullptr);
    CMemoryDc memory(CreateCompatibleDC(screen.Get()));
    // A 32-bit section keeps the PNG's alpha for UpdateLayeredWindow.
    BITMAPINFO info = TopDownDib32(w, h);
    void* bits = nullptr;
    CGdiBitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap) return;
    CSelection select(memory.Get(), bitmap.Get());
    {
        Gdiplus::Graphics graphics(memory.Get());
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        graphics.DrawImage(m_pImage.get(), 0, 0, w, h);
    }
    const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    if ((style & WS_EX_LAYERED) == 0) SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
    RECT rect;
    GetWindowRect(m_hWnd, &rect);
    POINT position = {rect.left, rect.top};
    SIZE size = {w, h};
    POINT source = {0, 0};
    UpdateLayeredWindow(m_hWnd, screen.Get(), &position, &size, memory.Get(), &source, 0, &m_Blend, ULW_ALPHA);
}

void CBgDialog::FollowTo(int x, int y)
{
    if (m_hWnd) SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CPairDrag::Handle(HWND hWnd, HWND hOther, UINT message, LPARAM lParam)
{
    const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_LBUTTONDOWN:
        if (!m_bDragging) {
            m_ptFrom = at;
            m_bDragging = true;
            SetCapture(hWnd);
        }
        return true;
    case WM_MOUSEMOVE: {
        RECT rect;
        if (!m_bDragging || !GetWindowRect(hWnd, &rect)) return true;
        const int x = rect.left + at.x - m_ptFrom.x, y = rect.top + at.y - m_ptFrom.y;
        SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (hOther) SetWindowPos(hOther, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return true;
    }
    case WM_LBUTTONUP:
        m_bDragging = false;
        ReleaseCapture();
        return true;
    default:
        return false;
    }
}

INT_PTR CBgDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_Drag.Handle(m_hWnd, m_Foreground.GetSafeHwnd(), message, lParam)) return TRUE;
    switch (message) {
    case WM_PAINT: {
        CPaintDc paint(m_hWnd);
        LayeredPaint();
        return TRUE;
    }
    case WM_DPICHANGED:
        ApplyDpi(HIWORD(wParam));
        return SetResult(0);
    case WM_DESTROY:
        m_pImage.reset();
        m_Gdiplus.Shutdown();
        break;
    default:
        break;
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}

}  // namespace UI

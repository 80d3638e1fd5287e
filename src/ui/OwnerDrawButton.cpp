#include "OwnerDrawButton.h"

namespace UI {

namespace {
const wchar_t kSelfProp[] = L"Tidewell.Button";
}

COwnerDrawButton::~COwnerDrawButton() { Detach(); }

bool COwnerDrawButton::Attach(HWND hDlg, int id)
{
    HWND hWnd = ::GetDlgItem(hDlg, id);
    if (hWnd == nullptr || m_hWnd != nullptr || FromHandle(hWnd) != nullptr) return false;
    m_hWnd = hWnd;
    SetPropW(hWnd, kSelfProp, this);
    m_pfnDefault = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&COwnerDrawButton::StaticProc)));
    OnAttached();
    return true;
}

void COwnerDrawButton::Detach()
{
    if (m_hWnd == nullptr) return;
    if (IsWindow(m_hWnd)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnDefault));
        RemovePropW(m_hWnd, kSelfProp);
    }
    m_hWnd = nullptr;
}

COwnerDrawButton* COwnerDrawButton::FromHandle(HWND hWnd)
{
    return static_cast<COwnerDrawButton*>(GetPropW(hWnd, kSelfProp));
}

LRESULT COwnerDrawButton::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(m_pfnDefault, m_hWnd, message, wParam, lParam);
}

LRESULT COwnerDrawButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Default(message, wParam, lParam);
}

LRESULT CALLBACK COwnerDrawButton::StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    COwnerDrawButton* self = FromHandle(hWnd);
    if (self == nullptr) return DefWindowProcW(hWnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        OutputDebugStringW(L"Tidewell: exception in a button procedure\n");
        result = 0;
    }
    if (message == WM_NCDESTROY) self->Detach();
    return result;
}

}  // namespace UI

#include "DialogBase.h"

#include <algorithm>

#include "OwnerDrawButton.h"

namespace UI {

namespace {
const wchar_t kSelfProp[] = L"Tidewell.Dialog";
}

CDialogBase::~CDialogBase()
{
    // A modeless dialog outliving its object would call into freed memory.
    if (m_hWnd && IsWindow(m_hWnd)) {
        RemovePropW(m_hWnd, kSelfProp);
        if (!m_bModal) DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialogBase::DoModal(HWND hOwner)
{
    m_bModal = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), hOwner,
                           &CDialogBase::StaticProc, reinterpret_cast<LPARAM>(this));
}

bool CDialogBase::Create(HWND hOwner)
{
    m_bModal = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), hOwner,
                              &CDialogBase::StaticProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialogBase::EndDialog(INT_PTR result)
{
    if (m_hWnd == nullptr) return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        DestroyWindow(m_hWnd);
}

CDialogBase* CDialogBase::FromHandle(HWND hWnd)
{
    return static_cast<CDialogBase*>(GetPropW(hWnd, kSelfProp));
}

bool CDialogBase::OnCommand(UINT id, UINT /*code*/)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
        EndDialog(id);
        return true;
    default:
        return false;
    }
}

INT_PTR CDialogBase::SetResult(LRESULT result)
{
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CDialogBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_KEYDOWN:
        // The focus on the window itself (its buttons were hidden or disabled
        // when it opened): Tab takes it to the first button, Shift+Tab to the last.
        if (wParam != VK_TAB) return FALSE;
        MarkKeyboardUsed(m_hWnd);
        if (HWND first = GetNextDlgTabItem(m_hWnd, nullptr, GetKeyState(VK_SHIFT) < 0))
            SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
        return SetResult(0);
    case WM_DRAWITEM: {
        // Owner-drawn buttons draw themselves.
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON)
            if (COwnerDrawButton* button = COwnerDrawButton::FromHandle(item->hwndItem)) {
                button->DrawItem(*item);
                // Where the keyboard is, once the player uses it (not every
                // system hides the focus from mouse users by itself); inside
                // the image, whatever its shape: the next frame drawn covers it.
                if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT) && KeyboardUsed(m_hWnd)) {
                    RECT r = item->rcItem;
                    const int inset = std::max<int>(2, std::min(r.right - r.left, r.bottom - r.top) / 4);
                    InflateRect(&r, -inset, -inset);
                    DrawFocusRect(item->hDC, &r);
                }
                return SetResult(TRUE);
            }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CDialogBase::StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        self->m_hWnd = hWnd;
        SetPropW(hWnd, kSelfProp, self);
    } else {
        self = FromHandle(hWnd);
    }
    if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG

    INT_PTR result = FALSE;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's frames.
        OutputDebugStringW(L"Tidewell: exception in a dialog procedure\n");
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(hWnd, kSelfProp);
        ForgetKeyboardUse(hWnd);
        self->m_hWnd = nullptr;
    }
    return result;
}

}  // namespace UI

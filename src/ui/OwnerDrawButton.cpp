#include "OwnerDrawButton.h"

#include "ButtonAccessible.h"

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
    if (message == WM_GETOBJECT) {
        if (const LRESULT answer = AnswerButtonObject(hWnd, wParam, lParam)) return answer;
    }
    // Enter presses the button that has the focus, as it does a push button
    // (Space does already): the dialog manager would send IDOK instead. Tab
    // and Shift+Tab are the buttons' own too: the launcher's main window is
    // modeless beside the modal background, whose dialog loop does not move
    // the main window's focus.
    const MSG* asked = reinterpret_cast<const MSG*>(lParam);
    if (message == WM_GETDLGCODE && asked && asked->message == WM_KEYDOWN &&
        (asked->wParam == VK_RETURN || asked->wParam == VK_TAB))
        return CallWindowProcW(self->m_pfnDefault, hWnd, message, wParam, lParam) | DLGC_WANTMESSAGE;
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        // Once per press: a held key repeats, a start or a repair must not.
        if (IsWindowEnabled(hWnd) && !(lParam & (1 << 30)))
            SendMessageW(GetParent(hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hWnd), BN_CLICKED),
                         reinterpret_cast<LPARAM>(hWnd));
        return 0;
    }
    if (message == WM_KEYDOWN && wParam == VK_TAB) {
        // The focus is drawn from now on, as after any keyboard use.
        MarkKeyboardUsed(GetParent(hWnd));
        SendMessageW(GetParent(hWnd), WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, FALSE);
        return 0;
    }
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

namespace {
const wchar_t kKeyboardUsedProp[] = L"Tidewell.KeyboardUsed";
}

void MarkKeyboardUsed(HWND window)
{
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetPropW(window, kKeyboardUsedProp, reinterpret_cast<HANDLE>(1));
}

bool KeyboardUsed(HWND window) { return GetPropW(window, kKeyboardUsedProp) != nullptr; }

void ForgetKeyboardUse(HWND window) { RemovePropW(window, kKeyboardUsedProp); }

}  // namespace UI

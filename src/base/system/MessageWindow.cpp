#include "MessageWindow.h"

namespace {
const wchar_t kClassName[] = L"TidewellMessageWindow";
}

CMessageWindow::CMessageWindow(Handler handler) : m_handler(std::move(handler))
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &CMessageWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    m_hWnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
}

CMessageWindow::~CMessageWindow()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CMessageWindow::Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CMessageWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self && message >= WM_USER && self->m_handler) {
        // Nothing may unwind through the system's frames.
        try {
            self->m_handler(message, wParam, lParam);
        } catch (...) {
            OutputDebugStringW(L"Tidewell: exception in a message handler\n");
        }
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

bool CMessageWindow::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        // Wakes for posted and sent messages alike.
        MsgWaitForMultipleObjectsEx(0, nullptr, (timeoutMs - elapsed) < 100 ? timeoutMs - elapsed : 100, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

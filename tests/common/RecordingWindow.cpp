#include "RecordingWindow.h"

namespace {
const wchar_t kClass[] = L"TidewellRecordingWindow";
}

CRecordingWindow::CRecordingWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &CRecordingWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    m_hWnd = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
}

CRecordingWindow::~CRecordingWindow()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CRecordingWindow::Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<CRecordingWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self && message >= WM_USER) {
        self->m_messages.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

std::vector<LPARAM> CRecordingWindow::Values(UINT message) const
{
    std::vector<LPARAM> values;
    for (const SRecordedMessage& m : m_messages)
        if (m.message == message) values.push_back(m.lParam);
    return values;
}

bool CRecordingWindow::Received(UINT message) const
{
    for (const SRecordedMessage& m : m_messages)
        if (m.message == message) return true;
    return false;
}

bool CRecordingWindow::WaitFor(UINT message, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!Received(message)) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

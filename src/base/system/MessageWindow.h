// A message-only window that hands every custom message (WM_USER and up) to
// a handler: how the console tools and the tests receive what the engine
// sends the launcher's main window.
#pragma once

#include <windows.h>

#include <functional>

class CMessageWindow {
public:
    typedef std::function<void(UINT message, WPARAM wParam, LPARAM lParam)> Handler;

    explicit CMessageWindow(Handler handler);
    ~CMessageWindow();
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    // Dispatches messages until done() or the time-out (ms) ends.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
    Handler m_handler;
};

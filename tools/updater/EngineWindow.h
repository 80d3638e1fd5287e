// A message-only window that receives what the engine sends the launcher's
// main window, for the console commands.
#pragma once

#include <windows.h>

#include <functional>

class CEngineWindow {
public:
    typedef std::function<void(UINT message, WPARAM wParam, LPARAM lParam)> Handler;

    explicit CEngineWindow(Handler handler);
    ~CEngineWindow();
    CEngineWindow(const CEngineWindow&) = delete;
    CEngineWindow& operator=(const CEngineWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    // Dispatches messages until done() or the time-out (ms) ends.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
    Handler m_handler;
};

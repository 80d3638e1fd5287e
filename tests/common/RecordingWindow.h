// A message-only window that records what the engine sends it.
#pragma once

#include <windows.h>

#include <vector>

struct SRecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CRecordingWindow {
public:
    CRecordingWindow();
    ~CRecordingWindow();
    HWND Handle() const { return m_hWnd; }
    const std::vector<SRecordedMessage>& Messages() const { return m_messages; }
    std::vector<LPARAM> Values(UINT message) const;
    bool Received(UINT message) const;
    void Clear() { m_messages.clear(); }
    // Dispatches messages until `message` has arrived or the time-out ends.
    bool WaitFor(UINT message, DWORD timeoutMs);

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND m_hWnd = nullptr;
    std::vector<SRecordedMessage> m_messages;
};

// A message-only window that records what the engine sends it.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/MessageWindow.h"

struct SRecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CRecordingWindow {
public:
    CRecordingWindow();
    HWND Handle() const { return m_window.Handle(); }
    const std::vector<SRecordedMessage>& Messages() const { return m_messages; }
    std::vector<LPARAM> Values(UINT message) const;
    bool Received(UINT message) const;
    void Clear() { m_messages.clear(); }
    // Dispatches messages until `message` has arrived or the time-out ends.
    bool WaitFor(UINT message, DWORD timeoutMs);

private:
    std::vector<SRecordedMessage> m_messages;
    CMessageWindow m_window;
};

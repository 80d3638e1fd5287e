#include "RecordingWindow.h"

CRecordingWindow::CRecordingWindow()
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) { m_messages.push_back({message, wParam, lParam}); })
{
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
    return m_window.PumpUntil([&] { return Received(message); }, timeoutMs);
}

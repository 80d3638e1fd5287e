// Helpers for tests of the engine and the Win32 code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "base/system/MessageWindow.h"

// A UTF-16LE log without its byte-order mark.
std::wstring LogText(const fs::path& path);
// Names of the .err logs in PatchCfg\PatchTemp\.
std::vector<std::string> ErrLogs();

// data\string.txt as shipped: UTF-16LE with BOM, one quoted entry per line.
void WriteStringTable(const fs::path& appDir, const std::vector<std::pair<std::wstring, std::wstring>>& entries);

// Texts the engine handed to its status listener.
std::vector<std::wstring>& ListenerTexts();
void RecordListenerText(const wchar_t* pText);

// What the test program's message-box hook answered (IDOK).
struct RecordedMessageBox { std::wstring text, caption; unsigned type; };
std::vector<RecordedMessageBox>& RecordedMessageBoxes();

// A message-only window that records what the engine sends it.
class CRecordingWindow {
public:
    CRecordingWindow();
    HWND Handle() const { return m_window.Handle(); }
    bool Received(UINT message) const { return !Values(message).empty(); }
    std::vector<LPARAM> Values(UINT message) const;  // the lParams of message, in order
    const std::vector<MSG>& Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }

private:
    std::vector<MSG> m_messages;
    CMessageWindow m_window;
};

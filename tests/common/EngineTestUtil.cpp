#include "EngineTestUtil.h"

std::wstring LogText(const fs::path& path)
{
    const std::string bytes = ReadBytes(path);
    std::wstring out;
    for (size_t i = bytes.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

std::vector<std::string> ErrLogs()
{
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator("PatchCfg/PatchTemp"))
        if (e.path().extension() == ".err") out.push_back(e.path().filename().string());
    return out;
}

void WriteStringTable(const fs::path& appDir, const std::vector<std::pair<std::wstring, std::wstring>>& entries)
{
    std::string bytes = "\xFF\xFE";
    for (const auto& e : entries)
        for (wchar_t ch : e.first + L" \"" + e.second + L"\"\r\n") bytes += {static_cast<char>(ch & 0xFF), static_cast<char>(ch >> 8)};
    WriteBytes(appDir / "data" / "string.txt", bytes);
}

std::vector<std::wstring>& ListenerTexts()
{
    static std::vector<std::wstring> texts;
    return texts;
}

void RecordListenerText(const wchar_t* pText) { ListenerTexts().push_back(pText); }

std::vector<RecordedMessageBox>& RecordedMessageBoxes()
{
    static std::vector<RecordedMessageBox> boxes;
    return boxes;
}

CRecordingWindow::CRecordingWindow()
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) {
          MSG m = {};
          m.message = message, m.wParam = wParam, m.lParam = lParam;
          m_messages.push_back(m);
      })
{
}

std::vector<LPARAM> CRecordingWindow::Values(UINT message) const
{
    std::vector<LPARAM> values;
    for (const MSG& m : m_messages)
        if (m.message == message) values.push_back(m.lParam);
    return values;
}

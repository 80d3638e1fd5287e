#include "EngineTestUtil.h"

std::wstring ReadUtf16File(const fs::path& path)
{
    std::string bytes = ReadBytes(path);
    std::wstring out;
    size_t i = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        i = 2;
    for (; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

void WriteStringTable(const fs::path& appDir,
                      const std::vector<std::pair<std::wstring, std::wstring>>& entries)
{
    std::wstring text;
    for (const auto& e : entries) text += e.first + L" \"" + e.second + L"\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t ch : text) {
        bytes.push_back(static_cast<char>(ch & 0xFF));
        bytes.push_back(static_cast<char>(ch >> 8));
    }
    WriteBytes(appDir / "data" / "string.txt", bytes);
}

std::vector<std::wstring>& ListenerTexts()
{
    static std::vector<std::wstring> texts;
    return texts;
}

void RecordListenerText(const wchar_t* pText) { ListenerTexts().push_back(pText); }

#include "TextTableFile.h"

namespace TextTable {

namespace {

std::wstring DecodeUtf16(const std::string& bytes, std::size_t start, bool bigEndian)
{
    std::wstring out;
    out.reserve((bytes.size() - start) / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        unsigned lo = static_cast<unsigned char>(bytes[i]);
        unsigned hi = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<wchar_t>(bigEndian ? (lo << 8 | hi) : (hi << 8 | lo)));
    }
    return out;
}

// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::wstring DecodeUtf8(const std::string& bytes, std::size_t start)
{
    std::wstring out;
    std::size_t i = start;
    const std::size_t n = bytes.size();
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < n) {
        unsigned c = at(i);
        unsigned cp;
        std::size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + len > n) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (std::size_t k = 1; k < len; ++k) {
            if ((at(i + k) & 0xC0) != 0x80) { ok = false; break; }
            cp = cp << 6 | (at(i + k) & 0x3F);
        }
        if (!ok) { out.push_back(0xFFFD); ++i; continue; }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

}  // namespace

std::wstring DecodeTextFile(const std::string& bytes, AnsiDecoder ansi)
{
    std::wstring raw;
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE)
        raw = DecodeUtf16(bytes, 2, false);
    else if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF)
        raw = DecodeUtf16(bytes, 2, true);
    else if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF)
        raw = DecodeUtf8(bytes, 3);
    else
        raw = ansi(bytes);

    std::wstring out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == L'\r' && i + 1 < raw.size() && raw[i + 1] == L'\n') continue;
        out.push_back(raw[i]);
    }
    return out;
}

std::vector<std::wstring> SplitReads(const std::wstring& text, std::size_t bufferSize)
{
    const std::size_t limit = bufferSize > 2 ? bufferSize - 2 : 1;
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && end - start < limit) {
            if (text[end++] == L'\n') break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end;
    }
    return pieces;
}

std::vector<std::wstring> Tokenize(const std::wstring& line)
{
    std::vector<std::wstring> tokens;
    std::wstring cur;
    bool quoted = false;
    auto flush = [&] {
        if (!cur.empty()) tokens.push_back(cur);
        cur.clear();
    };
    for (wchar_t ch : line) {
        if (ch == L'"') {
            if (quoted) flush();
            quoted = !quoted;
        } else if (quoted) {
            cur.push_back(ch);
        } else if (static_cast<unsigned>(ch) <= 0x20) {
            flush();
        } else {
            cur.push_back(ch);
        }
    }
    flush();
    return tokens;
}

void ParseText(const std::wstring& text, Entries& entries)
{
    for (const std::wstring& piece : SplitReads(text)) {
        std::vector<std::wstring> tokens = Tokenize(piece);
        if (tokens.size() != 2) continue;
        entries.texts[tokens[0]] = tokens[1];
        entries.order.push_back(tokens[0]);
    }
}

std::wstring ExpandLineBreaks(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
            out += L"\r\n";
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace TextTable

namespace TextTable {

bool FormatMatches(const std::wstring& format, const std::wstring& expected)
{
    std::wstring found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') continue;
        if (++i >= format.size()) return false;
        if (format[i] == L'%') continue;
        while (i < format.size() && std::wstring(L"-+ #0").find(format[i]) != std::wstring::npos) ++i;
        while (i < format.size() && ((format[i] >= L'0' && format[i] <= L'9') || format[i] == L'.')) ++i;
        if (i >= format.size()) return false;
        const wchar_t conv = format[i];
        if (std::wstring(L"sdiuxXfgc").find(conv) == std::wstring::npos) return false;
        found.push_back(conv);
    }
    return found == expected;
}

}  // namespace TextTable

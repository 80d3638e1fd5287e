#include "Utf8.h"

namespace Base {
namespace Utility {

bool Utf16FromUtf8(const std::string& utf8, std::wstring* utf16)
{
    utf16->clear();
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned long cp = 0;
        size_t len = 0;
        if (c < 0x80) {
            cp = c, len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F, len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F, len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07, len = 4;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            utf16->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            utf16->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            utf16->push_back(static_cast<wchar_t>(cp));
        }
        i += len;
    }
    return true;
}

std::string Utf8FromUtf16(const std::wstring& utf16)
{
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        unsigned long cp = static_cast<unsigned long>(utf16[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size()) {
            const unsigned long low = static_cast<unsigned long>(utf16[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

wchar_t FoldCase(wchar_t unit)
{
    const unsigned u = static_cast<unsigned>(unit) & 0xFFFF;
    auto minus = [unit](unsigned d) { return static_cast<wchar_t>(static_cast<unsigned>(unit) - d); };
    if (u >= 'a' && u <= 'z') return minus(0x20);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return minus(0x20);  // Latin-1
    if (u == 0xFF) return static_cast<wchar_t>(0x178);
    if (u >= 0x100 && u <= 0x17F && u != 0x130 && u != 0x131 && u != 0x138 && u != 0x149) {
        // Latin Extended-A: pairs, upper first, but for two runs that start odd.
        const bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        const bool lower = oddUpper ? (u % 2 == 0) : (u % 2 == 1);
        return lower ? minus(1) : unit;
    }
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return minus(0x20);  // Greek
    if (u >= 0x430 && u <= 0x44F) return minus(0x20);                // Cyrillic
    if (u >= 0x450 && u <= 0x45F) return minus(0x50);
    if (u >= 0x561 && u <= 0x586) return minus(0x30);                // Armenian
    if (u >= 0xFF41 && u <= 0xFF5A) return minus(0x20);              // full-width Latin
    return unit;
}

}  // namespace Utility
}  // namespace Base

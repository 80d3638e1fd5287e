// UTF-8 and UTF-16 without the platform: names from packages are checked on
// the operator's machine as the launcher will see them on the player's.
#pragma once

#include <string>

namespace Base {
namespace Utility {

// The UTF-16 units of valid UTF-8 (no overlong forms, surrogates or values
// past U+10FFFF), one unit per wchar_t whatever its width; false otherwise.
bool Utf16FromUtf8(const std::string& utf8, std::wstring* utf16);
// UTF-16 units (one per wchar_t) back to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const std::wstring& utf16);
// Upper case as Windows compares file names, for the scripts that have case
// (Latin, Greek, Cyrillic, Armenian, full-width Latin); other units unchanged.
wchar_t FoldCase(wchar_t unit);

}  // namespace Utility
}  // namespace Base

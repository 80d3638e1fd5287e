// Conversions between the local code page, UTF-8 and UTF-16.
#pragma once

#include <string>

namespace Base {
namespace Utility {

std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace Utility
}  // namespace Base

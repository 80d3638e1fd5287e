// Conversions between the local code page, UTF-8 and UTF-16.
#pragma once

#include <string>

namespace Base {
namespace Utility {

std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// A name read from an XML file: UTF-8 when it is valid UTF-8, else in the
// ANSI code page (files of the design's era); ASCII reads the same either way.
std::wstring TextToWide(const std::string& text);

}  // namespace Utility
}  // namespace Base

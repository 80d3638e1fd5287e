// printf-style formatting into a wide string of the right length.
#pragma once

#include <cstdarg>
#include <string>

namespace Base {
namespace Utility {

// False (and *out untouched) when the format cannot be measured.
bool FormatTextV(std::wstring* out, const wchar_t* format, va_list args);
std::wstring FormatText(const wchar_t* format, ...);

}  // namespace Utility
}  // namespace Base

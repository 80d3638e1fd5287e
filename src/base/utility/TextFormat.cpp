#include "TextFormat.h"

#include <cstdio>
#include <cwchar>

namespace Base {
namespace Utility {

bool FormatTextV(std::wstring* out, const wchar_t* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length < 0) return false;
    out->assign(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(&(*out)[0], out->size(), format, args);
    out->resize(static_cast<size_t>(length));
    return true;
}

std::wstring FormatText(const wchar_t* format, ...)
{
    std::wstring out;
    va_list args;
    va_start(args, format);
    FormatTextV(&out, format, args);
    va_end(args);
    return out;
}

}  // namespace Utility
}  // namespace Base

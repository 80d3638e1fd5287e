// Character-level rewrites of paths, names and URLs: the direction of the
// separators and the case of A-Z. Bytes above 0x7F are left alone.
#pragma once

#include <string>

namespace Base {
namespace Utility {

template <class S>
S WithBackslashes(S path)
{
    for (auto& c : path)
        if (c == '/') c = '\\';
    return path;
}

template <class S>
S WithSlashes(S path)
{
    for (auto& c : path)
        if (c == '\\') c = '/';
    return path;
}

template <class S>
S AsciiLower(S text)
{
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<typename S::value_type>(c - 'A' + 'a');
    return text;
}

}  // namespace Utility
}  // namespace Base

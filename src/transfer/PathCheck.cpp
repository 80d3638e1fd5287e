#include "PathCheck.h"

#include "base/utility/PathText.h"

namespace {

template <class S>
bool IsSafe(const S& path)
{
    typedef typename S::value_type C;
    if (path.empty()) return false;
    const C first = path[0];
    if (first == C('\\') || first == C('/')) return false;  // root or UNC
    if (path.size() >= 2 && path[1] == C(':')) return false;  // drive letter
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && path[end] != C('\\') && path[end] != C('/')) ++end;
        // Windows drops trailing dots and blanks, so ". ." or "..." acts like "..".
        bool onlyDots = end > start;
        for (size_t i = start; i < end; ++i)
            if (path[i] != C('.') && path[i] != C(' ')) onlyDots = false;
        if (onlyDots && !(end - start == 1 && path[start] == C('.'))) return false;
        // A colon elsewhere would name an alternate data stream or a device.
        for (size_t i = start; i < end; ++i)
            if (path[i] == C(':')) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

bool IsSafeRelativePath(const std::string& path) { return IsSafe(path); }
bool IsSafeRelativePath(const std::wstring& path) { return IsSafe(path); }

const std::wstring* FirstUnsafePath(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths)
        if (!IsSafe(path)) return &path;
    return nullptr;
}

std::string ZipIndexKey(const std::string& name)
{
    return Base::Utility::WithSlashes(Base::Utility::AsciiLower(name));
}

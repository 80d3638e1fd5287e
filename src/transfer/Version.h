// Versions are texts compared byte by byte (as unsigned values), the shorter
// one first when one is a prefix of the other; they are written with seven
// digits so that text order is number order.
#pragma once

#include <cstring>
#include <string>

inline int CompareVersion(const std::string& a, const std::string& b)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    const int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline bool VersionLess(const std::string& a, const std::string& b) { return CompareVersion(a, b) < 0; }

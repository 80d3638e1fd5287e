#include "Directories.h"

#include <windows.h>

std::wstring GetParentDir(const std::wstring& path)
{
    std::wstring p = path;
    for (wchar_t& ch : p)
        if (ch == L'/') ch = L'\\';
    const size_t pos = p.rfind(L'\\');
    return pos == std::wstring::npos ? std::wstring() : p.substr(0, pos);
}

void MakeDirectories(const std::wstring& dir)
{
    std::wstring p = dir;
    for (wchar_t& ch : p)
        if (ch == L'/') ch = L'\\';
    if (p.empty()) return;
    // Most calls find the directory in place; one look saves a call per level.
    if (DirectoryExists(p)) return;
    if (p.back() != L'\\') p.push_back(L'\\');
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == L'\\' && i > 0) CreateDirectoryW(p.substr(0, i).c_str(), nullptr);
    }
}

bool DirectoryExists(const std::wstring& dir)
{
    const DWORD a = GetFileAttributesW(dir.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

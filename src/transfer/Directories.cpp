#include "Directories.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "base/utility/PathText.h"
#include "base/utility/WinHandle.h"

using Base::Utility::WithBackslashes;

std::wstring GetParentDir(const std::wstring& path)
{
    const std::wstring p = WithBackslashes(path);
    const size_t pos = p.rfind(L'\\');
    return pos == std::wstring::npos ? std::wstring() : p.substr(0, pos);
}

void MakeDirectories(const std::wstring& dir)
{
    std::wstring p = WithBackslashes(dir);
    while (p.size() > 1 && p.back() == L'\\') p.pop_back();
    // Only the missing levels are created: a look at a directory is cheap,
    // creating one (even one that exists) asks the file system for much more.
    std::vector<std::wstring> missing;
    for (; !p.empty() && !DirectoryExists(p); p = GetParentDir(p)) missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) CreateDirectoryW(it->c_str(), nullptr);
}

bool DirectoryExists(const std::wstring& dir)
{
    const DWORD a = GetFileAttributesW(dir.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CurrentDirectory()
{
    std::wstring dir(GetCurrentDirectoryW(0, nullptr), L'\0');
    const DWORD n = dir.empty() ? 0 : GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), &dir[0]);
    dir.resize(n < dir.size() ? n : 0);
    if (!dir.empty() && dir.back() != L'\\') dir.push_back(L'\\');
    return dir;
}

std::wstring LongPathForm(const std::wstring& path)
{
    const std::wstring p = WithBackslashes(path);
    if (p.compare(0, 4, L"\\\\?\\") == 0) return p;
    if (p.size() >= 3 && p[1] == L':' && p[2] == L'\\') return L"\\\\?\\" + p;
    if (p.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + p.substr(2);
    return p;
}

bool FileExists(const std::wstring& path)
{
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileForced(const std::wstring& path)
{
    // Most files are not read-only: their attributes are left alone, which
    // halves what a deletion asks of the file system.
    if (DeleteFileW(path.c_str())) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != FALSE;
}

void WalkDirectory(const std::wstring& dir, const std::function<void(const std::wstring& path)>& onFile,
                   const std::function<void(const std::wstring& dir)>& afterDir)
{
    WIN32_FIND_DATAW fd;
    Base::Utility::CFindHandle find(FindFirstFileW((dir + L"*").c_str(), &fd));
    if (find) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                WalkDirectory(dir + name + L"\\", onFile, afterDir);
            else
                onFile(dir + name);
        } while (FindNextFileW(find.Get(), &fd));
    }
    find.Reset();
    if (afterDir) afterDir(dir);
}

void RemoveEmptyDirectories(const std::wstring& dir, bool keepDir)
{
    WalkDirectory(dir, [](const std::wstring&) {}, [&](const std::wstring& d) {
        if (!keepDir || d != dir) RemoveDirectoryW(d.c_str());
    });
}

bool CDiskBudget::Take(DWORD size)
{
    if (m_left < size) {
        m_left = 0;
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    m_left -= size;
    return true;
}

bool IsDiskFullError(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

bool WriteAllBytes(HANDLE file, const void* data, DWORD size, CDiskBudget* budget)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (budget && !budget->Take(size)) return false;
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, p, size, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

bool FreeDiskBytes(const std::wstring& dir, std::uint64_t* bytes, const CDiskBudget* budget)
{
    ULARGE_INTEGER available = {};
    std::wstring d = dir.empty() ? std::wstring(L".") : dir;
    if (!GetDiskFreeSpaceExW(d.c_str(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    if (budget && budget->Left() < *bytes) *bytes = budget->Left();
    return true;
}

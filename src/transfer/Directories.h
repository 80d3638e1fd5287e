// Directory and file helpers of the downloader, the zip reader, the
// installer and the engine's clean-up.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Everything before the last backslash, forward slashes taken as backslashes;
// empty when there is none.
std::wstring GetParentDir(const std::wstring& path);

// Creates every directory of the path, left to right; existing ones and drive
// roots are passed over silently.
void MakeDirectories(const std::wstring& dir);

bool DirectoryExists(const std::wstring& dir);

// The current directory, ending with a backslash.
std::wstring CurrentDirectory();
// The \\?\ form of an absolute path, which every file call takes past
// MAX_PATH (a game deep in a folder tree); other paths stay as they are.
std::wstring LongPathForm(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Clears a read-only attribute, then deletes the file.
bool DeleteFileForced(const std::wstring& path);

// Walks dir (ending with a backslash) depth first in listing order: onFile
// gets every file's path; afterDir, when given, each directory (ending with
// a backslash) once its contents have been walked, dir itself last.
void WalkDirectory(const std::wstring& dir, const std::function<void(const std::wstring& path)>& onFile,
                   const std::function<void(const std::wstring& dir)>& afterDir = nullptr);

// Removes every empty directory below dir (ending with a backslash), and dir
// itself when it ends up empty and keepDir is false.
void RemoveEmptyDirectories(const std::wstring& dir, bool keepDir);

// A volume that fills up, given to what writes (tests break downloads and
// installations with it): at most the given bytes more are written through
// WriteAllBytes, and no more is reported free.
class CDiskBudget {
public:
    explicit CDiskBudget(std::uint64_t bytes) : m_left(bytes) {}
    // False (ERROR_DISK_FULL, the budget spent) when size no longer fits.
    bool Take(DWORD size);
    std::uint64_t Left() const { return m_left; }

private:
    std::atomic<std::uint64_t> m_left;
};

// Writes every byte; false with the Win32 error set (ERROR_DISK_FULL, ...).
// Downloads, unpacked entries and journal lines are written through it.
bool WriteAllBytes(HANDLE file, const void* data, DWORD size, CDiskBudget* budget = nullptr);
bool IsDiskFullError(DWORD error);
// Bytes the caller may still write on the volume of dir; false when unknown.
bool FreeDiskBytes(const std::wstring& dir, std::uint64_t* bytes, const CDiskBudget* budget = nullptr);

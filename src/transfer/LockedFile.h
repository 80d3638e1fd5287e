// Files another program holds open (the running game, an antivirus): waited
// for with back-off, and named where Windows can tell who holds them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The errors of a file in use (not of a file that may not be written).
bool IsLockError(DWORD error);

struct SLockWait {
    DWORD totalMs = 30000;
    // Told once per file when the waiting starts.
    std::function<void(const std::wstring& path)> onWait;
};

// Runs op until it succeeds, fails otherwise than by a lock, or the wait is
// over; GetLastError is op's last error.
bool RetryWhileLocked(const std::wstring& path, const SLockWait& wait, const std::function<bool()>& op);

// The programs that hold path open, "Game.exe (pid 12)" joined by ", ";
// empty when Windows cannot tell.
std::wstring HoldersOf(const std::wstring& path);

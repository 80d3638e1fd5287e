#include "LockedFile.h"

#include <restartmanager.h>

#include <algorithm>

#include <vector>

bool IsLockError(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

bool RetryWhileLocked(const std::wstring& path, const SLockWait& wait, const std::function<bool()>& op)
{
    const ULONGLONG start = GetTickCount64();
    DWORD pause = 50;
    bool told = false;
    for (;;) {
        if (op()) return true;
        const DWORD error = GetLastError();
        const ULONGLONG waited = GetTickCount64() - start;
        if (!IsLockError(error) || waited >= wait.totalMs) {
            SetLastError(error);
            return false;
        }
        if (!told && wait.onWait) wait.onWait(path);
        told = true;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, wait.totalMs - waited)));
        pause = pause < 1000 ? pause * 2 : 1000;
    }
}

std::wstring HoldersOf(const std::wstring& path)
{
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return L"";
    std::wstring names;
    LPCWSTR files[] = {path.c_str()};
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        RmGetList(session, &needed, &count, nullptr, &reasons) == ERROR_MORE_DATA && needed > 0) {
        std::vector<RM_PROCESS_INFO> found(needed);
        count = needed;
        if (RmGetList(session, &needed, &count, found.data(), &reasons) == ERROR_SUCCESS) {
            for (UINT i = 0; i < count; ++i) {
                if (!names.empty()) names += L", ";
                names += std::wstring(found[i].strAppName) + L" (pid " +
                         std::to_wstring(found[i].Process.dwProcessId) + L")";
            }
        }
    }
    RmEndSession(session);
    return names;
}

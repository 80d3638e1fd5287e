#include "PatchApp.h"

#include <algorithm>

const wchar_t kInstanceMutexName[] = L"{973BBCEA-F90F-44ba-A82E-6D13D6F0255D}";
const UINT g_msgRestoreWindow = RegisterWindowMessageW(L"{DBD6D328-4631-405b-B665-01E868C18EA1}");
int g_nInstanceRetry = 0;

bool CPatchApp::CheckSingleInstance()
{
    for (;;) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
        const DWORD error = GetLastError();
        m_hMutex.Reset(mutex);
        if (error != ERROR_ALREADY_EXISTS) return true;
        if (g_nInstanceRetry == 3) return false;
        std::transform(m_strExeName.begin(), m_strExeName.end(), m_strExeName.begin(), towlower);
        // Started under the game's own name, the other instance may be on its
        // way out: wait for it a little instead of waking it.
        if (_wcsicmp(m_strExeName.c_str(), L"TIDEWELL.exe") != 0) {
            DWORD recipients = BSM_APPLICATIONS;
            BroadcastSystemMessageW(BSF_NOHANG, &recipients, g_msgRestoreWindow, 0, 0);
            return false;
        }
        m_hMutex.Reset();
        Sleep(200);
        ++g_nInstanceRetry;
    }
}

// The installation step of the engine's threads: install the current
// package, save the versions, clean up, or undo everything on failure.
#include "PatchInstaller.h"
#include "app/StringTable.h"
#include "base/utility/StrConv.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

std::wstring CurrentDirectory()
{
    wchar_t buf[MAX_PATH * 2];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, buf);
    std::wstring dir(buf, n < MAX_PATH * 2 ? n : 0);
    if (!dir.empty() && dir.back() != L'\\') dir.push_back(L'\\');
    return dir;
}

}  // namespace

bool CUpdateEngine::InstallPackage(float, float progressTo)
{
    const std::wstring gameDir = CurrentDirectory();
    m_Journal = CInstallJournal(gameDir);
    CPatchInstaller installer(m_Journal);
    installer.SetWindow(m_hWnd, WM_DOWNLOAD_PROGRESS);
    installer.SetGameDir(gameDir);
    installer.SetTempDir(gameDir + L"PatchCfg\\PatchTemp\\");
    installer.SetPackage(Base::Utility::AnsiToWide(m_strPackagePath));
    const bool ok = installer.ExtractPackage() && installer.CopyFiles() && installer.VerifyFiles();
    m_nInstallError = installer.Error();
    if (!ok) return false;
    Progress(8, progressTo);
    return true;
}

bool CUpdateEngine::Setup(float, float progressTo)
{
    m_nInstallError = INSTALL_OK;
    bool ok = InstallPackage(0.3f, 1.0f);
    if (!ok) {
        Rollback(0, 0);
    } else if (m_strManualPatchPath.empty() && !SaveVersions()) {
        m_nInstallError = INSTALL_VERSIONS_NOT_SAVED;
        Rollback(0, 0);
        if (m_hWnd) SendMessageW(m_hWnd, WM_AUTOPATCH_STOP, 0, 0);
        ok = false;
    }
    if (!ok) {
        SetLog(LOG_TO_FILE, L"----------------Setup error quit--------------------");
        CloseLog(false);
        return false;
    }
    m_Journal.Commit();
    SetLog(LOG_TO_FILE, L"------------------\r\nInstall files complete!");
    DeleteTempFiles(0, 0);
    SetLog(LOG_TO_FILE, L"------------------\r\nSetup all complete!");
    Progress(8, progressTo);
    // Finished before the window hears of it: its handler may start the next run.
    m_nFinished = 1;
    if (m_hWnd) SendMessageW(m_hWnd, WM_UPDATE_COMPLETE, 0, 0);
    return true;
}

void CUpdateEngine::Rollback(float, float)
{
    m_Journal.Rollback([this](const std::wstring& path) { SetLog(LOG_TO_FILE, L"rollback file:%s", path.c_str()); });
}

bool CUpdateEngine::RecoverInstallation()
{
    return CInstallJournal::Recover(CurrentDirectory(), [this](const std::wstring& path) {
        SetLog(LOG_TO_FILE, L"rollback file:%s", path.c_str());
    });
}

void CUpdateEngine::DeleteTempFiles(float, float)
{
    SetLog(LOG_TO_FILE | LOG_TO_INFO, L"%s", LocalText(L"DELETE_TEMP_FILES"));
    DeleteFilesInDir(m_strTempDir);
}

void CUpdateEngine::DeleteFilesInDir(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::wstring log = GetLogPath();
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteFilesInDir(path + L"\\");
            continue;
        }
        // The open log would vanish with everything written to it later.
        if (IsLogOpen() && _wcsicmp(path.c_str(), log.c_str()) == 0) continue;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileW(path.c_str())) {
            SetLog(LOG_TO_FILE, L"%s file delete succeed!", path.c_str());
        } else {
            const DWORD error = GetLastError();
            SetLog(LOG_TO_FILE, L"%s file cannnot delete,ErrorCode:%u", path.c_str(), error);
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

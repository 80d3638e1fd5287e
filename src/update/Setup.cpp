// The installation step of the engine's threads: install the current
// package, save the versions, clean up, or undo everything on failure.
#include "Messages.h"
#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "transfer/Directories.h"
#include "transfer/LockedFile.h"
#include "transfer/PatchInstaller.h"

namespace {

CInstallJournal::Logger RollbackLogger(CUpdateEngine& engine)
{
    return [&engine](const std::wstring& path, const wchar_t* ignored) {
        if (ignored)
            engine.SetLog(LOG_TO_FILE, L"Warnning: rollback of %s ignored: %s", path.c_str(), ignored);
        else
            engine.SetLog(LOG_TO_FILE, L"rollback file:%s", path.c_str());
    };
}

}  // namespace

bool CUpdateEngine::InstallPackage(float, float progressTo)
{
    const std::wstring gameDir = LongPathForm(CurrentDirectory());
    m_Journal = CInstallJournal(gameDir);
    CPatchInstaller installer(m_Journal);
    installer.SetWindow(m_hWnd);
    installer.SetLogSink(FileLogSink());
    installer.SetProgressSink([this](std::uint32_t permille) {
        if (m_hWnd) SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, 0, static_cast<LPARAM>(permille));
    });
    installer.SetGameDir(gameDir);
    installer.SetFaults(m_InstallFaults);
    installer.SetDiskBudget(m_pDiskBudget);
    SLockWait wait;
    wait.totalMs = m_Transfer.LockWaitMs();
    wait.onWait = [this, gameDir](const std::wstring& path) {
        const std::wstring rel = path.rfind(gameDir, 0) == 0 ? path.substr(gameDir.size()) : path;
        SetLog(LOG_TO_INFO, L"%s", FormatLocalText(L"WAITING_LOCKED_FILE", L"s", rel.c_str()).c_str());
        SetLog(LOG_TO_FILE, L"Warnning: %s is in use by %s: waiting", rel.c_str(),
               HoldersOf(path).empty() ? L"another program" : HoldersOf(path).c_str());
    };
    installer.SetLockWait(wait);
    installer.SetTempDir(gameDir + L"PatchCfg\\PatchTemp\\");
    installer.SetPackage(Base::Utility::Utf8ToWide(m_strPackagePath));
    // A downloaded package must make the step it was fetched for.
    if (m_strManualPatchPath.empty()) installer.SetExpectedStep(m_Route.StepFrom(), m_Route.StepTo());
    const bool ok = installer.ExtractPackage() && installer.CopyFiles() && installer.VerifyFiles();
    m_Result.SetInstallError(installer.Error());
    m_strInstalledVersion = Base::Utility::WideToAnsi(installer.InternalVersion());
    if (!ok) {
        // The downloaded package stays for the next run; its unpacked files do not.
        installer.DiscardUnpacked();
        const EInstallError error = installer.Error();
        Fault(FaultOfInstallError(error));
        if (error == INSTALL_FILE_LOCKED) {
            // The holder's name where the system tells it, else the file's.
            std::wstring detail = installer.LockHolders();
            if (detail.empty()) detail = FormatLocalText(L"LOCKED_FILE_USER", L"s", installer.LockedPath().c_str());
            if (detail.empty()) detail = installer.LockedPath();
            m_Result.SetFailureDetail(detail);
        }
        // The window hears of an unusable package and of one for other versions.
        if (error == INSTALL_BAD_PACKAGE || error == INSTALL_REFUSED_NAME || error == INSTALL_BOUND_EXCEEDED)
            Notify(WM_PACK_FILELIST_ERROR);
        if (error == INSTALL_VERSION_RANGE) Notify(WM_PACK_VERSION_ERROR);
        return false;
    }
    Progress(PROGRESS_TOTAL, progressTo);
    return true;
}

bool CUpdateEngine::InstallWholePackage()
{
    // The installer's line named the file and why; nothing in the game changed.
    SetLog(LOG_TO_FILE, L"Warnning: delta package %s abandoned: the whole-file package follows",
           Base::Utility::Utf8ToWide(m_strPackagePath).c_str());
    DeleteFileForced(Base::Utility::Utf8ToWide(m_strPackagePath));
    m_Route.SetPreferDelta(false);
    const EStepResult downloaded = DownloadAllPatchFiles(0.0f, 0.3f);
    m_Route.SetPreferDelta(true);
    if (downloaded != STEP_SUCCEEDED) return false;
    m_Result.SetInstallError(INSTALL_OK);
    return InstallPackage(0.3f, 1.0f);
}

bool CUpdateEngine::Setup(float, float progressTo)
{
    m_Result.SetInstallError(INSTALL_OK);
    // A package opened by hand is trusted as little as a downloaded one.
    if (!m_strManualPatchPath.empty() && !VerifyLocalPackage(Base::Utility::Utf8ToWide(m_strPackagePath))) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"MANUAL_SIGNATURE_REFUSED"));
        m_Result.SetOutcome(OUTCOME_INSTALL_FAILED);
        SetLog(LOG_TO_FILE, L"----------------Setup error quit--------------------");
        CloseLog(false);
        Notify(WM_RUN_FAILED);
        return false;
    }
    bool ok = InstallPackage(0.3f, 1.0f);
    if (!ok && (m_Result.InstallError() == INSTALL_DELTA_BASE || m_Result.InstallError() == INSTALL_DELTA_DAMAGED) &&
        m_Route.IsDelta() && m_strManualPatchPath.empty())
        ok = InstallWholePackage();
    if (!ok) {
        Rollback(0, 0);
        m_Result.SetOutcome(OUTCOME_INSTALL_FAILED);
    } else if (m_strManualPatchPath.empty() && !SaveVersions(m_strInstalledVersion)) {
        m_Result.SetInstallError(INSTALL_VERSIONS_NOT_SAVED);
        if (IsDiskFullError(GetLastError())) {
            SetLog(LOG_TO_FILE, L"Error:disk full: the versions cannot be saved");
            Fault(FAULT_DISK_FULL);
        }
        Rollback(0, 0);
        m_Result.SetOutcome(OUTCOME_INSTALL_FAILED);
        Notify(WM_AUTOPATCH_STOP);
        ok = false;
    }
    if (!ok) {
        SetLog(LOG_TO_FILE, L"----------------Setup error quit--------------------");
        CloseLog(false);
        // A package for other versions and versions that cannot be saved have their own messages.
        if (m_Result.InstallError() != INSTALL_VERSION_RANGE && m_Result.InstallError() != INSTALL_VERSIONS_NOT_SAVED)
            Notify(WM_RUN_FAILED);
        return false;
    }
    m_Journal.Commit();
    SetLog(LOG_TO_FILE, L"------------------\r\nInstall files complete!");
    DeleteTempFiles(0, 0);
    SetLog(LOG_TO_FILE, L"------------------\r\nSetup all complete!");
    Progress(PROGRESS_TOTAL, progressTo);
    // Finished before the window hears of it: its handler may start the next run.
    m_nFinished = 1;
    m_Result.SetOutcome(OUTCOME_INSTALLED);
    Notify(WM_UPDATE_COMPLETE);
    return true;
}

void CUpdateEngine::Rollback(float, float)
{
    std::wstring why;
    if (m_Journal.Rollback(RollbackLogger(*this), &why) == RECOVERY_DAMAGED) NeedsRepair(why);
}

ERecovery CUpdateEngine::RecoverInstallation()
{
    std::wstring why;
    const ERecovery result = CInstallJournal::Recover(LongPathForm(CurrentDirectory()), RollbackLogger(*this), &why);
    if (result == RECOVERY_DAMAGED) NeedsRepair(why);
    return result;
}

void CUpdateEngine::NeedsRepair(const std::wstring& why)
{
    SetLog(LOG_TO_FILE, L"Error:the installation needs repair: the journal %s cannot be trusted (%s); the backups in %s are kept",
           m_Journal.JournalPath().c_str(), why.c_str(), m_Journal.BackupDir().c_str());
    Fault(FAULT_NEEDS_REPAIR);
    m_Result.SetFailureDetail(L"PatchCfg\\PatchBackup");
}

void CUpdateEngine::DeleteTempFiles(float, float)
{
    SetLog(LOG_TO_FILE | LOG_TO_INFO, L"%s", LocalText(L"DELETE_TEMP_FILES"));
    DeleteFilesInDir(m_strTempDir);
    RemoveEmptyDirectories(m_strTempDir, true);
}

void CUpdateEngine::DeleteFilesInDir(const std::wstring& dir)
{
    const std::wstring log = GetLogPath();
    WalkDirectory(dir, [&](const std::wstring& path) {
        // The open log would vanish with everything written to it later.
        if (IsLogOpen() && _wcsicmp(path.c_str(), log.c_str()) == 0) return;
        if (DeleteFileForced(path)) {
            SetLog(LOG_TO_FILE, L"%s file delete succeed!", path.c_str());
        } else {
            const DWORD error = GetLastError();
            SetLog(LOG_TO_FILE, L"%s file cannnot delete,ErrorCode:%u", path.c_str(), error);
        }
    });
}

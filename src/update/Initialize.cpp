#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "base/utility/SystemError.h"
#include "base/utility/WinHandle.h"
#include "transfer/Directories.h"

bool CUpdateEngine::Initialize(HWND hWnd, bool bInternet, InfoOutputFunCallback info,
                               ProgressFunCallback single, ProgressFunCallback total)
{
    m_bInitialized = false;
    SetInfoOutputCallback(info);
    SetSingleProgressCallback(single);
    SetTotalProgressCallback(total);
    m_strTempDir = L"PatchCfg\\PatchTemp\\";
    m_hWnd = hWnd;
    m_bInternetUpdate = bInternet;
    m_strInstallDir = Base::Utility::WideToUtf8(CurrentDirectory());

    InitLogSystem();
    ClearFault();
    // A folder the player may not write (under Program Files, read-only) is
    // said before anything is fetched, not found half-way through an install.
    std::wstring unwritable;
    if (!CanWriteInstallation(&unwritable)) {
        SetLog(LOG_TO_FILE, L"Error:not writable: %s cannot be written (%s): nothing is updated", unwritable.c_str(),
               SystemErrorText(GetLastError()).c_str());
        Fault(FAULT_NOT_WRITABLE);
        m_Result.SetFailureDetail(unwritable);
        CloseLog(false);
        return false;
    }
    // An installation cut short by a crash is undone before anything reads the
    // files; one that cannot be undone stops the engine.
    // The installer's and the journal's files are named past MAX_PATH.
    m_Journal = CInstallJournal(LongPathForm(CurrentDirectory()));
    if (RecoverInstallation() == RECOVERY_DAMAGED) {
        m_Result.SetOutcome(OUTCOME_NEEDS_REPAIR);
        CloseLog(false);
        return false;
    }
    if (!initBasic() || !initNet()) {
        if (Fault() == FAULT_NONE) m_Result.SetFailureDetail(L"PatchCfg\\NewUpdateCfg.xml");
        CloseLog(false);
        return false;
    }
    if (!m_Signatures.Enabled())
        SetLog(LOG_TO_FILE, L"Warnning: no trusted keys configured (TrustedKeys): updates are not verified");
    if (!m_hStopEvent) m_hStopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, L"StopDownload"));
    if (!m_hStopEvent) {
        SetLog(LOG_TO_FILE, L"CreateEvent:StopDownload Failed! ErrorCode:%u", GetLastError());
        CloseLog(false);
        return false;
    }
    m_bInitialized = true;
    return true;
}

bool CUpdateEngine::CanWriteInstallation(std::wstring* folder)
{
    const std::wstring gameDir = CurrentDirectory();
    for (const std::wstring& dir : {gameDir, gameDir + L"PatchCfg\\"}) {
        if (!DirectoryExists(dir)) continue;
        Base::Utility::CFileHandle probe(CreateFileW((dir + L"write.probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        const DWORD error = GetLastError();
        if (!probe && (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)) {
            *folder = dir;
            SetLastError(error);
            return false;
        }
    }
    return true;
}

bool CUpdateEngine::initNet()
{
    SetLog(LOG_TO_FILE, L"initNet:Begin");
    if (!InetDownload.Init()) {
        SetLog(LOG_TO_FILE, L"initNet::InetDownload.Init() function failed");
        return false;
    }
    InetDownload.SetProgressCallback(&CUpdateEngine::ShowDownloadProgress);
    InetDownload.SetCancelFlag(&m_bCancelTransfer);
    InetDownload.SetDigests(true);
    SetLog(LOG_TO_FILE, L"initNet:Succeed!");
    return true;
}

#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
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
    // An installation cut short by a crash is undone before anything reads the
    // files; one that cannot be undone stops the engine.
    m_Journal = CInstallJournal(CurrentDirectory());
    if (RecoverInstallation() == RECOVERY_DAMAGED) {
        m_Outcome = OUTCOME_NEEDS_REPAIR;
        CloseLog(false);
        return false;
    }
    if (!initBasic() || !initNet()) {
        if (Fault() == FAULT_NONE) m_strFailureDetail = L"PatchCfg\\NewUpdateCfg.xml";
        CloseLog(false);
        return false;
    }
    if (!m_bVerifySignatures)
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

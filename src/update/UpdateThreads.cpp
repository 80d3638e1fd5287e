// The start operations of the window and the worker threads they start.
#include <process.h>

#include <exception>
#include <memory>

#include "ChunkUpdate.h"
#include "Messages.h"
#include "UpdateEngine.h"
#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"

int g_bTestServer = 0;

namespace {

unsigned __stdcall WorkerEntry(void* p)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(p));
    (*body)();
    return 0;
}

// The test variant of an update-information address: every ".zip" goes and
// "_qa.zip" ends it.
std::string TestServerUrl(std::string url)
{
    for (size_t at; (at = url.find(".zip")) != std::string::npos;) url.erase(at, 4);
    return url + "_qa.zip";
}

}  // namespace

bool CUpdateEngine::StartWorker(std::function<void()> body)
{
    m_Result.SetOutcome(OUTCOME_RUNNING);
    ClearFault();
    // Nothing may unwind out of the thread (the process would end): a run
    // that throws ends as failed, with the reason in the log.
    auto* start = new std::function<void()>([this, body = std::move(body)] {
        const char* what = nullptr;
        try {
            body();
            return;
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            what = "an unknown exception";
        }
        try {
            SetLog(LOG_TO_FILE, L"Error:internal: the run stopped on %s", Base::Utility::AnsiToWide(what).c_str());
        } catch (...) {
        }
        m_Result.SetOutcome(OUTCOME_INTERNAL_ERROR);
        Notify(WM_RUN_FAILED);
    });
    const uintptr_t h = _beginthreadex(nullptr, 0, &WorkerEntry, start, 0, nullptr);
    if (h == 0) {
        delete start;
        return false;
    }
    m_hWorker.Reset(reinterpret_cast<HANDLE>(h));
    return true;
}

void CUpdateEngine::EnsureLogOpen()
{
    // A failed run closed the log; the next one writes a log of its own.
    if (!IsLogOpen()) InitLogSystem();
}

void CUpdateEngine::Notify(UINT message)
{
    if (m_hWnd) SendMessageW(m_hWnd, message, 0, 0);
}

bool CUpdateEngine::StartAutopatch()
{
    if (!m_bInitialized) return false;
    EnsureLogOpen();
    if (!m_vecUpdateInfoURL.empty()) SetLog(LOG_TO_FILE, L"Start Autopatch");
    m_nFinished = 0;
    m_nRunMode = RUNMODE_GET_ALL_UPDATEINFO;
    return StartWorker([this] { GetAllUpdateInfoThread(); });
}

void CUpdateEngine::GetAllUpdateInfoThread()
{
    if (m_vecUpdateInfoURL.empty()) {
        m_Result.SetOutcome(OUTCOME_NO_ADDRESS);
        return;
    }
    auto address = [](const std::string& url) { return g_bTestServer ? TestServerUrl(url) : url; };
    // Each failure names what follows it: the address again, the next one, or none.
    auto next = [&](size_t i, int attempt) {
        const std::string url = address(m_vecUpdateInfoURL[i]);
        const std::wstring then = attempt < 4 ? L"the same address again"
                                  : i + 1 < m_vecUpdateInfoURL.size()
                                      ? L"the next address, " + Base::Utility::AnsiToWide(address(m_vecUpdateInfoURL[i + 1]))
                                      : std::wstring(L"none: every address failed");
        SetLog(LOG_TO_FILE, L"Warnning: update information from %s failed; next: %s",
               Base::Utility::AnsiToWide(url).c_str(), then.c_str());
    };
    EStepResult result = DownLoadParseUpdateInfo(address(m_vecUpdateInfoURL[0]));
    if (result == STEP_FAILED) next(0, 0);
    for (size_t i = 0; result == STEP_FAILED && i < m_vecUpdateInfoURL.size(); ++i) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            result = DownLoadParseUpdateInfo(address(m_vecUpdateInfoURL[i]));
            if (result != STEP_FAILED) break;
            next(i, attempt);
            Sleep(100);
        }
    }
    if (result != STEP_FAILED) {
        m_nFinished = 1;
        m_Result.SetOutcome(OUTCOME_INFO_READY);
        Notify(WM_UPDATE_INFO_READY);
    } else {
        // Closed before the window hears of it: its handler may start a new run.
        CloseLog(false);
        m_Result.SetOutcome(OUTCOME_INFO_FAILED);
        Notify(WM_DOWNLOADED_ALLINFO_ERROR);
    }
}

bool CUpdateEngine::StartUpdate(bool bTelecom, unsigned index)
{
    if (!m_bInitialized || m_vecPatchServer.empty() || index >= m_vecPatchServer.size()) return false;
    const SPatchServer server = m_vecPatchServer[index];
    if (server.url.empty()) {
        ShowMessageBox(m_hWnd, LocalText(L"AREA_NO_PATCHSERVER"), LocalText(L"UPDATE_ERROR"), MB_ICONERROR);
        return false;
    }
    EnsureLogOpen();
    PreparePlan(server, bTelecom);
    // An automatic update saves its versions, also after a hand-opened package.
    m_strManualPatchPath.clear();
    m_nRunMode = RUNMODE_AUTO;
    m_nFinished = 0;
    return StartWorker([this] { AutoUpdateThread(); });
}

void CUpdateEngine::AutoUpdateThread()
{
    const EStepResult compared = DownLoadParseCmpFile();
    if (compared == STEP_EQUAL_VERSIONS) {
        CloseLog(true);
        m_Result.SetOutcome(OUTCOME_UP_TO_DATE);
        Notify(WM_START_GAME);
        return;
    }
    if (compared == STEP_FAILED) {
        m_Result.SetFailureDetail(L"CurVersion (PatchCfg\\NewUpdateCfg.xml)");
        CloseLog(false);
        m_Result.SetOutcome(OUTCOME_NO_LOCAL_VERSION);
        Notify(WM_AUTOPATCH_STOP);
        return;
    }
    // Through the chunk store where it costs fewer bytes or no step leads there.
    if (CChunkUpdate(*this).TryUpdate()) return;
    const EStepResult downloaded = DownloadAllPatchFiles(0.0f, 0.3f);
    if (downloaded == STEP_SUCCEEDED) {
        Setup(0.3f, 1.0f);  // records the outcome itself
        return;
    }
    UINT message = 0;
    if (downloaded == STEP_DOWNLOAD_FAILED || downloaded == STEP_PACKAGE_MISMATCH) {
        m_Result.SetOutcome(downloaded == STEP_DOWNLOAD_FAILED ? OUTCOME_DOWNLOAD_FAILED : OUTCOME_PACKAGE_MISMATCH);
        message = WM_Download_ERRORReLink;
    } else if (downloaded == STEP_STOPPED) {
        SetLog(LOG_TO_FILE, L"%s", LocalText(L"USER_STOPDOWNLOAD_QUIT"));
        m_Result.SetOutcome(OUTCOME_STOPPED);
        message = WM_AUTOPATCH_STOP;
    }
    NewSaveCurDownloadedFileList();
    // Closed before the window hears of it: its handler may start a new run.
    CloseLog(false);
    if (message) Notify(message);
}

bool CUpdateEngine::StartRepair(bool bTelecom, unsigned index, bool repair, bool full)
{
    if (!m_bInitialized || index >= m_vecPatchServer.size()) return false;
    EnsureLogOpen();
    PreparePlan(m_vecPatchServer[index], bTelecom);
    m_strManualPatchPath.clear();
    m_nRunMode = RUNMODE_AUTO_REPAIR;
    m_nFinished = 0;
    m_Result.SetInstallError(INSTALL_OK);
    return StartWorker([this, repair, full] { CChunkUpdate(*this).Check(repair, full); });
}

bool CUpdateEngine::StartManualPatch(const std::string& path)
{
    if (!m_bInitialized || path.empty()) return false;
    m_strManualPatchPath = path;
    m_nRunMode = RUNMODE_MANUAL_PATCH;
    m_nFinished = 0;
    return StartWorker([this, path] { ManualPatchThread(path); });
}

void CUpdateEngine::ManualPatchThread(const std::string& path)
{
    if (!m_bInitialized || path.empty()) {
        CloseLog(false);
        m_Result.SetOutcome(OUTCOME_INSTALL_FAILED);
        return;
    }
    if (!IsLogOpen()) {
        InitLogSystem();
        m_nRunMode = RUNMODE_MANUAL_PATCH;  // an unfinished log is named after this run
    }
    SetLog(LOG_TO_FILE, L"\r\n------------------\r\n");
    SetLog(LOG_TO_FILE | LOG_TO_INFO, L"%s", LocalText(L"UNZIP_MANUALFILE"));
    m_strPackagePath = m_strManualPatchPath;
    Progress(PROGRESS_TOTAL, 0.3f);
    Setup(0.3f, 1.0f);  // records the outcome itself
}

void CUpdateEngine::StopDownload()
{
    if (m_bDownloadDone) return;
    m_bCancelTransfer = true;
    if (m_hCancelWake) SetEvent(m_hCancelWake.Get());
    m_bDownloadDone = true;
    // The worker may be sending this thread a message: keep handling sent
    // messages while waiting, or each would wait for the other.
    HANDLE event = m_hStopEvent.Get();
    while (event) {
        const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    NewSaveCurDownloadedFileList();
}

bool CUpdateEngine::StartBasePackThread(int pack, bool download)
{
    if (!m_bInitialized) return false;
    EnsureLogOpen();
    if (download) return StartWorker([this, pack] { DownloadBasePack(pack); });
    return StartWorker([this, pack] { UnzipBasePack(pack); });
}

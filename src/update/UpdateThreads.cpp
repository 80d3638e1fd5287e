// The start operations of the window and the worker threads they start.
#include <process.h>

#include <memory>

#include "Messages.h"
#include "UpdateEngine.h"
#include "app/StringTable.h"
#include "ui/MessageBox.h"

int g_bTestServer = 0;

namespace {

struct SWorkerStart {
    CUpdateEngine* engine;
    void (*body)(CUpdateEngine*, void*);
    void* arg;
};

unsigned __stdcall WorkerEntry(void* p)
{
    std::unique_ptr<SWorkerStart> start(static_cast<SWorkerStart*>(p));
    start->body(start->engine, start->arg);
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

bool CUpdateEngine::StartWorker(void (*body)(CUpdateEngine*, void*), void* arg)
{
    SWorkerStart* start = new SWorkerStart{this, body, arg};
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

void CUpdateEngine::StartAutopatch()
{
    if (!m_bInitialized) return;
    EnsureLogOpen();
    if (!m_vecUpdateInfoURL.empty()) SetLog(LOG_TO_FILE, L"Start Autopatch");
    m_nFinished = 0;
    m_nRunMode = RUNMODE_GET_ALL_UPDATEINFO;
    StartWorker([](CUpdateEngine* e, void*) { e->GetAllUpdateInfoThread(); }, nullptr);
}

void CUpdateEngine::GetAllUpdateInfoThread()
{
    Sleep(500);
    if (m_vecUpdateInfoURL.empty()) return;
    auto address = [](const std::string& url) { return g_bTestServer ? TestServerUrl(url) : url; };
    int result = DownLoadParseUpdateInfo(address(m_vecUpdateInfoURL[0]));
    for (size_t i = 0; result == 0 && i < m_vecUpdateInfoURL.size(); ++i) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            result = DownLoadParseUpdateInfo(address(m_vecUpdateInfoURL[i]));
            if (result != 0) break;
            Sleep(100);
        }
    }
    if (result != 0) {
        m_nFinished = 1;
        Notify(WM_UPDATE_INFO_READY);
    } else {
        // Closed before the window hears of it: its handler may start a new run.
        CloseLog(false);
        Notify(WM_DOWNLOADED_ALLINFO_ERROR);
    }
}

void CUpdateEngine::StartUpdate(bool bTelecom, unsigned index)
{
    if (!m_bInitialized || m_vecPatchServer.empty() || index >= m_vecPatchServer.size()) return;
    const SPatchServer server = m_vecPatchServer[index];
    if (server.url.empty()) {
        ShowMessageBox(m_hWnd, LocalText(L"AREA_NO_PATCHSERVER"), LocalText(L"UPDATE_ERROR"), MB_ICONERROR);
        return;
    }
    EnsureLogOpen();
    PreparePlan(server, bTelecom);
    // An automatic update saves its versions, also after a hand-opened package.
    m_strManualPatchPath.clear();
    m_nRunMode = RUNMODE_AUTO;
    m_nFinished = 0;
    StartWorker([](CUpdateEngine* e, void*) { e->AutoUpdateThread(); }, nullptr);
}

void CUpdateEngine::AutoUpdateThread()
{
    const int compared = DownLoadParseCmpFile();
    if (compared == 6) {
        CloseLog(true);
        Notify(WM_START_GAME);
        return;
    }
    if (compared == 0) {
        CloseLog(false);
        Notify(WM_AUTOPATCH_STOP);
        return;
    }
    const int downloaded = DownloadAllPatchFiles(0.0f, 0.3f);
    if (downloaded == 2) {
        Setup(0.3f, 1.0f);
        return;
    }
    UINT message = 0;
    if (downloaded == 1) {
        message = WM_Download_ERRORReLink;
    } else if (downloaded == 3) {
        SetLog(LOG_TO_FILE, L"%s", LocalText(L"USER_STOPDOWNLOAD_QUIT"));
        message = WM_AUTOPATCH_STOP;
    }
    NewSaveCurDownloadedFileList();
    // Closed before the window hears of it: its handler may start a new run.
    CloseLog(false);
    if (message) Notify(message);
}

void CUpdateEngine::StartManualPatch(const std::string& path)
{
    if (!m_bInitialized || path.empty()) return;
    m_strManualPatchPath = path;
    m_nRunMode = RUNMODE_MANUAL_PATCH;
    m_nFinished = 0;
    std::string* arg = new std::string(path);
    if (!StartWorker(
            [](CUpdateEngine* e, void* a) {
                std::unique_ptr<std::string> p(static_cast<std::string*>(a));
                e->ManualPatchThread(*p);
            },
            arg))
        delete arg;
}

void CUpdateEngine::ManualPatchThread(const std::string& path)
{
    if (!m_bInitialized || path.empty()) {
        CloseLog(false);
        return;
    }
    if (!IsLogOpen()) {
        InitLogSystem();
        m_nRunMode = RUNMODE_MANUAL_PATCH;  // an unfinished log is named after this run
    }
    SetLog(LOG_TO_FILE, L"\r\n------------------\r\n");
    SetLog(LOG_TO_FILE | LOG_TO_INFO, L"%s", LocalText(L"UNZIP_MANUALFILE"));
    m_strPackagePath = m_strManualPatchPath;
    Progress(8, 0.3f);
    Setup(0.3f, 1.0f);
}

void CUpdateEngine::StopDownload()
{
    if (m_bDownloadDone) return;
    m_bCancelTransfer = true;
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

void CUpdateEngine::StartBasePackThread(int pack, bool download)
{
    if (!m_bInitialized) return;
    EnsureLogOpen();
    static int s_packs[2] = {1, 2};
    void* arg = &s_packs[pack == 1 ? 0 : 1];
    if (download)
        StartWorker([](CUpdateEngine* e, void* a) { e->DownloadBasePack(*static_cast<int*>(a)); }, arg);
    else
        StartWorker([](CUpdateEngine* e, void* a) { e->UnzipBasePack(*static_cast<int*>(a)); }, arg);
}

// The main window's side of the launcher workflow: what each message of the
// engine, of the line dialog and of the window itself sets off.
#include "PatchDlg.h"

#include <shellapi.h>

#include <cstdlib>

#include "PatchApp.h"
#include "ServerList.h"
#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "transfer/Md5File.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

using Base::Utility::AnsiToWide;
using Base::Utility::WideToAnsi;

namespace {

// The application object: start-up made it before the window.

// Set once a failed download has been retried on another server.
bool g_bRelinked = false;

bool DirectoryExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExistsW(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteNormal(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

}  // namespace

bool CPatchDlg::OnWorkflowMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return OnRunStart(message, lParam) || OnRunEnd(message) || OnLauncherMessage(message, wParam, lParam);
}

// The engine is asked to start a run (or to show its progress).
bool CPatchDlg::OnRunStart(UINT message, LPARAM lParam)
{
    CUpdateEngine* engine = g_pUpdateEngine;
    switch (message) {
    case WM_START_AUTOPATCH:
        if (engine) engine->StartAutopatch();
        SetButtonsBusy(true);
        return true;
    case WM_DOWNLOAD_BASEPACK1:
        if (engine) engine->StartDownloadBasePack1();
        SetButtonsBusy(true);
        return true;
    case WM_DOWNLOAD_BASEPACK2:
        if (engine) engine->StartDownloadBasePack2();
        return true;
    case WM_START_UPDATE:
        SetButtonsBusy(true);
        if (engine) engine->StartUpdate(m_bTelecom, 0);
        return true;
    case WM_START_MANUAL_PATCH:
        SetButtonsBusy(true);
        if (engine) engine->StartManualPatch(Base::Utility::WideToUtf8(m_app.m_strPatchFile));
        return true;
    case WM_DOWNLOAD_PROGRESS:
        if (engine) engine->Progress(PROGRESS_TOTAL, static_cast<float>(lParam / 1000.0));
        return true;
    case WM_UNZIP_BASEPACK1:
        if (engine) engine->StartUnzipBasePack1();
        return true;
    case WM_UNZIP_BASEPACK2:
        if (engine) engine->StartUnzipBasePack2();
        return true;
    default:
        return false;
    }
}

// A run of the engine ended: the window says how and what comes next.
bool CPatchDlg::OnRunEnd(UINT message)
{
    CUpdateEngine* engine = g_pUpdateEngine;
    switch (message) {
    case WM_PACK_VERSION_ERROR:
        OnPackVersionError();
        return true;
    case WM_CHECK_INSTALL:
        OnCheckInstall();
        return true;
    case WM_AUTOPATCH_STOP:
        if (engine && engine->Outcome() != OUTCOME_STOPPED) {
            OnRunFailed();
            return true;
        }
        SetStatusTag(L"WM_AUTOPATCH_STOP");
        SetButtonsBusy(false);
        return true;
    case WM_RUN_FAILED:
        OnRunFailed();
        return true;
    case WM_UPDATE_COMPLETE:
        OnUpdateComplete();
        return true;
    case WM_UPDATE_IDLE:
        SetButtonsBusy(false);
        return true;
    case WM_DOWNLOAD_ERROR:
        OnDownloadError();
        return true;
    case WM_MANUAL_MD5_ERROR:
        SetStatusTag(L"MANUAL_MD5_ERROR");
        SetButtonsBusy(false);
        return true;
    case WM_AUTOPATCH_MD5_ERROR:
        SetStatusTag(L"AUTOPATCH_MD5_ERROR");
        SetButtonsBusy(false);
        return true;
    case WM_UPDATE_INFO_READY:
        SetButtonsBusy(false);
        if (engine) SetLatestVersion(engine->GetLatestVersion());
        if (m_app.m_bRepair) {
            m_app.m_bRepair = false;
            StartRepair();
            return true;
        }
        RefreshStartButton(m_nBigArea);
        return true;
    case WM_REPAIR_DONE:
        OnRepairDone();
        return true;
    case WM_DOWNLOADED_ALLINFO_ERROR:
        OnRunFailed();
        return true;
    case WM_VERIFY_INSTALLED_MD5_ERROR:
        SetStatusTag(L"VERIFY_INSTALLED_MD5_ERROR");
        SetButtonsBusy(false);
        return true;
    case WM_Download_ERRORReLink:
        OnDownloadErrorRelink();
        return true;
    default:
        return false;
    }
}

// The player's and the launcher's own requests.
bool CPatchDlg::OnLauncherMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MAILSENDER_END:
        SetStatus(L"MailSender\x7ED3\x675F");
        return true;
    case WM_START_GAME:
        OnStartGame();
        return true;
    case WM_OPEN_URL:
        TerminateEmergencyUpdater();
        if (wParam) ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t*>(wParam), nullptr, nullptr, SW_HIDE);
        m_Buttons[3].SetState(UI::CKbcButton::STATE_NORMAL);
        return true;
    case WM_DISABLE_CLOSE:
        m_Buttons[1].SetState(UI::CKbcButton::STATE_DISABLED);
        return true;
    case WM_NEW_LAUNCHER_READY:
        m_bNewLauncherPending = true;
        return true;
    case WM_START_EMERGENCY_UPDATE: {
        CPatchApp& app = m_app;
        std::wstring extra = L" URL ";
        if (lParam) extra += reinterpret_cast<const wchar_t*>(lParam);
        if (app.m_bInternalTest) extra += L" -InternalTest";
        app.StartEmergencyUpdate(app.m_strAppDir, extra);
        return true;
    }
    case WM_SELECT_TELECOM:
        OnSelectLine(true);
        return true;
    case WM_SELECT_UNICOM:
        OnSelectLine(false);
        return true;

    default:
        return false;
    }
}

void CPatchDlg::OnCheckInstall()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (engine == nullptr) return;
    const std::string dir = engine->m_strInstallDir;
    const std::wstring pack1 = engine->BasePackPath(0);
    const std::wstring pack2 = engine->BasePackPath(1);
    const bool has1 = !pack1.empty() && FileExistsW(pack1);
    const bool has2 = !pack2.empty() && FileExistsW(pack2);
    if (DirectoryExists("Binaries")) {
        if (has1) {
            SendMessageW(m_hWnd, WM_UNZIP_BASEPACK1, 0, 0);
        } else if (has2) {
            DeleteNormal(pack2);
            SendMessageW(m_hWnd, WM_DOWNLOAD_BASEPACK2, 0, 0);
        } else if (FileExistsW(Base::Utility::Utf8ToWide(dir) + L"DATA.dat")) {
            CPatchApp& app = m_app;
            if (!app.m_bRegistered) app.RegisterPatchFileType();
            SendMessageW(m_hWnd, WM_START_AUTOPATCH, 0, 0);
        } else {
            SendMessageW(m_hWnd, WM_DOWNLOAD_BASEPACK2, 0, 0);
        }
    } else {
        if (has1) DeleteNormal(pack1);
        SendMessageW(m_hWnd, WM_DOWNLOAD_BASEPACK1, 0, 0);
    }
}

bool CPatchDlg::NewLauncherWaiting()
{
    FILE* f = std::fopen("launcher.exe.new", "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    // A launcher that runs as launcher.exe.new (it installs itself so) must
    // not hand over to itself again: only a different file is a new one.
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string running = FileMd5Hex(self);
    return running.empty() || running != FileMd5Hex(L"launcher.exe.new");
}

void CPatchDlg::RefreshStartButton(int bigArea)
{
    RefreshStartButton();
    if (bigArea != m_nBigArea) {
        m_nBigArea = bigArea;
        SaveBigArea();
    }
}

void CPatchDlg::RefreshStartButton()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (engine == nullptr) return;
    const std::string latest = engine->GetLatestVersion();
    const std::string current = m_strCurVersionText;
    UI::CKbcButton& start = m_Buttons[0];
    auto showImage = [&](const std::wstring& path, const std::wstring& tip) {
        m_strStartImage = path;
        start.LoadImage(path, RGB(255, 0, 255), m_nDpi);
        start.SetTooltipText(tip);
        if (start.GetFixedState() != UI::CKbcButton::STATE_DISABLED) start.SetState(UI::CKbcButton::STATE_NORMAL);
    };
    if (latest != current) {
        const bool newer = latest > current;
        // The texts are formats only when they hold exactly one %s.
        SetStatus(FormatLocalText(newer ? L"TO_NEW_VERSION" : L"TO_OLD_VERSION", L"s", AnsiToWide(latest).c_str()));
        m_bCanStartGame = false;
        showImage(m_strUpdateBtnPath, m_strUpdateBtnTip);
        if (newer)
            SendMessageW(m_hWnd, m_app.m_strPatchFile.empty() ? WM_START_UPDATE : WM_START_MANUAL_PATCH, 0, 0);
        return;
    }
    SetStatusTag(!m_strLoginField3.empty() || m_strLoginField1.empty() ? L"CLICK_START_BTN" : L"TRYTOCONNECTLINKSERVER");
    m_bCanStartGame = true;
    if (!m_vecButton.empty()) showImage(m_vecButton[0].m_strFilePath, m_vecButton[0].m_strTip);
}

void CPatchDlg::OnUpdateComplete()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    CPatchApp& app = m_app;
    if (!app.m_strPatchFile.empty()) {
        if (engine) engine->initBasic();
        app.m_strPatchFile.clear();
    }
    if (engine) SetCurrentVersion(engine->GetLocalVersionStr());
    SetStatusTag(L"UPDATE_COMPLETE");
    if (NewLauncherWaiting()) m_bNewLauncherPending = true;
    if (m_bNewLauncherPending) {
        m_bNewLauncherPending = false;
        StartNewLauncher();
        TerminateEmergencyUpdater();
        ExitLauncher();
        return;  // reached only when the exit is replaced (tests)
    }
    // Freed before what follows, not after it: a further step makes them busy
    // again, and a start button left free during it could start a second
    // worker on the same files.
    SetButtonsBusy(false);
    if ((engine && engine->GetLocalVersionStr() == engine->m_strServerVersion) || m_bCanStartGame)
        SendMessageW(m_hWnd, WM_START_GAME, 0, 0);
    else
        SendMessageW(m_hWnd, WM_START_UPDATE, 0, 0);
}

void CPatchDlg::OnStartGame()
{
    SetStatusTag(L"\x6B63\x5728\x542F\x52A8\x6E38\x620F");  // "正在启动游戏"
    if (!WriteServerList(m_app.m_strAppDir + L"ServerList.ini", m_nBigArea)) {
        SetStatusTag(L"CREATE_SERVERLIST_INI_ERROR");
        return;
    }
    RefreshStartButton(m_nBigArea);
    if (StartGame()) {
        TerminateEmergencyUpdater();
        ExitLauncher();
        return;
    }
    SetStatusTag(L"RETRY");
    SetButtonsBusy(false);
}

bool CPatchDlg::StartGame()
{
    const std::wstring& game = m_strGameExeName;
    if (game.empty()) return true;
    TerminateEmergencyUpdater();
    CPatchApp& app = m_app;
    const std::wstring path = app.m_strAppDir + L"Binaries\\" + game;
    const std::wstring workDir = path.substr(0, path.rfind(L'\\') + 1);
    const std::wstring args = GameArguments(app.m_strChannel, AnsiToWide(m_strCmdLineTail), m_strLoginField1, m_strLoginField2);
    ShellExecuteW(nullptr, L"open", path.c_str(), args.c_str(), workDir.c_str(), SW_HIDE);
    return true;
}

std::wstring CPatchDlg::GameArguments(const std::wstring& channel, const std::wstring& tail,
                                      const std::wstring& field1, const std::wstring& field2)
{
    if (channel.empty()) return L"run" + tail;
    if (channel == L"yun") return L"run_" + channel + L" " + tail;
    if (channel == L"qx") return field1.empty() ? L"run_" + channel : L"run_" + channel + L";" + field1 + L";" + field2;
    return L"run_" + channel + tail;
}

bool CPatchDlg::StartNewLauncher()
{
    TerminateEmergencyUpdater();
    CPatchApp& app = m_app;
    const std::string path = WideToAnsi(app.m_strAppDir + app.m_strExeName) + ".new";
    std::string commandLine = g_bTestServer ? std::string("-TS") : "\"" + path + "\" " + m_strCmdLineTail;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    Base::Utility::SStartedProcess started;
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, started.Out()))
        return false;
    started.Adopt();
    return true;
}

void CPatchDlg::ExitLauncher()
{
    TerminateEmergencyUpdater();
    m_pfnExitProcess(0);
}

void CPatchDlg::TerminateEmergencyUpdater()
{
    CPatchApp& app = m_app;
    if (app.m_hEmergencyProcess && TerminateProcess(app.m_hEmergencyProcess.Get(), 0xFFFFFFFE)) {
        app.m_hEmergencyProcess.Reset();
        app.m_dwEmergencyProcessId = 0;
    }
}

void CPatchDlg::OnSelectLine(bool telecom)
{
    // Remembered in the skin's netsettings, when it has them.
    SaveNetType(telecom);
}

void CPatchDlg::OnDownloadError()
{
    if (ShowMessageBox(m_hWnd, LocalText(L"WM_DOWNLOAD_ERROR"), L"", MB_OKCANCEL) == IDOK) {
        ShellExecuteA(nullptr, "open", m_strManualUpdateURL.c_str(), nullptr, nullptr, SW_HIDE);
        OnRunFailed();
    } else {
        ExitLauncher();
    }
}

bool CPatchDlg::InitializeEngine()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    const bool internalTest = m_app.m_bInternalTest;
    if (engine == nullptr || !engine->Initialize(m_hWnd, !internalTest, &CPatchDlg::OnStatusText,
                                                 &CPatchDlg::OnSingleProgress, &CPatchDlg::OnTotalProgress))
        return false;
    SetCurrentVersion(engine->GetLocalVersionStr());
    return true;
}

void CPatchDlg::OnRunFailed()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    const EFailureCause cause = engine ? engine->FailureCause() : CAUSE_INCOMPLETE_INSTALLATION;
    const wchar_t* tag = CauseTag(cause == CAUSE_NONE ? CAUSE_INCOMPLETE_INSTALLATION : cause);
    if (cause == CAUSE_INCOMPLETE_INSTALLATION || cause == CAUSE_NONE || cause == CAUSE_FILE_LOCKED ||
        cause == CAUSE_NOT_WRITABLE)
        SetStatus(FormatLocalText(tag, L"s", engine ? engine->FailureDetail().c_str() : L""));
    else
        SetStatusTag(tag);
    m_bRetry = true;
    m_bCanStartGame = false;
    // The button runs the update again: it shows the update image, not "start".
    if (!m_strUpdateBtnPath.empty()) {
        m_strStartImage = m_strUpdateBtnPath;
        m_Buttons[0].LoadImage(m_strUpdateBtnPath, RGB(255, 0, 255), m_nDpi);
    }
    m_Buttons[0].SetTooltipText(LocalText(L"RETRY_BUTTON"));
    SetButtonsBusy(false);
}

void CPatchDlg::Retry()
{
    m_bRetry = false;
    SetButtonsBusy(true);
    // The engine starts afresh: the player may have mended the files or the network settings.
    SendMessageW(m_hWnd, InitializeEngine() ? WM_CHECK_INSTALL : WM_RUN_FAILED, 0, 0);
}

void CPatchDlg::OnPackVersionError()
{
    if (ShowMessageBox(m_hWnd, LocalText(L"WM_PACK_VERSION_ERROR"), L"", MB_OKCANCEL) == IDOK &&
        m_vecButton.size() >= 4)
        ShellExecuteA(nullptr, "open", m_vecButton[3].m_strUrl.c_str(), nullptr, nullptr, SW_HIDE);
    ExitLauncher();
}

void CPatchDlg::OnDownloadErrorRelink()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (g_bRelinked || engine == nullptr) {
        SendMessageW(m_hWnd, WM_DOWNLOAD_ERROR, 0, 0);
        return;
    }
    SetStatusTag(L"WM_Download_ERRORReLink");
    SetButtonsBusy(true);
    const int n = static_cast<int>(engine->GetPatchServerCount()) - 1;
    if (n > 0) {
        engine->StartUpdate(m_bTelecom, static_cast<unsigned>(std::rand() % n + 1));
        g_bRelinked = true;
    } else {
        SendMessageW(m_hWnd, WM_DOWNLOAD_ERROR, 0, 0);
    }
}

bool CPatchDlg::RepairPossible() const
{
    CUpdateEngine* engine = g_pUpdateEngine;
    return engine && m_bReady && !m_bBusy && engine->GetPatchServerCount() > 0;
}

void CPatchDlg::StartRepair()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (!RepairPossible()) return;
    if (m_bMinimized) RestoreWindow();
    m_bRetry = false;
    SetButtonsBusy(true);
    SetStatusTag(L"REPAIR_VERIFYING");
    if (!engine->StartRepair(m_bTelecom, 0, true, true)) OnRunFailed();
}

void CPatchDlg::OnRepairDone()
{
    CUpdateEngine* engine = g_pUpdateEngine;
    SetButtonsBusy(false);
    if (engine == nullptr) return;
    const SChunkReport& report = engine->ChunkReport();
    const std::wstring outcome =
        engine->Outcome() == OUTCOME_REPAIRED
            ? FormatLocalText(L"REPAIR_DONE", L"s", std::to_wstring(report.restored).c_str())
        : engine->Outcome() == OUTCOME_VERIFIED
            ? std::wstring(LocalText(L"REPAIR_CLEAN"))
            : FormatLocalText(L"REPAIR_DAMAGED", L"s",
                              std::to_wstring(report.missing.size() + report.damaged.size()).c_str());
    // What the start button does next follows the versions; the outcome stays on the status line.
    RefreshStartButton();
    if (!m_bBusy) SetStatus(outcome);
}

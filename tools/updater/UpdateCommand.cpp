// updater update and updater basepack: the launcher's automatic update and
// base-pack work without a window, for operators and unattended runs.
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "Console.h"
#include "base/utility/StrConv.h"
#include "ui/MessageWindow.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

using Base::Utility::AnsiToWide;

namespace {

CUpdateEngine* g_engine = nullptr;

BOOL WINAPI OnConsoleBreak(DWORD)
{
    // Ctrl+C stops a running download; the run then ends as stopped.
    if (g_engine) g_engine->StopDownload();
    return TRUE;
}

// Receives what the engine sends the launcher's window.
class CRun {
public:
    CRun() : m_window([this](UINT m, WPARAM w, LPARAM l) { OnMessage(m, w, l); }) {}

    HWND Window() const { return m_window.Handle(); }

    // Waits for the worker of the last start operation, handling the
    // messages it sends; then the worker's outcome.
    EWorkerOutcome Wait(CUpdateEngine& engine)
    {
        HANDLE worker = engine.WorkerHandle();
        while (worker) {
            const DWORD r = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        }
        EndProgress();
        return engine.Outcome();
    }

private:
    void OnMessage(UINT message, WPARAM, LPARAM lParam)
    {
        switch (message) {
        case WM_DOWNLOAD_PROGRESS:
            if (lParam <= 1000 && lParam != 101) PrintFractionOf(L"installing ", static_cast<float>(lParam) / 1000.0f);
            return;
        default: return;  // failures are told once, by the exit code's message
        }
    }

    CMessageWindow m_window;
};

// The current file's bar; on a terminal the status line shows the download.
void PrintDownloadFraction(float fraction)
{
    if (!StdoutIsTerminal()) PrintFractionOf(L"downloading ", fraction);
}

void PrintStatus(const wchar_t* text)
{
    const std::wstring line = WithoutLineEnd(text);
    // The download status line changes many times a second.
    if (line.rfind(L"\x4E0B\x8F7D\x6587\x4EF6", 0) == 0)
        PrintProgress(line);
    else if (!line.empty())
        PrintLine(line);
}

struct SOptions {
    std::wstring dir;
    bool telecom = true;
    unsigned server = 0;
    bool testServer = false;
    bool oneStep = false;
    DWORD stallMs = 0;           // 0: the configuration's
    std::uint32_t rateKiB = 0;   // 0: the configuration's
};

bool ParseOptions(const Args& args, SOptions* o, bool updateOptions)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--dir" && i + 1 < args.size())
            o->dir = args[++i];
        else if (updateOptions && args[i] == L"--unicom")
            o->telecom = false;
        else if (updateOptions && args[i] == L"--server" && i + 1 < args.size())
            o->server = static_cast<unsigned>(_wtoi(args[++i].c_str()));
        else if (updateOptions && args[i] == L"-TS")
            o->testServer = true;
        else if (updateOptions && args[i] == L"--one-step")
            o->oneStep = true;
        else if (!updateOptions || !ParseTransferOption(args, &i, &o->stallMs, &o->rateKiB))
            return false;
    }
    return !o->dir.empty();
}

// The engine on the installation, stopped by Ctrl+C.
bool StartEngine(CUpdateEngine& engine, HWND hWnd, ProgressFunCallback single)
{
    if (!InitEngine(engine, hWnd, &PrintStatus, single)) return false;
    g_engine = &engine;
    SetConsoleCtrlHandler(&OnConsoleBreak, TRUE);
    return true;
}

}  // namespace

int RunUpdate(const Args& args)
{
    SOptions o;
    if (!ParseOptions(args, &o, true)) {
        return ExitWith(EXIT_USAGE, L"updater update --dir GAMEDIR [--unicom] [--server N] [-TS] [--one-step] "
                                    L"[--stall-timeout S] [--limit-rate KIB]");
    }
    if (!EnterGameDir(o.dir)) return EXIT_FAILED;
    g_bTestServer = o.testServer ? 1 : 0;

    CRun run;
    CUpdateEngine engine;
    if (!StartEngine(engine, run.Window(), &PrintDownloadFraction)) return InitExitCode(engine);
    engine.SetStallTimeout(o.stallMs);
    engine.SetRateLimit(o.rateKiB);
    if (engine.m_vecUpdateInfoURL.empty())
        return ExitWith(EXIT_NO_UPDATE_INFO, L"the configuration names no address of the update information");

    if (!engine.StartAutopatch() || run.Wait(engine) != OUTCOME_INFO_READY) {
        if (const int code = FaultExitCode(engine)) return code;
        return ExitWith(EXIT_NO_UPDATE_INFO, L"see the log");
    }
    if (o.server >= engine.GetPatchServerCount())
        return ExitWith(EXIT_NO_SERVER, L"the update information lists " +
                                            std::to_wstring(engine.GetPatchServerCount()) +
                                            L" patch servers; there is no server " + std::to_wstring(o.server));
    const std::string target = engine.m_vecPatchServer[o.server].Version;
    PrintLine(L"installed version " + AnsiToWide(engine.GetLocalVersionStr()) + L", server version " +
              AnsiToWide(target) + L", latest " + AnsiToWide(engine.GetLatestVersion()));

    for (int step = 0; step < 100; ++step) {
        const std::string before = engine.GetLocalVersionStr();
        if (before == target) {
            PrintLine(step == 0 ? L"up to date" : L"the installation is at the server's version " + AnsiToWide(target));
            return EXIT_OK;
        }
        if (!engine.StartUpdate(o.telecom, o.server))
            return ExitWith(EXIT_NO_SERVER, L"the patch server has no address for this line");
        const EWorkerOutcome outcome = run.Wait(engine);
        if (outcome != OUTCOME_INSTALLED && outcome != OUTCOME_UP_TO_DATE)
            if (const int code = FaultExitCode(engine)) return code;
        switch (outcome) {
        case OUTCOME_UP_TO_DATE: PrintLine(L"up to date"); return EXIT_OK;
        case OUTCOME_INSTALLED: break;
        case OUTCOME_DOWNLOAD_FAILED: return ExitWith(EXIT_DOWNLOAD_FAILED, L"see the log");
        case OUTCOME_NO_LOCAL_VERSION: return ExitWith(EXIT_NO_LOCAL_VERSION);
        case OUTCOME_STOPPED: return ExitWith(EXIT_STOPPED);
        case OUTCOME_INSTALL_FAILED:
            if (engine.m_nInstallError != 0) return InstallExitCode(engine);
            [[fallthrough]];
        default: return ExitWith(EXIT_FAILED, L"the update ended unexpectedly");
        }
        engine.initBasic();  // the installation wrote the new versions
        const std::string after = engine.GetLocalVersionStr();
        PrintStep(AnsiToWide(before), AnsiToWide(after));
        if (GetFileAttributesW(L"launcher.exe.new") != INVALID_FILE_ATTRIBUTES)
            PrintLine(L"a new launcher (launcher.exe.new) takes over at the next start");
        if (after == before) return ExitWith(EXIT_NO_PROGRESS);
        if (o.oneStep) return EXIT_OK;
    }
    return ExitWith(EXIT_NO_PROGRESS, L"more than 100 steps");
}

int RunBasePack(const Args& args)
{
    SOptions o;
    if (!ParseOptions(args, &o, false)) return ExitWith(EXIT_USAGE, L"updater basepack --dir GAMEDIR");
    if (!EnterGameDir(o.dir)) return EXIT_FAILED;
    CRun run;
    CUpdateEngine engine;
    if (!StartEngine(engine, run.Window(), &PrintFraction)) return InitExitCode(engine);
    if (engine.m_vecBasePackURL.size() != 2) return ExitWith(EXIT_NO_BASEPACKS);
    for (int pack = 1; pack <= 2; ++pack) {
        const bool downloading = pack == 1 ? engine.StartDownloadBasePack1() : engine.StartDownloadBasePack2();
        if (!downloading || run.Wait(engine) != OUTCOME_BASEPACK_DOWNLOADED) {
            if (const int code = FaultExitCode(engine)) return code;
            return ExitWith(EXIT_BASEPACK_DOWNLOAD, L"base pack " + std::to_wstring(pack));
        }
        const bool unpacking = pack == 1 ? engine.StartUnzipBasePack1() : engine.StartUnzipBasePack2();
        if (!unpacking || run.Wait(engine) != OUTCOME_BASEPACK_UNPACKED) {
            if (const int code = FaultExitCode(engine)) return code;
            return ExitWith(EXIT_BASEPACK_UNZIP, L"base pack " + std::to_wstring(pack));
        }
        PrintLine(L"base pack " + std::to_wstring(pack) + L" installed");
    }
    return EXIT_OK;
}

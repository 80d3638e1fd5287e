#include "EngineRun.h"

#include "Console.h"
#include "update/Messages.h"

namespace {

CUpdateEngine* g_engine = nullptr;

BOOL WINAPI OnConsoleBreak(DWORD)
{
    // Ctrl+C stops a running download; the run then ends as stopped.
    if (g_engine) g_engine->StopDownload();
    return TRUE;
}

}  // namespace

CRun::CRun() : m_window([this](UINT m, WPARAM w, LPARAM l) { OnMessage(m, w, l); }) {}

EWorkerOutcome CRun::Wait(CUpdateEngine& engine)
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

void CRun::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    // Failures are told once, by the exit code's message.
    if (message == WM_DOWNLOAD_PROGRESS && lParam <= 1000 && lParam != 101)
        PrintFractionOf(L"installing ", static_cast<float>(lParam) / 1000.0f);
}

void PrintDownloadFraction(float fraction)
{
    if (!StdoutIsTerminal()) PrintFractionOf(L"downloading ", fraction);
}

void PrintStatus(const wchar_t* text)
{
    const std::wstring line = WithoutLineEnd(text);
    // The download status lines change many times a second.
    if (line.rfind(L"\x4E0B\x8F7D\x6587\x4EF6", 0) == 0 || line.find(L"MiB)") != std::wstring::npos ||
        line.find(L"M)") != std::wstring::npos)
        PrintProgress(line);
    else if (!line.empty())
        PrintLine(line);
}

bool ParseOptions(const Args& args, SOptions* o, bool updateOptions, bool verify)
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
        else if (updateOptions && !verify && args[i] == L"--one-step")
            o->oneStep = true;
        else if (updateOptions && args[i] == L"--proxy" && i + 1 < args.size())
            o->proxy = args[++i];
        else if (verify && args[i] == L"--full")
            o->full = true;
        else if (!updateOptions || !ParseTransferOption(args, &i, &o->stallMs, &o->rateKiB))
            return false;
    }
    return !o->dir.empty();
}

bool StartEngine(CUpdateEngine& engine, HWND hWnd, ProgressFunCallback single)
{
    if (!InitEngine(engine, hWnd, &PrintStatus, single)) return false;
    g_engine = &engine;
    SetConsoleCtrlHandler(&OnConsoleBreak, TRUE);
    return true;
}

int PrepareServerRun(CRun& run, CUpdateEngine& engine, const SOptions& o)
{
    if (!EnterGameDir(o.dir)) return EXIT_FAILED;
    g_bTestServer = o.testServer ? 1 : 0;
    engine.Transfer().SetProxy(o.proxy);
    if (!StartEngine(engine, run.Window(), &PrintDownloadFraction)) return InitExitCode(engine);
    engine.Transfer().SetStallTimeout(o.stallMs);
    engine.Transfer().SetRateLimit(o.rateKiB);
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
    return EXIT_OK;
}

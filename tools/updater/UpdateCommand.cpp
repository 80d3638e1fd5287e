// updater update and updater basepack: the launcher's automatic update and
// base-pack work without a window, for operators and unattended runs.
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "Console.h"
#include "EngineRun.h"
#include "base/utility/StrConv.h"

using Base::Utility::AnsiToWide;

int RunUpdate(const Args& args)
{
    SOptions o;
    if (!ParseOptions(args, &o, true)) {
        return ExitWith(EXIT_USAGE, L"updater update --dir GAMEDIR [--unicom] [--server N] [-TS] [--one-step] "
                                    L"[--stall-timeout S] [--limit-rate KIB] [--proxy P]");
    }
    CRun run;
    CUpdateEngine engine;
    if (const int code = PrepareServerRun(run, engine, o)) return code;
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
        if (outcome != OUTCOME_INSTALLED && outcome != OUTCOME_UP_TO_DATE) {
            if (!engine.ChunkReport().route.empty()) PrintRoute(Base::Utility::Utf8ToWide(engine.ChunkReport().route));
            if (const int code = FaultExitCode(engine)) return code;
        }
        switch (outcome) {
        case OUTCOME_UP_TO_DATE: PrintLine(L"up to date"); return EXIT_OK;
        case OUTCOME_INSTALLED: break;
        case OUTCOME_DOWNLOAD_FAILED: return ExitWith(EXIT_DOWNLOAD_FAILED, L"see the log");
        case OUTCOME_NO_LOCAL_VERSION: return ExitWith(EXIT_NO_LOCAL_VERSION);
        case OUTCOME_STOPPED: return ExitWith(EXIT_STOPPED);
        case OUTCOME_INSTALL_FAILED:
            if (engine.Result().InstallError() != INSTALL_OK) return InstallExitCode(engine);
            [[fallthrough]];
        default: return ExitWith(EXIT_FAILED, L"the update ended unexpectedly");
        }
        if (!engine.ChunkReport().route.empty()) PrintRoute(Base::Utility::Utf8ToWide(engine.ChunkReport().route));
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

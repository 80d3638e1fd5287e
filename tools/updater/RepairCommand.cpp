// updater verify --dir and updater repair: the installation checked against
// the manifest of its version, and its missing and damaged files restored.
#include "Commands.h"
#include "Console.h"
#include "EngineRun.h"
#include "base/utility/StrConv.h"

namespace {

const wchar_t kVerifyUsage[] = L"updater verify --dir GAMEDIR [--full] [--unicom] [--server N] [-TS]";
const wchar_t kRepairUsage[] = L"updater repair --dir GAMEDIR [--unicom] [--server N] [-TS] [--stall-timeout S] "
                               L"[--limit-rate KIB]";

void PrintFound(const SChunkReport& r)
{
    for (const std::string& p : r.missing) PrintFile(L"missing", Base::Utility::Utf8ToWide(p));
    for (const std::string& p : r.damaged) PrintFile(L"damaged", Base::Utility::Utf8ToWide(p));
    for (const std::string& p : r.unexpected) PrintFile(L"unexpected", Base::Utility::Utf8ToWide(p));
}

int Check(const Args& args, bool repair)
{
    SOptions o;
    if (!ParseOptions(args, &o, true, !repair)) return ExitWith(EXIT_USAGE, repair ? kRepairUsage : kVerifyUsage);
    CRun run;
    CUpdateEngine engine;
    if (const int code = PrepareServerRun(run, engine, o)) return code;
    if (!engine.StartRepair(o.telecom, o.server, repair, o.full))
        return ExitWith(EXIT_NO_SERVER, L"the patch server has no address for this line");
    const EWorkerOutcome outcome = run.Wait(engine);
    const SChunkReport& r = engine.m_ChunkReport;
    PrintFound(r);
    PrintCheck(r.checkedFiles, r.missing.size(), r.damaged.size(), r.unexpected.size(), r.restored, r.fetchedBytes);
    switch (outcome) {
    case OUTCOME_VERIFIED: return EXIT_OK;
    case OUTCOME_REPAIRED: return EXIT_OK;
    case OUTCOME_DAMAGED:
        return ExitWith(EXIT_DAMAGED_INSTALLATION, std::to_wstring(r.missing.size()) + L" missing, " +
                                                       std::to_wstring(r.damaged.size()) + L" damaged");
    case OUTCOME_STOPPED: return ExitWith(EXIT_STOPPED);
    default: break;
    }
    if (const int code = FaultExitCode(engine)) return code;
    if (engine.m_nInstallError != 0) return InstallExitCode(engine);
    return ExitWith(outcome == OUTCOME_DOWNLOAD_FAILED ? EXIT_DOWNLOAD_FAILED : EXIT_FAILED, L"see the log");
}

}  // namespace

int RunCheckInstallation(const Args& args) { return Check(args, false); }

int RunRepair(const Args& args) { return Check(args, true); }

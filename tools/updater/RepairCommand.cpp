// updater verify --dir and updater repair: the installation checked against
// the manifest of its version, and its missing and damaged files restored.
#include "Commands.h"
#include "Console.h"
#include "EngineRun.h"
#include "base/utility/StrConv.h"
#include "transfer/InstallVerify.h"

#include <algorithm>

namespace {

const wchar_t kVerifyUsage[] =
    L"updater verify --dir GAMEDIR [--full] [--unicom] [--server N] [-TS] | verify --dir GAMEDIR --manifest FILE [--full]";
const wchar_t kRepairUsage[] = L"updater repair --dir GAMEDIR [--unicom] [--server N] [-TS] [--stall-timeout S] "
                               L"[--limit-rate KIB]";

void PrintFound(const SChunkReport& r)
{
    for (const std::string& p : r.missing) PrintFile(L"missing", Base::Utility::Utf8ToWide(p));
    for (const std::string& p : r.damaged) PrintFile(L"damaged", Base::Utility::Utf8ToWide(p));
    for (const std::string& p : r.unexpected) PrintFile(L"unexpected", Base::Utility::Utf8ToWide(p));
}

// Against a manifest file at hand, without a server (it is trusted as given).
int CheckOffline(const Args& args)
{
    std::wstring dir, manifest;
    bool full = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--dir" && i + 1 < args.size())
            dir = args[++i];
        else if (args[i] == L"--manifest" && i + 1 < args.size())
            manifest = args[++i];
        else if (args[i] == L"--full")
            full = true;
        else
            return ExitWith(EXIT_USAGE, kVerifyUsage);
    }
    if (dir.empty() || manifest.empty()) return ExitWith(EXIT_USAGE, kVerifyUsage);
    SManifest m;
    std::string why;
    const EManifestResult r = ReadManifestFile(Base::Utility::WideToUtf8(manifest), &m, &why);
    if (r != MANIFEST_OK)
        return ExitWith(r == MANIFEST_UNREADABLE ? EXIT_FAILED : EXIT_BAD_MANIFEST,
                        manifest + L": " + Base::Utility::Utf8ToWide(std::string(ManifestResultText(r)) + " (" + why + ")"));
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    SVerifyOptions options;
    options.full = full;
    options.cachePath = Base::Utility::WideToUtf8(dir) + "PatchCfg\\VerifyCache.txt";
    options.progress = [](std::uint64_t done, std::uint64_t total) {
        PrintFractionOf(L"checking ", total ? static_cast<float>(done) / static_cast<float>(total) : 1.0f);
    };
    SVerifyReport found;
    if (!VerifyInstallation(Base::Utility::WideToUtf8(dir), m, options, &found))
        return ExitWith(EXIT_FAILED, L"cannot read " + dir);
    EndProgress();
    SChunkReport r2;
    for (std::uint32_t i : found.missing) r2.missing.push_back(m.Path(m.files[i]));
    for (std::uint32_t i : found.damaged) r2.damaged.push_back(m.Path(m.files[i]));
    r2.unexpected = found.unexpected;
    PrintFound(r2);
    PrintCheck(m.files.size(), r2.missing.size(), r2.damaged.size(), r2.unexpected.size(), 0, 0);
    if (found.Clean()) return EXIT_OK;
    return ExitWith(EXIT_DAMAGED_INSTALLATION, std::to_wstring(r2.missing.size()) + L" missing, " +
                                                   std::to_wstring(r2.damaged.size()) + L" damaged");
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
    const SChunkReport& r = engine.ChunkReport();
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
    if (engine.Result().InstallError() != INSTALL_OK) return InstallExitCode(engine);
    return ExitWith(outcome == OUTCOME_DOWNLOAD_FAILED ? EXIT_DOWNLOAD_FAILED : EXIT_FAILED, L"see the log");
}

}  // namespace

int RunCheckInstallation(const Args& args)
{
    if (std::find(args.begin(), args.end(), L"--manifest") != args.end()) return CheckOffline(args);
    return Check(args, false);
}

int RunRepair(const Args& args) { return Check(args, true); }

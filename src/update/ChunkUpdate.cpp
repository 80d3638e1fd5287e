#include "ChunkUpdate.h"

#include <algorithm>
#include <filesystem>

#include "Messages.h"
#include "StopGuard.h"
#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/SystemError.h"
#include "transfer/ChunkFetcher.h"
#include "transfer/Directories.h"
#include "transfer/FileRebuild.h"
#include "transfer/InstallVerify.h"
#include "transfer/InstalledManifest.h"
#include "transfer/Md5File.h"
#include "transfer/PatchInstaller.h"
#include "transfer/RevisionXml.h"
#include "transfer/Version.h"

namespace fs = std::filesystem;
using Base::Utility::AnsiToWide;
using Base::Utility::Utf8ToWide;

namespace {

const std::uint64_t kSpaceMargin = 1u << 20;

std::wstring MiB(std::uint64_t bytes)
{
    wchar_t text[32];
    _snwprintf(text, 31, L"%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    text[31] = 0;
    return text;
}

std::string Bytes(std::uint64_t n) { return std::to_string(n) + " bytes"; }

}  // namespace

CChunkUpdate::CChunkUpdate(CUpdateEngine& engine) : m_engine(engine), m_store(engine) {}

// The long form: an installation deep in a folder tree passes MAX_PATH.
std::string CChunkUpdate::GameDir() const
{
    return Base::Utility::WideToUtf8(LongPathForm(Utf8ToWide(m_engine.m_strInstallDir)));
}

std::wstring CChunkUpdate::RebuildDir() const { return Utf8ToWide(GameDir()) + m_engine.m_strTempDir + L"rebuild\\"; }

CChunkUpdate::SChain CChunkUpdate::ChainCost() const
{
    SChain chain;
    std::string at = m_engine.GetLocalVersionStr();
    const std::string target = m_engine.m_strServerVersion;
    for (unsigned i = 0; i < 1000 && at != target; ++i) {
        SRevision q;
        q.prevversion = at;
        q.interversion = target;
        const bool up = VersionLess(at, target);
        if (up)
            RevisionTable().FindUpgrade(q);
        else
            RevisionTable().FindDegrade(q);
        const SPackageFile& p = up ? q.upgrade : q.degrade;
        const std::string next = up ? q.interversion : q.prevversion;
        if (p.filename.empty() || next == at) return chain;
        const bool delta = !p.deltaFilename.empty() && p.hasDeltaSize;
        chain.bytes += delta ? p.deltaSize : p.size;
        chain.sized = chain.sized && (delta || p.hasSize);
        ++chain.steps;
        at = next;
    }
    chain.usable = at == target;
    return chain;
}

void CChunkUpdate::OfferIntactFiles(const SManifest& target, CChunkPlan& plan, const std::vector<bool>& rebuilt)
{
    for (std::uint32_t i = 0; i < target.files.size(); ++i) {
        if (rebuilt[i]) continue;
        const SManifestFile& f = target.files[i];
        std::vector<CChunkPlan::SPlace> places;
        std::uint64_t offset = 0;
        for (std::uint32_t k = 0; k < f.chunkCount; ++k) {
            const SChunkRef& c = target.chunks[target.Chunks(f)[k]];
            if (plan.Need(target.Chunks(f)[k]) == CHUNK_FETCH) places.push_back({c.id, offset, c.length});
            offset += c.length;
        }
        if (!places.empty()) plan.OfferPlaces(InstalledPath(GameDir(), target.Path(f)), places);
    }
}

void CChunkUpdate::PlanUpdate(const SManifest& target, const std::string& installedManifest, CChunkPlan& plan,
                              std::vector<std::string>* deletions)
{
    std::vector<bool> same(target.files.size(), false), rebuilt(target.files.size(), false);
    std::vector<std::string> scan;
    if (!installedManifest.empty()) {
        CompareInstalled(installedManifest, target, &same, deletions);
        m_engine.SetLog(LOG_TO_FILE, L"%u files of the installed version are not in %s: they go",
                        static_cast<unsigned>(deletions->size()), AnsiToWide(target.version).c_str());
    }
    for (std::uint32_t i = 0; i < target.files.size(); ++i) {
        const SManifestFile& f = target.files[i];
        const std::string local = InstalledPath(GameDir(), target.Path(f));
        const long long size = LocalSize(local);
        if (size == static_cast<long long>(f.size)) {
            if (same[i]) continue;
            // Without the installed version's manifest only the bytes tell.
            std::uint8_t digest[32];
            if (installedManifest.empty() && FileBlake2b256(local, digest) && std::equal(digest, digest + 32, f.blake2b))
                continue;
        }
        plan.Rebuild(i);
        rebuilt[i] = true;
        if (size >= 0) scan.push_back(local);
    }
    if (!installedManifest.empty()) {
        OfferInstalled(installedManifest, plan, GameDir());
    } else {
        OfferIntactFiles(target, plan, rebuilt);
    }
    // What is left may still lie in the files being replaced, moved by an insertion.
    for (const std::string& local : scan)
        if (plan.FetchChunks() > 0) plan.OfferFile(local);
}

bool CChunkUpdate::TryUpdate()
{
    SChunkReport& report = m_engine.m_ChunkReport;
    report = SChunkReport();
    m_engine.m_Result.SetInstallError(INSTALL_OK);
    auto route = [&](const std::string& text) {
        report.route = text;
        m_engine.SetLog(LOG_TO_FILE, L"update route: %s", Utf8ToWide(text).c_str());
    };
    const SChain chain = ChainCost();
    const std::string chainText = !chain.usable ? std::string("no chain of steps leads there")
                                  : chain.sized ? Bytes(chain.bytes) + " over " + std::to_string(chain.steps) + " steps"
                                                : std::to_string(chain.steps) + " steps of unstated sizes";
    if (!m_store.Load()) {
        route("steps: the release has no chunk store (" + chainText + ")");
        return false;
    }
    CStopGuard guard(m_engine);
    m_guard = &guard;
    const EFault before = m_engine.Fault();
    SManifest target;
    std::string targetPath, installedPath;
    const EManifestFetch fetched = m_store.Fetch(m_engine.m_strServerVersion, true, &targetPath, &target);
    if (fetched == MANIFEST_REFUSED) {
        route("none: the manifest of " + m_engine.m_strServerVersion + " was refused");
        Failed(false);
        return true;
    }
    if (fetched == MANIFEST_ABSENT) {
        m_engine.m_Result.RestoreFault(before);
        route("steps: the chunk store has no manifest of " + m_engine.m_strServerVersion + " (" + chainText + ")");
        return false;
    }
    // The installed version's manifest only says where chunks may lie: every
    // one is checked against the bytes before it is used.
    if (m_store.Fetch(m_engine.GetLocalVersionStr(), false, &installedPath, nullptr) != MANIFEST_FETCHED) {
        m_engine.m_Result.RestoreFault(before);
        installedPath.clear();
        m_engine.SetLog(LOG_TO_FILE, L"no usable manifest of the installed version %s: the installation is read to find "
                                     L"its chunks",
                        AnsiToWide(m_engine.GetLocalVersionStr()).c_str());
    }
    m_engine.SetLog(LOG_TO_INFO, L"%s", FormatLocalText(L"CHUNK_PLANNING", L"s", AnsiToWide(m_engine.m_strServerVersion).c_str()).c_str());
    CChunkPlan plan(target);
    std::vector<std::string> deletions;
    PlanUpdate(target, installedPath, plan, &deletions);
    if (guard.StopRequested()) {
        Failed(true);
        return true;
    }
    const std::uint64_t chunkBytes = plan.FetchBytes();
    const std::string chunkText = Bytes(chunkBytes) + " of " + std::to_string(plan.FetchChunks()) + " chunks for " +
                                  std::to_string(plan.Files().size()) + " files (" + Bytes(plan.LocalBytes()) +
                                  " found in the installation)";
    if (chain.usable && chain.sized && chain.bytes <= chunkBytes) {
        route("steps: " + chainText + " against " + chunkText);
        return false;
    }
    if (chain.usable && !chain.sized) {
        route("steps: " + chainText + " (the default where sizes are unknown) against " + chunkText);
        return false;
    }
    route("chunks: " + chunkText + " against " + chainText);
    report.reusedBytes = plan.LocalBytes();
    if (!Apply(target, plan, deletions, m_engine.m_strServerVersion)) {
        Failed(guard.StopRequested());
        return true;
    }
    m_engine.SetLog(LOG_TO_FILE, L"------------------\r\nSetup all complete!");
    m_engine.m_nFinished = 1;
    m_engine.m_Result.SetOutcome(OUTCOME_INSTALLED);
    m_engine.Notify(WM_UPDATE_COMPLETE);
    return true;
}

// The verify's findings, in the report and the log.
void CChunkUpdate::Record(const SManifest& m, const SVerifyReport& found)
{
    SChunkReport& report = m_engine.m_ChunkReport;
    report.checkedFiles = m.files.size();
    for (std::uint32_t i : found.missing) report.missing.push_back(m.Path(m.files[i]));
    for (std::uint32_t i : found.damaged) report.damaged.push_back(m.Path(m.files[i]));
    report.unexpected = found.unexpected;
    for (const std::string& p : report.missing) m_engine.SetLog(LOG_TO_FILE, L"missing: %s", Utf8ToWide(p).c_str());
    for (const std::string& p : report.damaged) m_engine.SetLog(LOG_TO_FILE, L"damaged: %s", Utf8ToWide(p).c_str());
    for (const std::string& p : report.unexpected) m_engine.SetLog(LOG_TO_FILE, L"unexpected: %s", Utf8ToWide(p).c_str());
    m_engine.SetLog(LOG_TO_FILE, L"verified %u files (%u hashed, %llu bytes; %u trusted by the cache): %u missing, %u "
                                 L"damaged, %u unexpected",
                    static_cast<unsigned>(m.files.size()), static_cast<unsigned>(found.filesHashed),
                    static_cast<unsigned long long>(found.bytesHashed), static_cast<unsigned>(found.filesTrusted),
                    static_cast<unsigned>(found.missing.size()), static_cast<unsigned>(found.damaged.size()),
                    static_cast<unsigned>(found.unexpected.size()));
}

// The chunks of the missing and damaged files, taken where the installation
// still holds them.
void CChunkUpdate::PlanRepair(const SManifest& m, const SVerifyReport& found, CChunkPlan& plan)
{
    std::vector<bool> rebuilt(m.files.size(), false);
    for (std::uint32_t i : found.missing) rebuilt[i] = true;
    for (std::uint32_t i : found.damaged) rebuilt[i] = true;
    for (std::uint32_t i = 0; i < m.files.size(); ++i)
        if (rebuilt[i]) plan.Rebuild(i);
    // A damaged file keeps most of its chunks where they were, or moved when its length changed.
    for (std::uint32_t i : found.damaged) {
        const SManifestFile& f = m.files[i];
        const std::string local = InstalledPath(GameDir(), m.Path(f));
        if (LocalSize(local) != static_cast<long long>(f.size))
            plan.OfferFile(local);
        else
            plan.OfferManifestFile(local, m, f);
    }
    OfferIntactFiles(m, plan, rebuilt);
}

void CChunkUpdate::Check(bool repair, bool full)
{
    SChunkReport& report = m_engine.m_ChunkReport;
    report = SChunkReport();
    CStopGuard guard(m_engine);
    m_guard = &guard;
    const std::string version = m_engine.GetLocalVersionStr();
    m_engine.SetLog(LOG_TO_FILE, L"\r\n%s of version %s\r\n-------------------------", repair ? L"Repair" : L"Verify",
                    AnsiToWide(version).c_str());
    SManifest m;
    std::string path;
    const EManifestFetch fetched = !m_store.Load() ? MANIFEST_ABSENT : m_store.Fetch(version, true, &path, &m);
    if (fetched != MANIFEST_FETCHED) {
        if (fetched == MANIFEST_ABSENT) {
            m_engine.SetLog(LOG_TO_FILE, L"Error:no manifest of version %s: the chunk store %s",
                            AnsiToWide(version).c_str(),
                            m_store.Stores().empty() ? L"is not named by the update information" : L"does not have it");
            m_engine.Fault(FAULT_NO_MANIFEST);
        }
        Failed(false);
        return;
    }
    m_engine.SetLog(LOG_TO_INFO, L"%s", LocalText(L"REPAIR_VERIFYING"));
    SVerifyOptions options;
    options.full = full || repair;
    options.cachePath = GameDir() + "PatchCfg\\VerifyCache.txt";
    options.cancel = guard.CancelFlag();
    options.progress = [this, repair](std::uint64_t done, std::uint64_t total) {
        const float f = total ? static_cast<float>(done) / static_cast<float>(total) : 1.0f;
        m_engine.Progress(PROGRESS_SINGLE, f);
        m_engine.Progress(PROGRESS_TOTAL, repair ? 0.3f * f : f);
    };
    SVerifyReport found;
    VerifyInstallation(GameDir(), m, options, &found);
    if (found.cancelled) {
        Failed(true);
        return;
    }
    Record(m, found);
    if (found.Clean() || !repair) {
        if (!found.Clean()) m_engine.Fault(FAULT_DAMAGED);
        m_engine.m_nFinished = found.Clean() ? 1 : 0;
        m_engine.m_Result.SetOutcome(found.Clean() ? OUTCOME_VERIFIED : OUTCOME_DAMAGED);
        m_engine.CloseLog(found.Clean());
        m_engine.Notify(WM_REPAIR_DONE);
        return;
    }
    CChunkPlan plan(m);
    PlanRepair(m, found, plan);
    report.reusedBytes = plan.LocalBytes();
    m_engine.SetLog(LOG_TO_FILE, L"repair: %u files to restore, %llu bytes of %u chunks to fetch, %llu bytes found in "
                                 L"the installation",
                    static_cast<unsigned>(plan.Files().size()), static_cast<unsigned long long>(plan.FetchBytes()),
                    static_cast<unsigned>(plan.FetchChunks()), static_cast<unsigned long long>(plan.LocalBytes()));
    if (!Apply(m, plan, {}, "")) {
        Failed(guard.StopRequested());
        return;
    }
    report.restored = static_cast<unsigned>(plan.Files().size());
    m_engine.SetLog(LOG_TO_FILE, L"repair complete: %u files restored", report.restored);
    m_engine.m_nFinished = 1;
    m_engine.m_Result.SetOutcome(OUTCOME_REPAIRED);
    m_engine.CloseLog(true);
    m_engine.Notify(WM_REPAIR_DONE);
}

bool CChunkUpdate::Apply(const SManifest& target, const CChunkPlan& plan, const std::vector<std::string>& deletions,
                         const std::string& versionTo)
{
    const std::wstring temp = Utf8ToWide(GameDir()) + m_engine.m_strTempDir;
    MakeDirectories(temp);
    std::uint64_t free = 0;
    const std::uint64_t need = plan.FetchBytes() + plan.RebuildBytes() + kSpaceMargin;
    if (FreeDiskBytes(temp, &free, m_engine.m_pDiskBudget) && free < need) {
        m_engine.SetLog(LOG_TO_FILE, L"Error:disk full: the rebuilt files need %s MiB more in %s",
                        MiB(need - free).c_str(), temp.c_str());
        m_engine.Fault(FAULT_DISK_FULL);
        return false;
    }
    CChunkSpool spool(target, plan.Index());
    if (!spool.Open(Base::Utility::WideToUtf8(temp) + "chunks.spool")) {
        m_engine.SetLog(LOG_TO_FILE, L"Error:cannot write %schunks.spool", temp.c_str());
        m_engine.m_Result.SetInstallError(INSTALL_COPY_ERROR);
        return false;
    }
    std::vector<std::pair<std::wstring, std::string>> placed;
    if (!Fetch(target, plan, spool) || !Rebuild(target, plan, spool, &placed)) return false;
    spool.Close();
    if (!Install(placed, deletions)) return false;
    if (!versionTo.empty() && !m_engine.SaveVersions(versionTo)) {
        m_engine.m_Result.SetInstallError(INSTALL_VERSIONS_NOT_SAVED);
        m_engine.SetLog(LOG_TO_FILE, L"Error:the new versions cannot be saved");
        return false;
    }
    m_engine.m_Journal.Commit();
    m_engine.SetLog(LOG_TO_FILE, L"------------------\r\nInstall files complete!");
    m_engine.DeleteTempFiles(0, 0);
    m_engine.Progress(PROGRESS_TOTAL, 1.0f);
    return true;
}

bool CChunkUpdate::Fetch(const SManifest& target, const CChunkPlan& plan, CChunkSpool& spool)
{
    const std::vector<SChunkRange> ranges =
        plan.Ranges([](void* s, std::uint32_t c) { return static_cast<CChunkSpool*>(s)->Has(c); }, &spool);
    m_engine.SetLog(LOG_TO_FILE, L"fetching %u chunks in %u requests (%u held from an earlier run)",
                    static_cast<unsigned>(plan.FetchChunks() - spool.Held()), static_cast<unsigned>(ranges.size()),
                    static_cast<unsigned>(spool.Held()));
    CChunkFetcher fetcher(target, spool, m_store.Stores());
    SFetchRules rules;
    rules.stallMs = m_engine.InetDownload.StallMs();
    rules.stallBytes = m_engine.InetDownload.StallBytes();
    rules.rate = m_engine.InetDownload.RateLimit();
    rules.minRate = m_engine.InetDownload.MinRate();
    rules.cancel = m_guard->CancelFlag();
    rules.proxy = m_engine.InetDownload.Proxy();
    fetcher.SetRules(rules);
    fetcher.SetLog(m_engine.FileLogSink());
    fetcher.SetProgress([this](std::uint64_t received, std::uint64_t total) {
        const float f = total ? static_cast<float>(received) / static_cast<float>(total) : 1.0f;
        m_engine.Progress(PROGRESS_SINGLE, f);
        m_engine.Progress(PROGRESS_TOTAL, 0.3f + 0.4f * f);
        m_engine.SetLog(LOG_TO_INFO, L"%s", FormatLocalText(L"CHUNK_FETCHING", L"ss", MiB(received).c_str(), MiB(total).c_str()).c_str());
    });
    const EDownloadResult code = fetcher.Fetch(ranges);
    m_engine.m_ChunkReport.fetchedBytes = fetcher.Received();
    m_engine.SetLog(LOG_TO_FILE, L"chunk bytes fetched: %llu", static_cast<unsigned long long>(fetcher.Received()));
    if (code == DOWNLOAD_OK) return true;
    if (code != DOWNLOAD_STOPPED) {
        m_engine.m_Result.RecordDownloadFailure(code, fetcher.LastStatus());
        if (fetcher.BadChunks() > 0 || fetcher.ShortBundles() > 0) m_engine.Fault(FAULT_BAD_CHUNK);
        m_engine.SetLog(LOG_TO_FILE, L"Error:the chunks could not be fetched from any server: %s",
                        DownloadFailureText(code, fetcher.LastStatus(), fetcher.LastError()).c_str());
    }
    return false;
}

bool CChunkUpdate::Rebuild(const SManifest& target, const CChunkPlan& plan, CChunkSpool& spool,
                           std::vector<std::pair<std::wstring, std::string>>* placed)
{
    const std::wstring dir = RebuildDir();
    std::size_t done = 0;
    for (std::uint32_t i : plan.Files()) {
        if (m_guard->StopRequested()) return false;
        const std::wstring rel = Utf8ToWide(target.Path(target.files[i]));
        const std::wstring out = dir + rel;
        MakeDirectories(GetParentDir(out));
        std::string md5, why;
        if (!RebuildFile(target, i, plan, spool, Base::Utility::WideToUtf8(out), &md5, &why)) {
            m_engine.SetLog(LOG_TO_FILE, L"Error:rebuild failed: %s", Utf8ToWide(why).c_str());
            m_engine.Fault(FAULT_BAD_CHUNK);
            m_engine.m_Result.SetInstallError(INSTALL_DIGEST_ERROR);
            return false;
        }
        placed->emplace_back(rel, md5);
        ++done;
        m_engine.Progress(PROGRESS_TOTAL, 0.7f + 0.15f * static_cast<float>(done) / static_cast<float>(plan.Files().size()));
        m_engine.SetLog(LOG_TO_INFO, L"%s", FormatLocalText(L"CHUNK_REBUILDING", L"s", rel.c_str()).c_str());
    }
    return true;
}

bool CChunkUpdate::Install(const std::vector<std::pair<std::wstring, std::string>>& placed,
                           const std::vector<std::string>& deletions)
{
    const std::wstring game = Utf8ToWide(GameDir());
    CInstallJournal& journal = m_engine.m_Journal;
    journal = CInstallJournal(game);
    std::wstring damage;
    if (!journal.Begin(&damage)) {
        if (!damage.empty()) {
            m_engine.NeedsRepair(damage);
            m_engine.m_Result.SetInstallError(INSTALL_NEEDS_REPAIR);
        } else {
            m_engine.m_Result.SetInstallError(INSTALL_COPY_ERROR);
        }
        return false;
    }
    auto fail = [&](const std::wstring& path, DWORD error, EInstallError kind) {
        m_engine.SetLog(LOG_TO_FILE, L"Error:cannot place %s: %s", path.c_str(), SystemErrorText(error).c_str());
        if (IsDiskFullError(error)) {
            m_engine.Fault(FAULT_DISK_FULL);
            kind = INSTALL_DISK_FULL;
        }
        m_engine.m_Result.SetInstallError(kind);
        return false;
    };
    const std::wstring dir = RebuildDir();
    for (const auto& p : placed) {
        std::wstring rel = p.first;
        // The running launcher is replaced at its next start.
        if (_wcsicmp(rel.c_str(), L"launcher.exe") == 0) rel += L".new";
        if (!journal.MoveAside(rel, p.second)) return fail(rel, GetLastError(), INSTALL_COPY_ERROR);
        if (!MoveFileExW((dir + p.first).c_str(), (game + rel).c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
            return fail(rel, GetLastError(), INSTALL_COPY_ERROR);
        m_engine.SetLog(LOG_TO_FILE, L"placed %s", rel.c_str());
    }
    for (const std::string& d : deletions) {
        const std::wstring rel = Utf8ToWide(d);
        if (!FileExists(game + rel)) continue;
        if (!journal.MoveAside(rel)) return fail(rel, GetLastError(), INSTALL_COPY_ERROR);
        m_engine.SetLog(LOG_TO_FILE, L"deleted %s (not in the new version)", rel.c_str());
    }
    m_engine.Progress(PROGRESS_TOTAL, 0.9f);
    for (const auto& p : placed) {
        std::wstring rel = p.first;
        if (_wcsicmp(rel.c_str(), L"launcher.exe") == 0) rel += L".new";
        if (FileMd5Hex(game + rel) != p.second) {
            m_engine.SetLog(LOG_TO_FILE, L"Error:%s failed its MD5 check once placed", rel.c_str());
            m_engine.m_Result.SetInstallError(INSTALL_DIGEST_ERROR);
            return false;
        }
    }
    return true;
}

void CChunkUpdate::Failed(bool stopped)
{
    if (m_engine.m_Journal.IsOpen()) m_engine.Rollback(0, 0);
    if (stopped) {
        m_engine.SetLog(LOG_TO_FILE, L"%s", LocalText(L"USER_STOPDOWNLOAD_QUIT"));
        m_engine.m_Result.SetOutcome(OUTCOME_STOPPED);
        m_engine.CloseLog(false);
        m_engine.Notify(WM_AUTOPATCH_STOP);
        return;
    }
    const bool fetched = m_engine.Result().InstallError() == INSTALL_OK && m_engine.Fault() != FAULT_NEEDS_REPAIR;
    m_engine.m_Result.SetOutcome(fetched ? OUTCOME_DOWNLOAD_FAILED : OUTCOME_INSTALL_FAILED);
    m_engine.SetLog(LOG_TO_FILE, L"----------------Setup error quit--------------------");
    m_engine.CloseLog(false);
    m_engine.Notify(WM_RUN_FAILED);
}

#include "PatchInstaller.h"

#include "DiffDelta.h"
#include "Md5.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include <tinyxml.h>

#include "ArchiveNames.h"
#include "Directories.h"
#include "FileByteSource.h"
#include "Md5File.h"
#include "ParallelExtract.h"
#include "PackageFileList.h"
#include "PathFence.h"
#include "PeResource.h"
#include "Version.h"
#include "ZipRangeIo.h"
#include "ZipWrapper.h"
#include "ZstdDelta.h"
#include "base/utility/HelperThread.h"
#include "base/utility/ParallelFor.h"
#include "base/utility/MessageBox.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/SystemError.h"
#include "base/utility/TextFormat.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlSave.h"
#include "base/utility/XmlText.h"

using Base::Utility::AsciiLower;
using Base::Utility::WideToAnsi;
using Base::Utility::WideToUtf8;
using Base::Utility::WithBackslashes;

namespace {


const char kPackageResourceType[] = "RT_RCDATA";
const std::uint16_t kPackageResourceId = 135;
// From this size a file's digest is taken on a thread of its own.
const std::uint64_t kLargeFile = 1u << 20;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

// A file-list path as the key of the sets of unpacked and moved files.
std::wstring Key(const std::wstring& path) { return AsciiLower(WithBackslashes(path)); }

// A delta's result, written as it is made.
class CFileDeltaSink : public IDeltaSink {
public:
    bool Create(const std::wstring& path)
    {
        m_file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return m_file.Valid();
    }
    // Gathered into large writes: a difference writes a piece per match.
    bool Write(const void* data, std::size_t size) override
    {
        if (size >= kLargeFile) {
            // A filtered result comes whole at the end: hashed while written.
            if (!Flush()) return false;
            Base::Utility::CHelperThread hasher([&] { m_md5.Update(data, size); });
            const bool written = WriteAll(data, size);
            const DWORD error = GetLastError();
            hasher.Join();
            SetLastError(error);
            return written;
        }
        m_md5.Update(data, size);
        if (m_buffer.size() + size > kBuffer && !Flush()) return false;
        if (size >= kBuffer) return WriteAll(data, size);
        m_buffer.append(static_cast<const char*>(data), size);
        return true;
    }
    // Before the result is used: false when the last bytes cannot be written.
    bool Flush()
    {
        const bool ok = m_buffer.empty() || WriteAll(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }
    // The digest of what was written: no second read of the result.
    std::string Md5Hex()
    {
        unsigned char d[16];
        m_md5.Final(d);
        return ::Md5Hex(d);
    }

private:
    static const std::size_t kBuffer = 256 * 1024;
    bool WriteAll(const void* data, std::size_t size)
    {
        DWORD written = 0;
        return WriteFile(m_file.Get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }
    Base::Utility::CFileHandle m_file;
    std::string m_buffer;
    CMd5 m_md5;
};

std::string SourceMd5Hex(const IByteSource& source)
{
    CMd5 md5;
    std::vector<unsigned char> block(static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), 1u << 20)));
    for (std::uint64_t at = 0; at < source.Size();) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), source.Size() - at));
        if (!source.Read(at, block.data(), n)) return "";
        md5.Update(block.data(), n);
        at += n;
    }
    unsigned char digest[16];
    md5.Final(digest);
    return Md5Hex(digest);
}

}  // namespace


CPatchInstaller::CPatchInstaller(CInstallJournal& journal) : m_journal(journal) {}

void CPatchInstaller::SetTempDir(const std::wstring& dir)
{
    m_tempDir = dir;
    if (!DirectoryExists(dir)) MakeDirectories(dir);
}

unsigned CPatchInstaller::State()
{
    Base::System::ZLocker guard(m_lock);
    return m_state;
}

void CPatchInstaller::SetState(unsigned state)
{
    Base::System::ZLocker guard(m_lock);
    m_state = state;
}

void CPatchInstaller::SendProgress(std::uint32_t permille)
{
    m_progress = permille;
    if (m_progressSink) m_progressSink(permille);
}

void CPatchInstaller::Log(const std::wstring& line) const
{
    if (m_log) m_log(line);
}

bool CPatchInstaller::Fail(EInstallError error, const wchar_t* logFormat, const std::wstring& detail)
{
    m_error = error;
    Log(Base::Utility::FormatText(logFormat, detail.c_str()));
    return false;
}

bool CPatchInstaller::FaultAt()
{
    const unsigned step = m_step++;
    return m_faults && m_faults(step);
}

bool CPatchInstaller::Unpack()
{
    // The zip is read straight from the file: a downloaded package is data,
    // never a module of this process.
    CFileByteSource file;
    if (!file.Open(m_package))
        return Fail(INSTALL_UNREADABLE, L"Error:the package cannot be read: %s",
                    m_package + L": " + SystemErrorText(GetLastError()));
    SResourceLocation where;
    std::string why;
    if (!FindPeResource(file, kPackageResourceType, kPackageResourceId, &where, &why))
        return Fail(INSTALL_BAD_PACKAGE, L"ExtractPackage:no zip resource in %s (%s)",
                    m_package + L" " + Base::Utility::AnsiToWide(why));
    SZipRange range = {&file, where.offset, where.size};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    FileIO::CZipWrapper zip;
    zip.SetDiskBudget(m_diskBudget);
    if (!zip.OpenReader(&funcs, &range))
        return Fail(INSTALL_BAD_PACKAGE, L"ExtractPackage:resource of %s is no zip archive",
                    m_package);
    const std::vector<std::wstring> names = zip.ListFiles();
    SNameRefusal refusal;
    if (!CheckArchiveNames(zip, NAME_RELATIVE_PATH, &refusal))
        return Fail(INSTALL_REFUSED_NAME, L"Error:refused name %s",
                    refusal.name + L" (" + refusal.why + L") in the package " + m_package);

    // Everything unpacked sits beside the game until it is moved in: it must
    // fit before the first byte is written.
    if (!HasSpaceFor(zip.UnpackedBytes(), L"unpack " + m_package)) return false;

    SendProgress(0);
    const size_t n = names.size();
    std::vector<std::wstring> targets;
    for (const std::wstring& name : names) targets.push_back(m_tempDir + WithBackslashes(name));
    SExtractResult result;
    ExtractAll(
        zip, [&](FileIO::CZipWrapper& second) {
            second.SetDiskBudget(m_diskBudget);
            return second.OpenReader(&funcs, &range);
        }, names, targets, true,
        [&](size_t done) {
            if (done > 0) SendProgress(static_cast<std::uint32_t>((done - 1) * 300 / n));
        },
        &result);
    for (size_t i = 0; i < n; ++i) {
        if (result.ok[i]) m_unpacked.insert(Key(names[i]));
        if (result.ok[i]) m_unpackedMd5[Key(names[i])] = result.md5[i];
        m_unpackedPaths.push_back(targets[i]);
    }
    zip.Close();
    SendProgress(m_progress);
    if (result.failed) {
        const std::wstring entry = names[result.failedIndex] + L" of " + m_package + L", ErrorCode:" +
                                   std::to_wstring(result.failedError);
        if (IsDiskFullError(result.failedError))
            return Fail(INSTALL_DISK_FULL, L"Error:disk full: cannot unpack %s", entry);
        return Fail(INSTALL_BAD_PACKAGE, L"ExtractPackage:cannot unpack %s", entry);
    }
    if (!m_unpacked.count(L"filelist.xml"))
        return Fail(INSTALL_BAD_PACKAGE, L"ExtractPackage:%s holds no filelist.xml", m_package);
    return true;
}

bool CPatchInstaller::ExtractPackage()
{
    SetState(STATE_NEW);
    m_copyList.Clear();
    m_verifyList.Clear();
    m_spareList.Clear();
    m_unpacked.clear();
    m_unpackedPaths.clear();
    m_unpackedMd5.clear();
    m_moved.clear();
    m_error = INSTALL_OK;

    // A file list left by an earlier run must never be taken for this one's.
    const std::wstring fileListPath = m_tempDir + L"filelist.xml";
    DeleteFileForced(fileListPath);
    if (!Unpack()) return false;

    SPackageFileList list;
    if (!ReadFileList(fileListPath, &list)) return false;
    m_copyList.Read(list);
    m_verifyList.Read(list);
    m_spareList.Read(list);
    m_itemCount = m_copyList.Count();
    if (!CheckPaths()) return false;

    // Only files of this package are installed: what an earlier run left in
    // the temp directory under a listed name goes.
    for (const SFileListItem* item = m_copyList.Head(); item; item = item->next) {
        if (item->operation == SFileListItem::OP_COPY && !m_unpacked.count(Key(item->path)))
            DeleteFileForced(m_tempDir + WithBackslashes(item->path));
    }
    if (!ApplyDeltas()) return false;
    if (!CheckUnpackedDigests()) return false;
    m_bExtracted = true;
    SetState(STATE_UNPACKED);
    return true;
}

bool CPatchInstaller::ReadFileList(const std::wstring& path, SPackageFileList* list)
{
    TiXmlDocument doc;
    std::string refused;
    if (!LoadXmlDocument(doc, WideToUtf8(path).c_str(), TIXML_ENCODING_UNKNOWN, &refused) && !refused.empty())
        return Fail(INSTALL_BOUND_EXCEEDED, L"Error:bound exceeded: filelist.xml of %s",
                    m_package + L" " + Base::Utility::AnsiToWide(refused));
    switch (ReadPackageFileList(doc, list)) {
    case FILELIST_NOT_1_0_0:
        return Fail(INSTALL_BAD_PACKAGE, L"ExtractPackage:filelist.xml of %s is not version 1.0.0", m_package);
    case FILELIST_NO_VERSIONS: return Fail(INSTALL_VERSION_RANGE, L"ExtractPackage:%s names no versions", m_package);
    case FILELIST_TOO_MANY_ITEMS:
        return Fail(INSTALL_BOUND_EXCEEDED, L"Error:bound exceeded: filelist.xml of %s",
                    m_package + L" has more than " + std::to_wstring(kMaxFileListItems) + L" files");
    case FILELIST_OK: break;
    }
    const std::string& internal = list->internal;
    const std::string& from = list->from;
    m_versions[VERSION_INTERNAL] = Base::Utility::AnsiToWide(internal);
    m_versions[VERSION_MIDDLE].clear();
    m_versions[VERSION_FROM] = Base::Utility::AnsiToWide(from);
    // A package fetched for one step must make that step and no other.
    if (!m_expectedTo.empty() && (from != m_expectedFrom || internal != m_expectedTo))
        return Fail(INSTALL_VERSION_RANGE, L"Error:package %s",
                    m_package + L" goes from " + m_versions[VERSION_FROM] + L" to " + m_versions[VERSION_INTERNAL] +
                        L", the step is " + Base::Utility::AnsiToWide(m_expectedFrom) + L" to " +
                        Base::Utility::AnsiToWide(m_expectedTo));

    TiXmlDocument cfg;
    LoadXmlDocument(cfg, WideToUtf8(m_gameDir + L"PatchCfg\\NewUpdateCfg.xml").c_str(), TIXML_ENCODING_UNKNOWN);
    const TiXmlElement* cur = cfg.FirstChildElement("Root");
    cur = cur ? cur->FirstChildElement("Version") : nullptr;
    cur = cur ? cur->FirstChildElement("CurVersion") : nullptr;
    const std::string client = XmlElementText(cur);
    const bool upgrade = VersionLess(from, internal);
    const std::string& low = upgrade ? from : internal;
    const std::string& high = upgrade ? internal : from;
    if (VersionLess(client, low) || VersionLess(high, client))
        return Fail(INSTALL_VERSION_RANGE, L"ExtractPackage:client version %s outside %s",
                    Base::Utility::AnsiToWide(client) + L", package " + m_versions[VERSION_FROM] + L"-" +
                        m_versions[VERSION_INTERNAL]);
    return true;
}

// Every unpacked file is the file list's before anything in the game changes.
bool CPatchInstaller::CheckUnpackedDigests()
{
    for (const SFileListItem* item = m_copyList.Head(); item; item = item->next) {
        const auto digest = m_unpackedMd5.find(Key(item->path));
        if (item->operation != SFileListItem::OP_COPY || digest == m_unpackedMd5.end() ||
            digest->second == AsciiLower(item->checksum))
            continue;
        wchar_t text[1024];
        _snwprintf(text, 1023, L"Check md5 Error %s to %s KORVALEN file\n", (m_tempDir + WithBackslashes(item->path)).c_str(),
                   Base::Utility::AnsiToWide(item->checksum).c_str());
        text[1023] = 0;
        ShowMessageBox(m_hWnd, text, nullptr, MB_OK | MB_ICONERROR);
        return Fail(INSTALL_DIGEST_ERROR, L"Error:%s does not match its MD5 in the file list", WithBackslashes(item->path));
    }
    return true;
}

bool CPatchInstaller::CheckPaths()
{
    for (const SFileListItem* item = m_copyList.Head(); item; item = item->next) {
        const ENameVerdict verdict = FenceName(item->path, NAME_PACKAGE_TARGET);
        if (verdict != NAME_OK)
            return Fail(INSTALL_REFUSED_NAME, L"Error:refused name %s",
                        item->path + L" (" + NameVerdictText(verdict) + L") in filelist.xml of " + m_package);
    }
    return true;
}

bool CPatchInstaller::HasSpaceFor(std::uint64_t bytes, const std::wstring& what)
{
    std::uint64_t free = 0;
    const std::uint64_t need = bytes + kSpaceMargin;
    if (!FreeDiskBytes(m_tempDir, &free, m_diskBudget) || free >= need) return true;
    const std::uint64_t more = (need - free + (1u << 20) - 1) >> 20;
    m_error = INSTALL_DISK_FULL;
    Log(L"Error:disk full: need " + std::to_wstring(more) + L" MiB more to " + what);
    return false;
}

void CPatchInstaller::DiscardUnpacked()
{
    for (const std::wstring& path : m_unpackedPaths) {
        DeleteFileForced(path);
        DeleteFileForced(path + L".result");
    }
    m_unpackedPaths.clear();
    if (!m_tempDir.empty()) RemoveEmptyDirectories(m_tempDir, true);
}

// One delta of the package: checked and applied on its own.
struct SDeltaJob {
    const SFileListItem* item;
    std::wstring rel, delta, result, base;
    bool inSolid = false, baseMatches = false;
    EDeltaResult applied = DELTA_WRITE_FAILED;
    DWORD error = 0;
    std::string digest;
};

bool CPatchInstaller::ApplyDeltas()
{
    // Each result is written beside its delta before the delta goes.
    std::uint64_t results = 0;
    bool solidUsed = false;
    for (const SFileListItem* item = m_copyList.Head(); item; item = item->next) {
        if (item->operation != SFileListItem::OP_COPY || item->delta.empty()) continue;
        results += item->size;
        solidUsed = solidUsed || item->delta == "diff-solid";
    }
    if (results > 0 && !HasSpaceFor(results, L"apply the deltas of " + m_package)) return false;
    const std::wstring solidPath = m_tempDir + L"filelist.deltas.plain";
    std::vector<SDeltaJob> jobs;
    if ((solidUsed && !UnpackSolidBundle(solidPath)) || !CollectDeltaJobs(&jobs)) return false;
    if (!RunDeltaJobs(jobs, solidUsed ? solidPath : std::wstring())) {
        for (const SDeltaJob& job : jobs) DeleteFileForced(job.result);
        return Fail(INSTALL_DELTA_DAMAGED, L"Error:the solid bundle of %s", m_package + L" cannot be read");
    }
    return AcceptDeltaResults(jobs);
}

// The solid bundle of small files' deltas, decompressed once.
bool CPatchInstaller::UnpackSolidBundle(const std::wstring& plainPath)
{
    std::string why = "missing";
    bool ok = false;
    {
        CFileByteSource bundle;
        CFileDeltaSink plain;
        ok = m_unpacked.count(L"filelist.deltas") && bundle.Open(m_tempDir + L"filelist.deltas") &&
             plain.Create(plainPath) && UnpackSolid(bundle, plain, &why) && plain.Flush();
    }
    m_unpackedPaths.push_back(plainPath);
    if (!ok)
        return Fail(INSTALL_DELTA_DAMAGED, L"Error:the solid bundle of %s",
                    m_package + L" refused: " + Base::Utility::AnsiToWide(why));
    return true;
}

bool CPatchInstaller::CollectDeltaJobs(std::vector<SDeltaJob>* jobs)
{
    for (const SFileListItem* item = m_copyList.Head(); item; item = item->next) {
        if (item->operation != SFileListItem::OP_COPY || item->delta.empty()) continue;
        SDeltaJob job;
        job.item = item;
        job.rel = WithBackslashes(item->path);
        job.delta = m_tempDir + job.rel;
        job.result = job.delta + L".result";
        // The old file is the installed one, also for a launcher replaced at its next start.
        job.base = m_gameDir + job.rel;
        job.inSolid = item->delta == "diff-solid";
        // A delta from the bundle has no file of its own: its result takes the place at once.
        if (job.inSolid) job.result = job.delta;
        const bool known =
            item->delta == "zstd" || item->delta == "zstd-x86" || item->delta == "diff-lzma" || job.inSolid;
        if (!known || (job.inSolid ? !item->hasSlice : !m_unpacked.count(Key(item->path))))
            return Fail(INSTALL_DELTA_DAMAGED, L"Error:delta %s is of an unknown kind or missing",
                        job.rel + L" in " + m_package);
        if (job.inSolid) {
            MakeDirectories(GetParentDir(job.delta));
            m_unpackedPaths.push_back(job.delta);
        }
        jobs->push_back(job);
    }
    return true;
}

namespace {

void ApplyDeltaJob(SDeltaJob& job, const CFileByteSource& solidBytes)
{
    const SFileListItem& item = *job.item;
    CFileByteSource d, b;
    if (!b.Open(job.base)) return;
    CFileDeltaSink out;
    const CSliceByteSource slice(solidBytes, item.sliceOffset, item.sliceSize);
    if (job.inSolid && !slice.Valid())
        job.applied = DELTA_MALFORMED;
    else if ((job.inSolid || d.Open(job.delta)) && out.Create(job.result))
        job.applied = job.inSolid                 ? ApplyDiffDelta(slice, b, item.size, out)
                      : item.delta == "diff-lzma" ? ApplyDiffDelta(d, b, item.size, out)
                                                  : ApplyDelta(d, b, item.size, out, item.delta == "zstd-x86");
    if (job.applied == DELTA_OK && !out.Flush()) job.applied = DELTA_WRITE_FAILED;
    if (job.applied != DELTA_OK) job.error = GetLastError();
    job.digest = job.applied == DELTA_OK ? out.Md5Hex() : "";
    // A result that is the file list's came from the right old file; only a
    // refused one needs the old file's digest, to say which side is at fault.
    job.baseMatches = (job.applied == DELTA_OK && job.digest == AsciiLower(item.checksum)) ||
                      SourceMd5Hex(b) == AsciiLower(item.baseChecksum);
}

}  // namespace

// Both cores take the jobs in turn (at most two appliers hold their memory
// at once), the largest first: one taken last would keep a core busy while
// the other waits. False when the solid bundle cannot be read.
bool CPatchInstaller::RunDeltaJobs(std::vector<SDeltaJob>& jobs, const std::wstring& solidPath)
{
    CFileByteSource solidBytes;  // its reads are serialised: one reader for both
    if (!solidPath.empty() && !solidBytes.Open(solidPath)) return false;
    std::vector<SDeltaJob*> order;
    for (SDeltaJob& job : jobs) order.push_back(&job);
    std::stable_sort(order.begin(), order.end(),
                     [](const SDeltaJob* a, const SDeltaJob* b) { return a->item->size > b->item->size; });
    Base::Utility::ParallelFor(order.size(), 2, [&](size_t i) {
        ApplyDeltaJob(*order[i], solidBytes);
        return true;
    });
    return true;
}

// Each result takes its delta's place once it is the file list's; the first
// that is not refuses the package and every result goes.
bool CPatchInstaller::AcceptDeltaResults(std::vector<SDeltaJob>& jobs)
{
    for (SDeltaJob& job : jobs) {
        const SFileListItem* item = job.item;
        if (!job.baseMatches) {
            DeleteFileForced(job.result);
            return Fail(INSTALL_DELTA_BASE, L"Error:delta base: %s is not the file the delta applies to", job.rel);
        }
        std::wstring why = Base::Utility::AnsiToWide(DeltaResultText(job.applied));
        if (job.applied == DELTA_OK && job.digest != AsciiLower(item->checksum)) {
            job.applied = DELTA_BAD_FRAME;
            why = L"the result is not the file list's MD5";
        }
        m_unpackedMd5[Key(item->path)] = job.applied == DELTA_OK ? job.digest : "";
        if (job.applied == DELTA_OK && job.result != job.delta &&
            !MoveFileExW(job.result.c_str(), job.delta.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            job.applied = DELTA_WRITE_FAILED;
            job.error = GetLastError();
        }
        if (job.applied == DELTA_OK) {
            if (job.inSolid) m_unpacked.insert(Key(item->path));
            Log(L"delta applied: " + job.rel);
            continue;
        }
        for (const SDeltaJob& other : jobs) DeleteFileForced(other.result);
        if (job.applied == DELTA_WRITE_FAILED && IsDiskFullError(job.error))
            return Fail(INSTALL_DISK_FULL, L"Error:disk full: cannot apply the delta of %s", job.rel);
        return Fail(INSTALL_DELTA_DAMAGED, L"Error:delta %s", job.rel + L" refused: " + why);
    }
    return true;
}

std::wstring CPatchInstaller::TargetOf(const SFileListItem& item)
{
    std::wstring rel = WithBackslashes(item.path);
    // Whatever the name attribute says: the path is what gets replaced.
    if (EqualsNoCase(rel, L"launcher.exe")) rel += L".new";
    return rel;
}

bool CPatchInstaller::CopyFiles()
{
    if (m_tempDir.empty() || State() != STATE_UNPACKED) return false;
    SetState(STATE_COPYING);
    std::wstring damage;
    if (!m_journal.Begin(&damage)) {
        if (!damage.empty())
            return Fail(INSTALL_NEEDS_REPAIR, L"Error:the installation needs repair: journal %s",
                        m_journal.JournalPath() + L" " + damage);
        return Fail(INSTALL_COPY_ERROR, L"CopyFiles:cannot start the journal %s", m_journal.JournalPath());
    }
    std::uint32_t done = 0;
    std::vector<std::unique_ptr<SFileListItem>> batch;
    while (State() == STATE_COPYING) {
        // The journal hears of a whole batch with one flush: a flush per file
        // is what made installing cost more than the files' bytes.
        batch.clear();
        for (std::unique_ptr<SFileListItem> item; batch.size() < kJournalBatch && (item = m_copyList.TakeHead());)
            batch.push_back(std::move(item));
        if (batch.empty()) return true;
        std::vector<CInstallJournal::SPlacement> places;
        std::vector<const SFileListItem*> placeItems, copies;
        for (const std::unique_ptr<SFileListItem>& item : batch) {
            if (item->operation == SFileListItem::OP_COPY) {
                if (!m_unpacked.count(Key(item->path))) continue;
                places.push_back({TargetOf(*item), m_unpackedMd5[Key(item->path)], false});
                placeItems.push_back(item.get());
                copies.push_back(item.get());
            } else if (!EqualsNoCase(item->name, L"Revision.xml") && !FaultAt()) {
                // Deleting is moving aside; failures are not reported.
                places.push_back({TargetOf(*item), "", true});
                placeItems.push_back(item.get());
            }
        }
        size_t failed = 0;
        DWORD error = 0;
        const SFileListItem* failedItem = nullptr;
        if (!m_journal.MoveAsideAll(places, &failed)) {
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            failedItem = failed < placeItems.size() ? placeItems[failed] : nullptr;
        }
        if (error == 0) {
            // The journal knows the whole batch: the moves may go in any order.
            std::vector<DWORD> errors(copies.size(), 0);
            const size_t first = Base::Utility::ParallelFor(copies.size(), kParallelMovesFrom, [&](size_t i) {
                const SFileListItem* item = copies[i];
                const std::wstring source = m_tempDir + WithBackslashes(item->path), target = m_gameDir + TargetOf(*item);
                if (FaultAt())
                    errors[i] = ERROR_ACCESS_DENIED;
                else if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
                    errors[i] = GetLastError();
                return errors[i] == 0 || errors[i] == ERROR_FILE_NOT_FOUND;
            }, kFileThreads);
            for (size_t i = 0; i < copies.size(); ++i)
                if (errors[i] == 0) m_moved.insert(Key(copies[i]->path));
            if (first < copies.size()) {
                error = errors[first];
                failedItem = copies[first];
            }
        }
        if (error != 0) {
            const std::wstring source = failedItem ? m_tempDir + WithBackslashes(failedItem->path) : L"";
            const std::wstring target = failedItem ? m_gameDir + TargetOf(*failedItem) : m_gameDir;
            SendProgress(0);
            if (IsLockError(error)) {
                // Waited for long enough: the cause goes on screen, not into a box.
                m_lockedPath = failedItem ? TargetOf(*failedItem) : L"";
                m_lockHolders = HoldersOf(target);
                return Fail(INSTALL_FILE_LOCKED, L"Error:locked: %s", target + L" is in use" +
                            (m_lockHolders.empty() ? L" by another program" : L" by " + m_lockHolders) +
                            L": close it and retry");
            }
            wchar_t text[1024];
            _snwprintf(text, 1023, L"Add file from %s to %s KORVALEN file, %x\n", source.c_str(), target.c_str(),
                       static_cast<unsigned>(error));
            text[1023] = 0;
            ShowMessageBox(m_hWnd, text, nullptr, MB_OK | MB_ICONERROR);
            if (IsDiskFullError(error)) return Fail(INSTALL_DISK_FULL, L"Error:disk full: cannot install %s", target);
            m_error = INSTALL_COPY_ERROR;
            return false;
        }
        done += static_cast<std::uint32_t>(batch.size());
        SendProgress(300 + 400 * done / (m_itemCount ? m_itemCount : 1));
    }
    return true;
}

bool CPatchInstaller::VerifyFiles()
{
    // The digests are taken by two threads first; the check then walks the
    // list in order, so that the first mismatch is the one reported.
    std::vector<const SFileListItem*> items;
    for (const SFileListItem* item = m_verifyList.Head(); item; item = item->next) items.push_back(item);
    std::vector<std::string> digests(items.size());
    std::atomic<size_t> next{0}, hashed{0};
    // A file moved in is the file unpacked: its digest was taken then. Only
    // what stayed in place is read again.
    auto digestOf = [&](const SFileListItem& item) {
        const auto known = m_unpackedMd5.find(Key(item.path));
        if (m_moved.count(Key(item.path)) && known != m_unpackedMd5.end()) return known->second;
        return FileMd5Hex(m_gameDir + TargetOf(item));
    };
    auto hash = [&] {
        for (size_t i; (i = next++) < items.size(); ++hashed)
            if (items[i]->operation == SFileListItem::OP_COPY) digests[i] = digestOf(*items[i]);
    };
    std::optional<Base::Utility::CHelperThread> helper;
    if (items.size() >= 16 && std::thread::hardware_concurrency() > 1) helper.emplace(hash);
    const std::uint32_t count = m_itemCount ? m_itemCount : 1;
    for (size_t i; (i = next++) < items.size(); ++hashed) {
        if (items[i]->operation == SFileListItem::OP_COPY) digests[i] = digestOf(*items[i]);
        SendProgress(700 + static_cast<std::uint32_t>(300 * hashed / count));
    }
    if (helper) helper->Join();

    std::uint32_t done = 0;
    size_t index = 0;
    while (State() == STATE_COPYING) {
        std::unique_ptr<SFileListItem> item = m_verifyList.TakeHead();
        if (!item) break;
        const std::wstring target = m_gameDir + TargetOf(*item);
        if (item->operation == SFileListItem::OP_COPY && digests[index] != AsciiLower(item->checksum)) {
            wchar_t text[1024];
            _snwprintf(text, 1023, L"Check md5 Error %s to %s KORVALEN file\n", target.c_str(),
                       Base::Utility::AnsiToWide(item->checksum).c_str());
            text[1023] = 0;
            ShowMessageBox(m_hWnd, text, nullptr, MB_OK | MB_ICONERROR);
            m_error = INSTALL_DIGEST_ERROR;
            return false;
        }
        ++index;
        ++done;
        // Copying moved the source away; what is still there is deleted.
        if (!m_moved.count(Key(item->path))) DeleteFileForced(m_tempDir + WithBackslashes(item->path));
        const std::uint32_t progress = 700 + 300 * done / count;
        if (progress > m_progress || done == count) SendProgress(progress);
    }
    if (State() != STATE_COPYING) return false;
    if (FaultAt() || !WriteVersions(m_gameDir + L"PatchCfg\\NewUpdateCfg.xml")) {
        if (IsDiskFullError(GetLastError()))
            return Fail(INSTALL_DISK_FULL, L"Error:disk full: the versions cannot be written to %s",
                        m_gameDir + L"PatchCfg\\NewUpdateCfg.xml");
        m_error = INSTALL_VERSIONS_NOT_SAVED;
        return false;
    }
    SetState(STATE_FINISHED);
    SendProgress(101);
    return true;
}

bool CPatchInstaller::WriteVersions(const std::wstring& cfgPath)
{
    const std::wstring& internal = m_versions[VERSION_INTERNAL];
    const std::wstring& from = m_versions[VERSION_FROM];
    if (internal.empty() || from.empty()) return true;
    const std::string path = WideToUtf8(cfgPath);
    TiXmlDocument doc;
    if (!LoadXmlDocument(doc, path.c_str(), TIXML_ENCODING_UNKNOWN)) return false;
    TiXmlElement* root = doc.FirstChildElement("Root");
    TiXmlElement* version = root ? root->FirstChildElement("Version") : nullptr;
    TiXmlElement* clientVer = version ? version->FirstChildElement("ClientVer") : nullptr;
    if (clientVer == nullptr) return true;  // nothing is saved without these
    auto set = [](TiXmlElement* e, const std::wstring& text) {
        if (TiXmlText* t = XmlTextNode(e)) t->SetValue(WideToAnsi(text).c_str());
    };
    set(version->FirstChildElement("CurVersion"), internal);
    set(version->FirstChildElement("LastVersion"), from);
    // The installed version, not the empty middle text.
    set(clientVer, internal);
    if (!m_journal.KeepCopy(L"PatchCfg\\NewUpdateCfg.xml")) return false;
    // Saved plain under the name asked for.
    return SaveXmlDocument(doc, path);
}

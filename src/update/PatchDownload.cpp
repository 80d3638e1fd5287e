// Fetching the patch package of a run into the temp directory, and the status
// line shown while bytes arrive.
#include <atomic>
#include <cstdio>
#include <cstring>

#include <tinyxml.h>

#include "StopGuard.h"
#include "UpdateEngine.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlSave.h"
#include "transfer/Directories.h"
#include "transfer/DownloadRetry.h"
#include "transfer/Md5File.h"
#include "transfer/PathFence.h"
#include "transfer/ProgressFigures.h"
#include "transfer/Version.h"

using Base::Utility::AnsiToWide;
using Base::Utility::Utf8ToWide;

namespace {

std::atomic<int> g_nDisplayCounter{0};

const wchar_t* const kProgressFormats[4] = {
    L"下载文件(%d/%d)...(%.1fM/%.1fM)\t\t下载速度:%0.1f%s",
    L"下载文件(%d/%d)..`(%.1fM/%.1fM)\t\t下载速度:%0.1f%s",
    L"下载文件(%d/%d).``(%.1fM/%.1fM)\t\t下载速度:%0.1f%s",
    L"下载文件(%d/%d)```(%.1fM/%.1fM)\t\t下载速度:%0.1f%s",
};

}  // namespace

std::uint32_t CUpdateEngine::DownloadOneFile(const std::string& url, bool isRetry, const std::string&,
                                             const std::string&, const std::string&, std::string localPath,
                                             bool showProgress, const SDownloadLimits& limits,
                                             EDownloadResult* result)
{
    EDownloadResult code = DOWNLOAD_REQUEST_FAILED;
    if (result) *result = code;
    const size_t slash = url.rfind('/');
    const std::string fileName = slash == std::string::npos ? url : url.substr(slash + 1);
    if (localPath.empty()) {
        // The last piece of an address becomes a file name only when it is a plain one.
        const ENameVerdict verdict = FenceName(fileName, NAME_PLAIN_FILE);
        if (verdict != NAME_OK) {
            SetLog(LOG_TO_FILE, L"Error:refused name %s (%s) in the address %s", AnsiToWide(fileName).c_str(),
                   NameVerdictText(verdict), AnsiToWide(url).c_str());
            Fault(FAULT_REFUSED_NAME);
            if (result) *result = DOWNLOAD_NO_FILE;
            return 0;
        }
    }
    const std::wstring local =
        localPath.empty() ? m_strTempDir + Base::Utility::TextToWide(fileName) : Base::Utility::Utf8ToWide(localPath);

    if (showProgress) {
        Progress(PROGRESS_SINGLE, 0.0f);
        const std::wstring status = FormatLocalText(isRetry ? L"REDOWNLOAD_ERRORFILES" : L"DOWNLOADING_FIELS",
                                                    L"s", Base::Utility::TextToWide(fileName).c_str());
        SetLog(LOG_TO_INFO, L"%s", status.c_str());
    }
    SDownloadLimits l = limits;
    if (l.tempDir.empty()) l.tempDir = m_strTempDir;
    std::uint64_t size = 0;
    code = InetDownload.DownloadFile(AnsiToWide(Base::Utility::AsciiLower(url)).c_str(), local.c_str(), l, &size);
    if (result) *result = code;
    const std::wstring u = AnsiToWide(url);
    if (code != DOWNLOAD_OK) {
        m_Result.RecordDownloadFailure(code, InetDownload.LastStatus());
        SetLog(LOG_TO_FILE, L"Warnning: download of %s failed: %s", u.c_str(),
               DownloadFailureText(code, InetDownload.LastStatus(), InetDownload.LastError()).c_str());
    }
    switch (code) {
    case DOWNLOAD_DISK_FULL:
        SetLog(LOG_TO_FILE, L"Error:disk full: %s cannot be stored as %s", u.c_str(), local.c_str());
        break;
    case DOWNLOAD_TOO_LARGE: BoundExceeded(u, "sends more than its stated size or the cap"); break;
    case DOWNLOAD_STALLED: SetLog(LOG_TO_FILE, L"Warnning: download of %s stalled", u.c_str()); break;
    case DOWNLOAD_TOO_SLOW:
        SetLog(LOG_TO_FILE, L"Warnning: download of %s was slower than the minimum rate", u.c_str());
        break;
    default: break;
    }
    Fault(FaultOfDownload(code));
    if (showProgress) Progress(PROGRESS_SINGLE, 1.0f);
    if (code != DOWNLOAD_OK) return 0;
    return size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
}

std::uint32_t CUpdateEngine::DownloadWithRetries(const std::string& url, const std::string& localPath,
                                                 const SDownloadLimits& limits, EDownloadResult* code)
{
    std::uint32_t size = 0;
    SRetryPolicy policy = m_Transfer.RetryPolicy();
    policy.wake = m_hCancelWake.Get();
    policy.cancel = &m_bCancelTransfer;
    policy.onRetry = [&](int attempt, DWORD pauseMs) {
        SetLog(LOG_TO_FILE, L"Warnning: trying %s again in %u s (attempt %d of %d)", AnsiToWide(url).c_str(),
               static_cast<unsigned>(pauseMs / 1000), attempt, policy.attempts);
    };
    const EDownloadResult result = RetryDownload(
        policy,
        [&] {
            EDownloadResult r = DOWNLOAD_REQUEST_FAILED;
            size = DownloadOneFile(url, false, "", "", "", localPath, true, limits, &r);
            return r;
        },
        [this] { return InetDownload.LastStatus(); });
    if (code) *code = result;
    if (result != DOWNLOAD_OK && result != DOWNLOAD_STOPPED)
        SetLog(LOG_TO_FILE, L"Warnning: %s given up", AnsiToWide(url).c_str());
    return result == DOWNLOAD_OK ? size : 0;
}

std::wstring CUpdateEngine::TransferFailureText(EDownloadResult code) const
{
    switch (code) {
    case DOWNLOAD_STALLED:
    case DOWNLOAD_TOO_SLOW:
    case DOWNLOAD_TOO_LARGE:
    case DOWNLOAD_SIZE_MISMATCH:
    case DOWNLOAD_REQUEST_FAILED:
        return DownloadFailureText(code, InetDownload.LastStatus(), InetDownload.LastError());
    default: return L"";  // ours: another server would not mend it
    }
}

bool CUpdateEngine::AcceptDownloadedPackage(const std::string& localPath, const SPackageFile& package, std::wstring* why)
{
    if (!package.checksum.empty()) {
        // Taken as the bytes arrived when this download just wrote the file.
        std::string digest;
        if (!InetDownload.DigestsOf(Utf8ToWide(localPath), &digest, nullptr)) digest = FileMd5Hex(Utf8ToWide(localPath));
        if (digest != Base::Utility::AsciiLower(package.checksum)) {
            SetLog(LOG_TO_FILE, L"Error:bad digest: package %s does not match the revision table: its MD5 is %s, "
                                L"the table states %s",
                   Utf8ToWide(localPath).c_str(), AnsiToWide(digest).c_str(), AnsiToWide(package.checksum).c_str());
            Fault(FAULT_BAD_DIGEST);
            *why = L"the package does not match the revision table";
            return false;
        }
    }
    return true;
}

EStepResult CUpdateEngine::FetchPackageFrom(const std::string& baseUrl, const SPackageFile& package,
                                            const std::string& localPath, std::wstring* why)
{
    why->clear();
    const std::string url = Base::Utility::WithSlashes(baseUrl + package.filename);
    SDownloadLimits limits;
    limits.statedSize = package.hasSize ? package.size : 0;
    limits.tempDir = m_strTempDir;
    for (int pass = 0; pass < 2; ++pass) {
        EDownloadResult code = DOWNLOAD_REQUEST_FAILED;
        const std::uint32_t size = DownloadWithRetries(url, localPath, limits, &code);
        if (m_bCancelTransfer) return STEP_STOPPED;
        if (size == 0 && code == DOWNLOAD_SIZE_MISMATCH) {
            // Another length than the table's is another file: no transfer mends it.
            SetLog(LOG_TO_FILE, L"Error:bad size: package %s does not match the revision table: the server's file "
                                L"is %llu bytes, the table states %llu",
                   AnsiToWide(url).c_str(), static_cast<unsigned long long>(InetDownload.AnnouncedLength()),
                   static_cast<unsigned long long>(limits.statedSize));
            Fault(FAULT_BAD_DIGEST);
            CINetDownLoad::DiscardPartial(Utf8ToWide(localPath), limits);
            *why = L"the package does not match the revision table";
            return STEP_PACKAGE_MISMATCH;
        }
        if (size == 0) {
            *why = TransferFailureText(code);
            return STEP_DOWNLOAD_FAILED;
        }
        // Checked before anything of it is unpacked.
        if (AcceptDownloadedPackage(localPath, package, why)) {
            // Fetching it again from this server would not mend a signature.
            if (VerifyDownload(url, Utf8ToWide(localPath), false)) return STEP_SUCCEEDED;
            *why = L"its signature was refused";
            return STEP_DOWNLOAD_FAILED;
        }
        // Whatever led to it goes, a resumed partial included: once more from zero.
        DeleteFileForced(Utf8ToWide(localPath));
        CINetDownLoad::DiscardPartial(Utf8ToWide(localPath), limits);
    }
    return STEP_PACKAGE_MISMATCH;
}

EStepResult CUpdateEngine::FetchFromServers(const SPackageFile& package, const CStopGuard& guard)
{
    const std::string& fileName = package.filename;
    const ENameVerdict verdict = FenceName(fileName, NAME_PLAIN_FILE);
    if (verdict != NAME_OK || IsEngineTempName(fileName)) {
        SetLog(LOG_TO_FILE, L"Error:refused name %s (%s) from the revision table", AnsiToWide(fileName).c_str(),
               verdict != NAME_OK ? NameVerdictText(verdict) : L"the name of a file of the engine's own");
        Fault(FAULT_REFUSED_NAME);
        return STEP_DOWNLOAD_FAILED;
    }
    const std::string localPath = Base::Utility::WideToUtf8(m_strTempDir + Base::Utility::TextToWide(fileName));
    EStepResult result = STEP_DOWNLOAD_FAILED;
    // A stop request may have come in before the transfer began.
    if (guard.StopRequested()) return result;
    m_strPackagePath = localPath;
    const std::vector<std::string> bases = m_Route.Bases(m_strPatchBaseURL);
    const EFault before = Fault();
    for (size_t i = 0; i < bases.size() && !guard.StopRequested(); ++i) {
        const std::wstring base = AnsiToWide(bases[i]);
        if (i > 0) SetLog(LOG_TO_FILE, L"Trying patch server %s", base.c_str());
        std::wstring why;
        result = FetchPackageFrom(bases[i], package, localPath, &why);
        if (result == STEP_SUCCEEDED) {
            // What the servers left behind is no fault of this run.
            if (i > 0) m_Result.RestoreFault(before);
            break;
        }
        if (result == STEP_STOPPED || why.empty()) break;
        SetLog(LOG_TO_FILE, L"Warnning: patch server %s left: %s", base.c_str(), why.c_str());
    }
    return result;
}

EStepResult CUpdateEngine::DownloadAllPatchFiles(float progressFrom, float)
{
    SetLog(LOG_TO_FILE, L"DownloadAllPatchFiles::Begin");
    // The step before this one left the total bar full.
    Progress(PROGRESS_TOTAL, progressFrom);
    const std::string client = GetLocalVersionStr();
    const bool upgrade = VersionLess(client, m_strServerVersion);
    const SPackageFile& whole = upgrade ? m_Plan.upgrade : m_Plan.degrade;
    // The step's delta package first: it costs the bytes that changed.
    m_Route.SetDelta(m_Route.PreferDelta() && !whole.deltaFilename.empty());
    // The step this package must make: from the client to the step's other end.
    m_Route.SetStep(client, upgrade ? m_Plan.interversion : m_Plan.prevversion);
    {
        CStopGuard guard(*this);
        const EFault before = Fault();
        EStepResult result = FetchFromServers(m_Route.IsDelta() ? whole.AsDelta() : whole, guard);
        if (m_Route.IsDelta() && result != STEP_SUCCEEDED && result != STEP_STOPPED && !guard.StopRequested()) {
            // The whole-file package of the step is there for just this.
            SetLog(LOG_TO_FILE, L"Warnning: delta package %s could not be fetched: the whole-file package follows",
                   AnsiToWide(whole.deltaFilename).c_str());
            m_Route.SetDelta(false);
            m_Result.RestoreFault(before);
            result = FetchFromServers(whole, guard);
        }
        if (guard.StopRequested()) {
            SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
            return STEP_STOPPED;
        }
        if (result != STEP_SUCCEEDED) return result;
        Progress(PROGRESS_TOTAL, 1.0f);
    }
    SetLog(LOG_TO_FILE, L"all files download succeed!");
    SetLog(LOG_TO_FILE, L"DownloadAllPatchFiles::End\r\n");
    return STEP_SUCCEEDED;
}

void CUpdateEngine::ShowDownloadProgress(std::uint32_t total, std::uint32_t received, std::uint32_t speed)
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (engine == nullptr) return;
    const SDownloadFigures f = ComputeDownloadFigures(total, received, speed);
    engine->Progress(PROGRESS_SINGLE, f.single);
    wchar_t text[256];
    const int counter = g_nDisplayCounter++;
    _snwprintf(text, 255, kProgressFormats[static_cast<unsigned>(counter) % 4], f.pieceIndex, f.pieceCount,
               static_cast<double>(f.received), static_cast<double>(f.total), static_cast<double>(f.speed),
               f.megabytes ? L"MB/S" : L"KB/S");
    text[255] = 0;
    engine->SetLog(LOG_TO_INFO, L"%s", text);
}

bool CUpdateEngine::NewSaveCurDownloadedFileList()
{
    SetLog(LOG_TO_FILE, L"----------------NewSaveCurDownloadedFileList:begin ----------------");
    bool any = false;
    for (const SDownloadRecord& r : m_vecDownloadRecord) any = any || r.downloaded;
    if (!any) return true;

    TiXmlDocument doc;
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", "yes"));
    TiXmlElement* root = new TiXmlElement("Root");
    doc.LinkEndChild(root);
    for (const SDownloadRecord& r : m_vecDownloadRecord) {
        if (!r.downloaded) continue;
        TiXmlElement* file = new TiXmlElement("File");
        file->SetAttribute("MD5", r.md5.c_str());
        file->SetAttribute("FileSize", r.size.c_str());
        file->SetAttribute("FileName", (r.fileName + ".zip").c_str());
        root->LinkEndChild(file);
    }
    const std::string path = Base::Utility::WideToAnsi(m_strTempDir) + m_strServerVersion + ".tmp";
    if (!SaveXmlDocument(doc, path)) {
        SetLog(LOG_TO_FILE, L"NewSaveCurDownloadedFileList:%s failed", AnsiToWide(path).c_str());
        return false;
    }
    m_strDownloadedFileVersion = m_strServerVersion;
    if (m_pDownloadedFileVersionNode) m_pDownloadedFileVersionNode->SetValue(m_strDownloadedFileVersion.c_str());
    if (!SaveLocalConfig()) {
        SetLog(LOG_TO_FILE, L"NewSaveCurDownloadedFileList:downloadlistVer:%s save falied",
               AnsiToWide(m_strServerVersion).c_str());
        return false;
    }
    return true;
}

// The server's update information: NewUpdateInfo.zip fetched from one
// address, its expected entries unpacked, NewUpdateInfo.xml parsed and its
// files put in place. Nothing the server sent reaches PatchCfg\ before it
// has parsed and passed its bounds.
#include <cstdlib>

#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "transfer/Directories.h"
#include "transfer/RevisionXml.h"
#include "transfer/ZipWrapper.h"

using Base::Utility::AnsiToWide;

namespace {

// The archive and each of its entries are small files.
const std::uint64_t kMaxUpdateInfoArchive = 16u << 20;
const std::uint64_t kMaxUpdateInfoEntry = 4u << 20;
const wchar_t* const kUpdateInfoEntries[] = {L"NewUpdateInfo.xml", L"ServerList.xml", L"DownloadServer.xml",
                                             L"Revision.xml", L"GameCfg.ini"};

// Copies over the destination; false with the Win32 error left set.
bool CopyOver(const std::wstring& from, const std::wstring& to)
{
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

}  // namespace

bool CUpdateEngine::UnpackUpdateInfo(const std::wstring& archive)
{
    SetLog(LOG_TO_FILE, L"UnZipFile:%s to CurrentDirectory.isManualPak=0", archive.c_str());
    FileIO::CZipWrapper zip(archive.c_str(), FileIO::CZipWrapper::MODE_READ);
    zip.SetDiskBudget(m_pDiskBudget);
    if (zip.IsReaderClosed()) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error: cannot open file %s,ErrorCode:%u", archive.c_str(), error);
        return false;
    }
    for (const wchar_t* name : kUpdateInfoEntries) {
        const std::wstring target = m_strTempDir + name;
        // An earlier archive's file must not pass for this one's.
        DeleteFileForced(target);
        if (!zip.HasEntry(name)) continue;
        if (zip.ExtractFile(name, target.c_str(), kMaxUpdateInfoEntry)) continue;
        const DWORD error = GetLastError();
        DeleteFileForced(target);
        if (error == ERROR_FILE_TOO_LARGE) {
            BoundExceeded(archive + L" " + name, "larger than " + std::to_string(kMaxUpdateInfoEntry) + " bytes");
        } else if (IsDiskFullError(error)) {
            SetLog(LOG_TO_FILE, L"Error:disk full: cannot unpack %s to %s", name, target.c_str());
            Fault(FAULT_DISK_FULL);
        }
        SetLog(LOG_TO_FILE, L"Error:unzip %s to %s failed,ErrorCode:%u", name, target.c_str(), error);
        return false;
    }
    SetLog(LOG_TO_FILE, L"UnZipFile:End succeed");
    return true;
}

EStepResult CUpdateEngine::DownLoadParseUpdateInfo(const std::string& url)
{
    SetLog(LOG_TO_FILE, L"\r\nDownLoadParseUpdateInfo:begin\r\n------------------------");
    SetLog(LOG_TO_INFO, L"%s", LocalText(L"DOWNLOADING_ALLINFO"));
    SDownloadLimits limits;
    limits.maxSize = kMaxUpdateInfoArchive;
    m_Signatures.BeginInfo();
    if (DownloadOneFile(url, false, "", "", "", "", false, limits) == 0) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"DOWNLOADED_ALLINFO_ERROR"));
        return STEP_FAILED;
    }
    const std::wstring& temp = m_strTempDir;
    const std::wstring archive = temp + (g_bTestServer ? L"newupdateinfo_qa.zip" : L"NewUpdateInfo.zip");
    if (!VerifyDownload(url, archive, true)) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"DOWNLOADED_ALLINFO_ERROR"));
        return STEP_FAILED;
    }
    if (!UnpackUpdateInfo(archive)) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"UNZIP_UPDATEINFO_ERROR"));
        return STEP_FAILED;
    }
    // Parsed and checked where it was unpacked, before anything is installed.
    const std::wstring infoSource = temp + L"NewUpdateInfo.xml";
    bool usable = ParseUpdateInfoFile(Base::Utility::WideToAnsi(infoSource).c_str()) != STEP_FAILED;
    const std::wstring revisionSource = temp + L"Revision.xml";
    if (usable && FileExists(revisionSource)) {
        CRevisionXml check;
        usable = check.Load(Base::Utility::WideToAnsi(revisionSource).c_str(), FileLogSink());
        if (check.BoundExceeded()) Fault(FAULT_BOUND_EXCEEDED);
    }
    if (!usable) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"PARSE_UPDATEINFO_ERROR"));
        return STEP_FAILED;
    }

    const std::wstring infoTarget = L"PatchCfg\\NewUpdateInfo.xml";
    if (!CopyOver(infoSource, infoTarget)) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Warnning: CopyFile %s to %s failed! Errorcode:%u", infoSource.c_str(),
               infoTarget.c_str(), error);
        // The installed copy stands, as the next start would read it.
        if (ParseUpdateInfoFile("PatchCfg\\NewUpdateInfo.xml") == STEP_FAILED) {
            SetLog(LOG_TO_INFO, L"%s", LocalText(L"PARSE_UPDATEINFO_ERROR"));
            return STEP_FAILED;
        }
    } else {
        // The game's own files; failures are silent.
        for (const wchar_t* name : {L"ServerList.xml", L"DownloadServer.xml"}) {
            const std::wstring target = std::wstring(L"Binaries\\") + name;
            MakeDirectories(GetParentDir(target));
            if (CopyOver(temp + name, target)) DeleteFileW((temp + name).c_str());
        }
        const std::pair<const wchar_t*, std::wstring> kept[] = {{L"Revision.xml", L"PatchCfg\\Revision.xml"},
                                                                {L"GameCfg.ini", L"Binaries\\GameCfg.ini"}};
        for (const auto& k : kept) {
            const std::wstring source = temp + k.first;
            if (CopyOver(source, k.second)) {
                DeleteFileW(archive.c_str());
                if (!DeleteFileW(source.c_str())) {
                    const DWORD error = GetLastError();
                    SetLog(LOG_TO_FILE, L"Warnning: DeleteFile %s failed! Errorcode:%u", source.c_str(), error);
                }
            } else {
                const DWORD error = GetLastError();
                SetLog(LOG_TO_FILE, L"Warnning: CopyFile %s to %s failed! Errorcode:%u", source.c_str(),
                       k.second.c_str(), error);
            }
        }
    }
    // Older signed information is refused from now on.
    SaveInfoTimestamp();
    SetLog(LOG_TO_FILE, L"ParseUpdateInfoFile:End succeed");
    SetLog(LOG_TO_FILE, L"---------------------\r\nDownLoadParseUpdateInfo:End succeed\r\n");
    return STEP_SUCCEEDED;
}

EStepResult CUpdateEngine::ParseUpdateInfoFile(const char* pPath)
{
    SUpdateInfoRecord r;
    if (!LoadUpdateInfoRecord(pPath, &r)) return STEP_FAILED;
    if (!r.hasLatest) {
        SetLog(LOG_TO_FILE, L"Error:\"LatestVersion\" read failed!");
        return STEP_FAILED;
    }
    m_strLatestVersion = r.latestVersion;
    SetLog(LOG_TO_FILE, L"Latest client version\xFF1A%07u", static_cast<unsigned>(VersionOrPortNumber(r.latestVersion)));
    // The list describes this file only: a second retrieval must not repeat servers.
    m_vecPatchServer = r.servers;
    return STEP_SUCCEEDED;
}

// Fetching the patch package of a run into the temp directory, and the status
// line shown while bytes arrive.
#include <atomic>
#include <cstdio>

#include <tinyxml.h>

#include "ProgressFigures.h"
#include "app/StringTable.h"
#include "base/utility/StrConv.h"
#include "update/UpdateEngine.h"
#include "update/Version.h"

using Base::Utility::AnsiToWide;

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
                                             bool showProgress)
{
    const size_t slash = url.rfind('/');
    const std::string fileName = slash == std::string::npos ? url : url.substr(slash + 1);
    std::wstring local = localPath.empty() ? m_strTempDir + AnsiToWide(fileName) : AnsiToWide(localPath);

    if (showProgress) {
        Progress(4, 0.0f);
        const std::wstring status = FormatLocalText(isRetry ? L"REDOWNLOAD_ERRORFILES" : L"DOWNLOADING_FIELS",
                                                    L"s", AnsiToWide(fileName).c_str());
        SetLog(LOG_TO_INFO, L"%s", status.c_str());
    }
    std::string lower = url;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::uint32_t size = 0;
    InetDownload.Download(AnsiToWide(lower).c_str(), local.c_str(), &size, 0, 0, 0, 0);
    if (showProgress) Progress(4, 1.0f);
    return size;
}

int CUpdateEngine::DownloadAllPatchFiles(float, float)
{
    SetLog(LOG_TO_FILE, L"DownloadAllPatchFiles::Begin");
    const SPackageFile& package =
        VersionLess(GetLocalVersionStr(), m_strServerVersion) ? m_Plan.upgrade : m_Plan.degrade;
    const std::string fileName = package.filename;

    // Each loop waits on a fresh event: once signalled it would never block again.
    if (m_hStopEvent) ResetEvent(m_hStopEvent.Get());
    m_bCancelTransfer = false;
    m_bDownloadDone = false;
    if (m_bDownloadDone) {
        if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
        SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
        return 3;
    }

    std::string url = m_strPatchBaseURL + fileName;
    for (char& c : url)
        if (c == '\\') c = '/';
    const std::string localPath = Base::Utility::WideToAnsi(m_strTempDir) + fileName;
    m_strPackagePath = localPath;

    std::uint32_t size = 0;
    for (int attempt = 0; attempt < 4 && size == 0 && !m_bCancelTransfer; ++attempt)
        size = DownloadOneFile(url, false, "", "", "", localPath, true);
    if (m_bCancelTransfer) {
        // A stop request ended the transfer.
        if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
        SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
        return 3;
    }
    if (size == 0) {
        if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
        return 1;
    }
    Progress(8, 1.0f);
    m_bDownloadDone = true;
    if (m_hStopEvent) SetEvent(m_hStopEvent.Get());
    SetLog(LOG_TO_FILE, L"all files download succeed!");
    SetLog(LOG_TO_FILE, L"DownloadAllPatchFiles::End\r\n");
    return 2;
}

void CUpdateEngine::ShowDownloadProgress(std::uint32_t total, std::uint32_t received, std::uint32_t speed)
{
    CUpdateEngine* engine = g_pUpdateEngine;
    if (engine == nullptr) return;
    const SDownloadFigures f = ComputeDownloadFigures(total, received, speed);
    engine->Progress(4, f.single);
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
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!doc.SaveFile(path.c_str())) {
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

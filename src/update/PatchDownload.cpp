// Fetching the patch package of a run into the temp directory, and the status
// line shown while bytes arrive.
#include <atomic>
#include <cstdio>

#include <tinyxml.h>

#include "StopGuard.h"
#include "UpdateEngine.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlSave.h"
#include "transfer/ProgressFigures.h"
#include "transfer/Version.h"

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
        Progress(PROGRESS_SINGLE, 0.0f);
        const std::wstring status = FormatLocalText(isRetry ? L"REDOWNLOAD_ERRORFILES" : L"DOWNLOADING_FIELS",
                                                    L"s", AnsiToWide(fileName).c_str());
        SetLog(LOG_TO_INFO, L"%s", status.c_str());
    }
    std::uint32_t size = 0;
    InetDownload.Download(AnsiToWide(Base::Utility::AsciiLower(url)).c_str(), local.c_str(), &size, 0, 0, 0, 0);
    if (showProgress) Progress(PROGRESS_SINGLE, 1.0f);
    return size;
}

std::uint32_t CUpdateEngine::DownloadWithRetries(const std::string& url, const std::string& localPath)
{
    std::uint32_t size = 0;
    for (int attempt = 0; attempt < 4 && size == 0 && !m_bCancelTransfer; ++attempt)
        size = DownloadOneFile(url, false, "", "", "", localPath, true);
    return size;
}

EStepResult CUpdateEngine::DownloadAllPatchFiles(float, float)
{
    SetLog(LOG_TO_FILE, L"DownloadAllPatchFiles::Begin");
    const SPackageFile& package =
        VersionLess(GetLocalVersionStr(), m_strServerVersion) ? m_Plan.upgrade : m_Plan.degrade;
    const std::string fileName = package.filename;
    {
        CStopGuard guard(*this);
        std::uint32_t size = 0;
        // A stop request may have come in before the transfer began.
        if (!guard.StopRequested()) {
            const std::string url = Base::Utility::WithSlashes(m_strPatchBaseURL + fileName);
            const std::string localPath = Base::Utility::WideToAnsi(m_strTempDir) + fileName;
            m_strPackagePath = localPath;
            size = DownloadWithRetries(url, localPath);
        }
        if (guard.StopRequested()) {
            SetLog(LOG_TO_FILE, L"StopEvent:return _STOP");
            return STEP_STOPPED;
        }
        if (size == 0) return STEP_DOWNLOAD_FAILED;
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

// The server's update information: NewUpdateInfo.zip fetched from one
// address, unpacked, its files put in place and NewUpdateInfo.xml parsed.
#include <cstdlib>

#include "UpdateEngine.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlText.h"
#include "transfer/Directories.h"

using Base::Utility::AnsiToWide;

namespace {

// Copies over the destination; false with the Win32 error left set.
bool CopyOver(const std::wstring& from, const std::wstring& to)
{
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

}  // namespace

EStepResult CUpdateEngine::DownLoadParseUpdateInfo(const std::string& url)
{
    SetLog(LOG_TO_FILE, L"\r\nDownLoadParseUpdateInfo:begin\r\n------------------------");
    SetLog(LOG_TO_INFO, L"%s", LocalText(L"DOWNLOADING_ALLINFO"));
    if (DownloadOneFile(url, false, "", "", "", "", false) == 0) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"DOWNLOADED_ALLINFO_ERROR"));
        return STEP_FAILED;
    }
    const std::wstring& temp = m_strTempDir;
    const std::wstring archive = temp + (g_bTestServer ? L"newupdateinfo_qa.zip" : L"NewUpdateInfo.zip");
    if (!UnZipFile(archive, L"", false, 0.0f, 1.0f)) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"UNZIP_UPDATEINFO_ERROR"));
        return STEP_FAILED;
    }

    const std::wstring infoSource = temp + L"NewUpdateInfo.xml";
    const std::wstring infoTarget = L"PatchCfg\\NewUpdateInfo.xml";
    if (!CopyOver(infoSource, infoTarget)) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Warnning: CopyFile %s to %s failed! Errorcode:%u", infoSource.c_str(),
               infoTarget.c_str(), error);
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

    if (ParseUpdateInfoFile("PatchCfg\\NewUpdateInfo.xml") == STEP_FAILED) {
        SetLog(LOG_TO_INFO, L"%s", LocalText(L"PARSE_UPDATEINFO_ERROR"));
        return STEP_FAILED;
    }
    SetLog(LOG_TO_FILE, L"ParseUpdateInfoFile:End succeed");
    SetLog(LOG_TO_FILE, L"---------------------\r\nDownLoadParseUpdateInfo:End succeed\r\n");
    return STEP_SUCCEEDED;
}

EStepResult CUpdateEngine::ParseUpdateInfoFile(const char* pPath)
{
    TiXmlDocument doc;
    if (!LoadXmlDocument(doc, pPath, TIXML_ENCODING_UNKNOWN)) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error:Loadfile:%s,ErrorCode:%u", AnsiToWide(pPath).c_str(), error);
        return STEP_FAILED;
    }
    const TiXmlElement* root = doc.FirstChildElement("Root");
    if (root == nullptr) return STEP_FAILED;
    const TiXmlElement* latest = root->FirstChildElement("LatestVersion");
    if (latest == nullptr) {
        SetLog(LOG_TO_FILE, L"Error:\"LatestVersion\" read failed!");
        return STEP_FAILED;
    }
    m_strLatestVersion = XmlElementText(latest);
    const std::string& v = m_strLatestVersion;
    const bool hex = v.size() >= 3 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    const unsigned number = static_cast<unsigned>(std::strtoul(v.c_str() + (hex ? 2 : 0), nullptr, hex ? 16 : 10));
    SetLog(LOG_TO_FILE, L"Latest client version\xFF1A%07u", number);

    // The list describes this file only: a second retrieval must not repeat servers.
    m_vecPatchServer.clear();
    for (const TiXmlElement* e = root->FirstChildElement("PatchServer"); e; e = e->NextSiblingElement("PatchServer")) {
        SPatchServer s;
        s.Clientdir = XmlAttribute(e, "Clientdir");
        s.Xmlfiledir = XmlAttribute(e, "Xmlfiledir");
        s.maxsize = std::atoi(XmlAttribute(e, "maxsize").c_str());
        s.url = XmlAttribute(e, "url");
        s.unicomurl = XmlAttribute(e, "unicomurl");
        s.port = XmlAttribute(e, "port");
        s.Version = XmlAttribute(e, "Version");
        m_vecPatchServer.push_back(s);
    }
    return STEP_SUCCEEDED;
}

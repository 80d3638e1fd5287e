// The local update configuration PatchCfg\NewUpdateCfg.xml and the parts of
// the local PatchCfg\NewUpdateInfo.xml read at initialisation.
#include <cstdlib>
#include <cstring>

#include "UpdateEngine.h"
#include "base/utility/MessageBox.h"
#include "base/utility/StrConv.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlSave.h"
#include "base/utility/XmlText.h"

using Base::Utility::AnsiToWide;

namespace {

const char kUpdateCfgPath[] = "PatchCfg\\NewUpdateCfg.xml";
const char kLocalUpdateInfoPath[] = "PatchCfg\\NewUpdateInfo.xml";

// The element's text node, given to an empty element so that new versions
// can be written into it; field gets its text.
TiXmlText* VersionNode(TiXmlElement* e, std::string& field)
{
    TiXmlText* text = XmlTextNode(e);
    field = text ? text->Value() : "";
    return text;
}

// "0x" or "0X" and at least 3 characters: hexadecimal; otherwise decimal.
int PortNumber(const std::string& piece)
{
    if (piece.size() >= 3 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X'))
        return static_cast<int>(std::strtoul(piece.c_str() + 2, nullptr, 16));
    return std::atoi(piece.c_str());
}

}  // namespace

bool CUpdateEngine::initBasic()
{
    if (!ParseUpdateCfg(kUpdateCfgPath)) {
        ShowMessageBox(m_hWnd, LocalText(L"ePath_init_fail"), LocalText(L"ePath_Error"), MB_ICONERROR);
        SetLog(LOG_TO_FILE,
               L"ParseUpdateCfg(\"PatchCfg\\NewUpdateCfg.xml\") function return false, update modual "
               L"initBasic() failed!");
        return false;
    }
    ParseLocalUpdateInfo(kLocalUpdateInfoPath);
    return true;
}

bool CUpdateEngine::ParseUpdateCfg(const char* pPath)
{
    // The nodes belong to the document about to be reloaded.
    m_pLastVersionNode = m_pCurVersionNode = m_pClientVerNode = m_pDownloadedFileVersionNode = nullptr;
    m_strUpdateCfgPath = pPath;
    m_bUpdateCfgLoaded = false;
    // A re-read describes the file as it is now and does not repeat addresses.
    m_strLastVersion.clear();
    m_strCurVersion.clear();
    m_strClientVer.clear();
    m_strDownloadedFileVersion.clear();
    m_strNormalURL.clear();
    m_strTestUpdateURL.clear();
    m_strTestRollbackURL.clear();
    m_vecUpdateInfoURL.clear();

    if (!LoadXmlDocument(m_docUpdateCfg, pPath, TIXML_ENCODING_UNKNOWN)) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error:Loadfile:%s,ErrorCode:%u", AnsiToWide(pPath).c_str(), error);
        return false;
    }
    TiXmlElement* pRoot = m_docUpdateCfg.FirstChildElement("Root");
    if (pRoot == nullptr) {
        SetLog(LOG_TO_FILE, L"Error:Cannot find \"Root\" Node");
        return false;
    }
    TiXmlElement* pVersion = pRoot->FirstChildElement("Version");
    if (pVersion == nullptr) return false;

    if (TiXmlElement* e = pVersion->FirstChildElement("LastVersion"))
        m_pLastVersionNode = VersionNode(e, m_strLastVersion);
    if (TiXmlElement* e = pVersion->FirstChildElement("CurVersion"))
        m_pCurVersionNode = VersionNode(e, m_strCurVersion);
    if (TiXmlElement* e = pVersion->FirstChildElement("ClientVer"))
        m_pClientVerNode = VersionNode(e, m_strClientVer);

    TiXmlElement* pDownloaded = pVersion->FirstChildElement("DownloadedFileVersion");
    if (pDownloaded == nullptr) {
        m_strDownloadedFileVersion.clear();
        SetLog(LOG_TO_FILE, L"Error:Cannot find \"DownloadedFileVersion\" Node");
        return false;
    }
    m_pDownloadedFileVersionNode = VersionNode(pDownloaded, m_strDownloadedFileVersion);

    TiXmlElement* pManual = pRoot->FirstChildElement("ManualUpdateURL");
    if (pManual == nullptr) return false;
    m_strNormalURL = XmlAttribute(pManual, "NormalURL");
    m_strTestUpdateURL = XmlAttribute(pManual, "TestUpdateURL");
    m_strTestRollbackURL = XmlAttribute(pManual, "TestRollbackURL");

    TiXmlElement* pHolder = pRoot->FirstChildElement("InternetUpdate");
    if (!m_bInternetUpdate) {
        pHolder = pRoot->FirstChildElement("RDTest");
        if (pHolder == nullptr) {
            SetLog(LOG_TO_FILE, L"Error:Cannot find \"RDTest\" Node");
            return false;
        }
    }
    if (pHolder == nullptr) return false;

    TiXmlElement* pUrl = pHolder->FirstChildElement("UpdateInfoURL");
    if (pUrl == nullptr) {
        SetLog(LOG_TO_FILE, L"Error:Cannot find \"Netcom UpdateInfoURL\" Node");
        return false;
    }
    for (; pUrl; pUrl = pUrl->NextSiblingElement("UpdateInfoURL"))
        m_vecUpdateInfoURL.push_back(XmlElementText(pUrl));
    m_bUpdateCfgLoaded = true;
    return true;
}

bool CUpdateEngine::ParseLocalUpdateInfo(const char* pPath)
{
    // What a missing or broken file leaves: no base packs, no link server.
    m_vecBasePackURL.clear();
    m_vecBasePackFile.clear();
    m_strLinkServerIP.clear();
    m_vecLinkServerPort.clear();

    TiXmlDocument doc;
    if (!LoadXmlDocument(doc, pPath, TIXML_ENCODING_UNKNOWN)) {
        const DWORD error = GetLastError();
        SetLog(LOG_TO_FILE, L"Error:Loadfile:%s,ErrorCode:%u", AnsiToWide(pPath).c_str(), error);
        return false;
    }
    TiXmlElement* pRoot = doc.FirstChildElement("Root");
    if (pRoot == nullptr) return false;

    if (TiXmlElement* pHolder = pRoot->FirstChildElement("InternetUpdate2")) {
        if (pHolder->FirstChildElement("UpdateInfoURL") == nullptr)
            SetLog(LOG_TO_FILE, L"Error:Cannot find \"Netcom UpdateInfoURL\" Node");
        for (TiXmlElement* p = pHolder->FirstChildElement("UpdateInfoURL"); p;
             p = p->NextSiblingElement("UpdateInfoURL"))
            m_vecUpdateInfoURL.push_back(XmlElementText(p));
    }

    for (const char* name : {"PatchClientZip1", "PatchClientZip2"}) {
        if (TiXmlElement* p = pRoot->FirstChildElement(name)) {
            m_vecBasePackURL.push_back(XmlAttribute(p, "url"));
            m_vecBasePackFile.push_back(XmlAttribute(p, "filename"));
        }
    }
    if (m_vecBasePackURL.size() != 2 || m_vecBasePackFile.size() != 2) {
        SetLog(LOG_TO_FILE, L"Error:Loadfile:%s, basefile need 2 ", AnsiToWide(pPath).c_str());
        return false;
    }

    if (TiXmlElement* pLink = pRoot->FirstChildElement("LinkServerConn")) {
        m_strLinkServerIP = XmlAttribute(pLink, "ip");
        const std::string ports = XmlAttribute(pLink, "port");
        size_t start = 0;
        while (start <= ports.size()) {
            size_t end = ports.find(';', start);
            if (end == std::string::npos) end = ports.size();
            const std::string piece = ports.substr(start, end - start);
            if (!piece.empty()) m_vecLinkServerPort.push_back(PortNumber(piece));
            start = end + 1;
        }
    }
    return true;
}

bool CUpdateEngine::SaveLocalConfig()
{
    // A document that did not load completely would overwrite the file with less.
    if (!m_bUpdateCfgLoaded) return false;
    // Saved plain under the name asked for: the plain file is read first at the
    // next start, also when this one came from the scrambled sibling.
    if (!SaveXmlDocument(m_docUpdateCfg, m_strUpdateCfgPath)) return false;
    m_docUpdateCfg.SetValue(m_strUpdateCfgPath.c_str());
    return true;
}

bool CUpdateEngine::SaveVersions()
{
    const std::string& newVersion = m_Plan.interversion;
    if (!m_bUpdateCfgLoaded) return false;
    if (m_pLastVersionNode) m_pLastVersionNode->SetValue(m_strCurVersion.c_str());
    if (m_pCurVersionNode) m_pCurVersionNode->SetValue(newVersion.c_str());
    if (m_pClientVerNode) m_pClientVerNode->SetValue(newVersion.c_str());
    if (m_pDownloadedFileVersionNode)
        m_pDownloadedFileVersionNode->SetValue(m_strDownloadedFileVersion.c_str());
    if (!SaveLocalConfig()) return false;
    m_strLastVersion = m_strCurVersion;
    m_strCurVersion = newVersion;
    m_strClientVer = newVersion;
    return true;
}

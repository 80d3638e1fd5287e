#include "LauncherSkin.h"

#include <cstdio>

#include "base/utility/StringTable.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlSave.h"
#include "base/utility/XmlText.h"

namespace {

// scanf-style: a blank in the format matches any run of white space, also
// none; numbers that do not parse keep what the fields held.
void ReadNumbers(const TiXmlElement* pElement, const char* name, const char* format, int* a, int* b,
                 int* c = nullptr, int* d = nullptr)
{
    const char* text = pElement->Attribute(name);
    if (text == nullptr) return;
    if (c == nullptr)
        std::sscanf(text, format, a, b);
    else if (d == nullptr)
        std::sscanf(text, format, a, b, c);
    else
        std::sscanf(text, format, a, b, c, d);
}

void ReadText(const TiXmlElement* pElement, const char* name, std::string& field)
{
    if (const char* text = pElement->Attribute(name)) field = text;
}

void ReadText(const TiXmlElement* pElement, const char* name, std::wstring& field)
{
    if (pElement->Attribute(name)) field = XmlAttributeW(pElement, name);
}

void ReadFont(const TiXmlElement* pElement, const char* positionFormat, const char* sizeFormat, SSkinFont& font)
{
    if (pElement == nullptr) return;
    ReadNumbers(pElement, "position", positionFormat, &font.m_nX, &font.m_nY);
    ReadNumbers(pElement, "size", sizeFormat, &font.m_nSize[0], &font.m_nSize[1]);
    ReadText(pElement, "style", font.m_strStyle);
    ReadNumbers(pElement, "color", "%d, %d, %d", &font.m_nRed, &font.m_nGreen, &font.m_nBlue);
}

void ReadBrowser(const TiXmlElement* pElement, SSkinBrowser& browser)
{
    ReadText(pElement, "url", browser.m_strUrl);
    ReadNumbers(pElement, "rect", "%d, %d, %d, %d", &browser.m_nX, &browser.m_nY, &browser.m_nWidth,
                &browser.m_nHeight);
}

}  // namespace

std::string BulletinTimeStamp(const Base::System::ZDateTime& now)
{
    char text[64];
    std::snprintf(text, sizeof text, "?v=%d%02d%02d%02d%02d", now.Year(), now.Month(), now.Day(), now.Hour(),
                  now.Minute());
    return text;
}

std::wstring SLauncherSkin::AppPath(const TiXmlElement* pElement, const char* name) const
{
    // An empty attribute names no file rather than the directory itself.
    const std::wstring text = XmlAttributeW(pElement, name);
    return text.empty() ? std::wstring() : m_strAppDir + text;
}

bool SLauncherSkin::Parse(const std::string& strSkinPath, const std::wstring& strAppDir,
                          const Base::System::ZDateTime& now)
{
    m_strSkinPath = strSkinPath;
    m_strAppDir = strAppDir;
    m_pUserSettings = m_pNetSettings = nullptr;
    m_vecButton.clear();
    // A broken file could leave the part before the fault in the document;
    // it is dropped whole, so that it is never saved back in place of the file.
    if (!LoadXmlDocument(m_docSkin, strSkinPath.c_str(), TIXML_ENCODING_UNKNOWN)) m_docSkin.Clear();
    TiXmlElement* pRoot = m_docSkin.FirstChildElement("root");
    if (pRoot != nullptr) ReadElements(pRoot, now);
    m_pNetworkUI = pRoot ? pRoot->FirstChildElement("NetworkUI") : nullptr;
    m_pStringTable = pRoot ? pRoot->FirstChildElement("stringtable") : nullptr;
    LoadStringTable(m_strAppDir, m_pStringTable);
    return true;
}

void SLauncherSkin::ReadElements(TiXmlElement* pRoot, const Base::System::ZDateTime& now)
{
    if (const TiXmlElement* e = pRoot->FirstChildElement("window")) {
        ReadText(e, "caption", m_strWindowCaption);
        m_strWindowBmpPath = AppPath(e, "filepath");
        m_strWindowPngPath = AppPath(e, "filepathPng");
        ReadNumbers(e, "rect", "%d, %d, %d, %d", &m_nWindowRect[0], &m_nWindowRect[1], &m_nWindowRect[2],
                    &m_nWindowRect[3]);
    }
    ReadFont(pRoot->FirstChildElement("VersionFont"), "%d,%d", "%d,%d", m_VersionFont);
    ReadFont(pRoot->FirstChildElement("InformationFont"), "%d, %d", "%d, %d", m_InformationFont);
    if (const TiXmlElement* e = pRoot->FirstChildElement("progressbar")) {
        m_ProgressBar1.m_strFilePath = AppPath(e, "filepath");
        ReadNumbers(e, "rect", "%d, %d", &m_ProgressBar1.m_nX, &m_ProgressBar1.m_nY);
    }
    if (const TiXmlElement* e = pRoot->FirstChildElement("progressbar2")) {
        m_ProgressBar2.m_strFilePath = AppPath(e, "filepath");
        ReadNumbers(e, "rect", "%d, %d", &m_ProgressBar2.m_nX, &m_ProgressBar2.m_nY);
    }
    if (const TiXmlElement* e = pRoot->FirstChildElement("browser0")) ReadBrowser(e, m_Browser0);
    if (const TiXmlElement* e = pRoot->FirstChildElement("browser1")) {
        ReadBrowser(e, m_Browser1);
        m_Browser1.m_strUrl += BulletinTimeStamp(now);
    }
    if (const TiXmlElement* e = pRoot->FirstChildElement("UpdateBtn")) {
        m_strUpdateBtnPath = AppPath(e, "filepath");
        ReadText(e, "tip", m_strUpdateBtnTip);
    }
    if (const TiXmlElement* list = pRoot->FirstChildElement("Normalbutton")) {
        for (const TiXmlElement* e = list->FirstChildElement("btn"); e; e = e->NextSiblingElement("btn")) {
            SSkinButton button;
            ReadText(e, "name", button.m_strName);
            button.m_strFilePath = AppPath(e, "filepath");
            ReadNumbers(e, "rect", "%d, %d, %d, %d", &button.m_nX, &button.m_nY, &button.m_nWidth,
                        &button.m_nHeight);
            ReadText(e, "tip", button.m_strTip);
            ReadText(e, "url", button.m_strUrl);
            m_vecButton.push_back(button);
        }
    }
    m_pUserSettings = pRoot->FirstChildElement("usersettings");
    if (m_pUserSettings != nullptr) ReadUserSettings(m_pUserSettings);
    m_bTelecom = m_strNetType != "unicom";
    if (const TiXmlElement* e = pRoot->FirstChildElement("ManualUpdateURL"))
        ReadText(e, "NormalURL", m_strManualUpdateURL);
}

void SLauncherSkin::ReadUserSettings(TiXmlElement* pUserSettings)
{
    if (const TiXmlElement* e = pUserSettings->FirstChildElement("Game_EXE_Name"))
        ReadText(e, "path", m_strGameExeName);
    if (const TiXmlElement* e = pUserSettings->FirstChildElement("setexename")) ReadText(e, "path", m_strSetExeName);
    m_pNetSettings = pUserSettings->FirstChildElement("netsettings");
    if (m_pNetSettings != nullptr) {
        m_pNetSettings->QueryIntAttribute("bigarea", &m_nBigArea);
        ReadText(m_pNetSettings, "nettype", m_strNetType);
    }
    if (const TiXmlElement* e = pUserSettings->FirstChildElement("BulletinText")) {
        ReadText(e, "NormalURL", m_strBulletinNormalURL);
        ReadText(e, "TestURL", m_strBulletinTestURL);
    }
}

bool SLauncherSkin::SaveNetAttribute(const char* name, const std::string& value)
{
    if (m_pNetSettings == nullptr) return false;
    m_pNetSettings->SetAttribute(name, value.c_str());
    // Always the plain file: it is read first, and the scrambled sibling
    // cannot take plain text.
    return SaveXmlDocument(m_docSkin, m_strSkinPath);
}

bool SLauncherSkin::SaveNetType(bool bTelecom)
{
    m_bTelecom = bTelecom;
    m_strNetType = bTelecom ? "telecom" : "unicom";
    return SaveNetAttribute("nettype", m_strNetType);
}

bool SLauncherSkin::SaveBigArea(int nBigArea)
{
    m_nBigArea = nBigArea;
    return SaveNetAttribute("bigarea", std::to_string(nBigArea));
}

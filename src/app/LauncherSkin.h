// The launcher's skin file: images, fonts, colours and positions of the main
// window, its buttons and bulletin pages, and the player's remembered network
// settings. The parsed document stays in memory so that the settings can be
// written back into it.
#pragma once

#include <string>
#include <vector>

#include <tinyxml.h>

#include "base/system/ZDateTime.h"

// One record of Normalbutton/btn; its index is the window's button index.
struct SSkinButton {
    std::string m_strName;
    std::wstring m_strFilePath;  // empty: the button stays hidden
    int m_nX = 0, m_nY = 0, m_nWidth = 0, m_nHeight = 0;
    std::wstring m_strTip;
    std::string m_strUrl;
};

struct SSkinFont {
    int m_nX = 0, m_nY = 0;
    int m_nSize[2] = {0, 0};  // the first is the font height
    std::wstring m_strStyle;  // face name
    int m_nRed = 0, m_nGreen = 0, m_nBlue = 0;
};

struct SSkinProgressBar {
    std::wstring m_strFilePath;
    int m_nX = 0, m_nY = 0;
};

struct SSkinBrowser {
    std::string m_strUrl;
    int m_nX = 0, m_nY = 0, m_nWidth = 0, m_nHeight = 0;
};

struct SLauncherSkin {
    SLauncherSkin() = default;
    SLauncherSkin(const SLauncherSkin&) = delete;  // holds pointers into its own document
    SLauncherSkin& operator=(const SLauncherSkin&) = delete;

    // Fills the fields from the skin file (plain, else its scrambled
    // sibling); app-relative paths are prefixed with strAppDir (ending in
    // '\'). The text table is loaded on the way. A missing or broken file,
    // or one without root, leaves the defaults; it always succeeds. now
    // dates browser1's URL.
    bool Parse(const std::string& strSkinPath, const std::wstring& strAppDir,
               const Base::System::ZDateTime& now = Base::System::ZDateTime());

    // The player's line and big area written into usersettings/netsettings
    // and the document saved to the skin file. False when the skin has no
    // netsettings or the save failed; the field is changed either way.
    bool SaveNetType(bool bTelecom);
    bool SaveBigArea(int nBigArea);

    // Bulletin URLs of usersettings/BulletinText (not used).
    std::wstring m_strBulletinNormalURL, m_strBulletinTestURL;

    // The parsed document and the elements kept from it (null when absent).
    TiXmlDocument m_docSkin;
    std::string m_strSkinPath;
    TiXmlElement* m_pUserSettings = nullptr;
    TiXmlElement* m_pNetSettings = nullptr;
    const TiXmlElement* m_pNetworkUI = nullptr;  // for the line dialog's LoadSkin
    const TiXmlElement* m_pStringTable = nullptr;

    std::wstring m_strWindowCaption;
    std::wstring m_strWindowBmpPath;  // region and background picture
    std::wstring m_strWindowPngPath;  // layered background
    int m_nWindowRect[4] = {0, 0, 0, 0};

    SSkinFont m_VersionFont, m_InformationFont;
    SSkinProgressBar m_ProgressBar1, m_ProgressBar2;
    SSkinBrowser m_Browser0, m_Browser1;  // m_Browser1's URL carries "?v=" and the time

    std::wstring m_strUpdateBtnPath, m_strUpdateBtnTip;
    std::vector<SSkinButton> m_vecButton;

    std::wstring m_strGameExeName;  // under Binaries\ .
    std::wstring m_strSetExeName;   // not used
    std::string m_strNetType;       // as the file has it; empty: no line chosen yet
    bool m_bTelecom = true;
    int m_nBigArea = -1;

    std::string m_strManualUpdateURL;
    std::wstring m_strAppDir;

private:
    void ReadElements(TiXmlElement* pRoot, const Base::System::ZDateTime& now);
    void ReadUserSettings(TiXmlElement* pUserSettings);
    bool SaveNetAttribute(const char* name, const std::string& value);
    std::wstring AppPath(const TiXmlElement* pElement, const char* name) const;
};

// "?v=" and the local time as year, then month, day, hour and minute in two
// digits each: a fresh address for every start, past any cache.
std::string BulletinTimeStamp(const Base::System::ZDateTime& now);

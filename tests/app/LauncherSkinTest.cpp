// The skin file: what each element fills, what the defaults are, and the
// network settings written back.
#include <gtest/gtest.h>

#include <ctime>

#include <tinyxml.h>

#include "EngineTestUtil.h"
#include "app/LauncherSkin.h"
#include "base/utility/Scramble.h"
#include "base/utility/StringTable.h"

namespace {

const char kFullSkin[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<root>\n"
    " <window caption=\"\xE9\x9D\x92 Tidewell\" filepath=\"skin\\bg.bmp\" filepathPng=\"skin\\bg.png\" "
    "rect=\"1,2,3,4\"/>\n"
    " <VersionFont position=\"10, 20\" size=\"12,0\" style=\"Arial\" color=\"255, 128, 1\"/>\n"
    " <InformationFont position=\"30,40\" size=\"14, 2\" style=\"Tahoma\" color=\"9,8,7\"/>\n"
    " <progressbar filepath=\"skin\\p1.bmp\" rect=\"5, 6\"/>\n"
    " <progressbar2 filepath=\"skin\\p2.bmp\" rect=\"7,8\"/>\n"
    " <browser0 url=\"http://127.0.0.1/a.html\" rect=\"11, 12, 300, 200\"/>\n"
    " <browser1 url=\"http://127.0.0.1/b.html\" rect=\"13,14,100,50\"/>\n"
    " <UpdateBtn filepath=\"skin\\upd.bmp\" tip=\"Update\"/>\n"
    " <Normalbutton>\n"
    "  <btn name=\"start\" tip=\"Start\" filepath=\"skin\\start.bmp\" url=\"\" rect=\"1, 2, 80, 24\"/>\n"
    "  <other name=\"not a button\"/>\n"
    "  <btn name=\"close\" filepath=\"\" url=\"http://127.0.0.1/c\"/>\n"
    "  <btn name=\"min\" rect=\"5, 6\"/>\n"
    " </Normalbutton>\n"
    " <usersettings>\n"
    "  <Game_EXE_Name path=\"Game.exe\"/><setexename path=\"Set.exe\"/>\n"
    "  <netsettings bigarea=\"7\" nettype=\"unicom\" keep=\"me\"/>\n"
    "  <BulletinText NormalURL=\"http://127.0.0.1/n\" TestURL=\"http://127.0.0.1/t\"/>\n"
    " </usersettings>\n"
    " <NetworkUI><BG Path=\"skin\\line.bmp\"/></NetworkUI>\n"
    " <stringtable><string code=\"SKIN_ONLY\" text=\"from\\nskin\"/></stringtable>\n"
    " <ManualUpdateURL NormalURL=\"http://127.0.0.1/manual\"/>\n"
    " <unknown keep=\"1\"/>\n"
    "</root>\n";

// 2026-03-03 09:05 in local time: the bulletin's stamp.
Base::System::ZDateTime StampTime()
{
    std::tm t = {0, 5, 9, 3, 2, 126, 0, 0, -1};
    return Base::System::ZDateTime::FromTime(static_cast<std::uint32_t>(std::mktime(&t)));
}

struct SkinDir {
    ScopedTestDir dir;
    std::wstring appDir = dir.Path().wstring() + L"\\";
    std::string skinPath = (dir.Path() / "PatchCfg" / "NewLauncherCfg.xml").string();
    SkinDir() { fs::create_directories(dir.Path() / "PatchCfg"); }
    void Write(const std::string& xml) { WriteBytes(skinPath, xml); }
};

}  // namespace

TEST(LauncherSkinTest, EveryElementFillsItsFieldsAndTheNetSettingsAreWrittenBack)
{
    SkinDir d;
    d.Write(kFullSkin);
    SLauncherSkin skin;
    ASSERT_TRUE(skin.Parse(d.skinPath, d.appDir, StampTime()));

    // Paths below the installation, texts as written.
    const std::wstring& a = d.appDir;
    EXPECT_EQ(std::vector<std::wstring>({skin.m_strWindowBmpPath, skin.m_strWindowPngPath,
                                         skin.m_ProgressBar1.m_strFilePath, skin.m_strUpdateBtnPath,
                                         skin.m_vecButton.at(0).m_strFilePath}),
              (std::vector<std::wstring>{a + L"skin\\bg.bmp", a + L"skin\\bg.png", a + L"skin\\p1.bmp",
                                         a + L"skin\\upd.bmp", a + L"skin\\start.bmp"}));
    EXPECT_EQ(std::vector<std::wstring>({skin.m_strWindowCaption, skin.m_strUpdateBtnTip, skin.m_vecButton[0].m_strTip,
                                         skin.m_strGameExeName, skin.m_strSetExeName, skin.m_strBulletinTestURL}),
              (std::vector<std::wstring>{L"\x9752 Tidewell", L"Update", L"Start", L"Game.exe", L"Set.exe",
                                         L"http://127.0.0.1/t"}));
    EXPECT_EQ(std::vector<int>(skin.m_nWindowRect, skin.m_nWindowRect + 4), (std::vector<int>{1, 2, 3, 4}));

    const SSkinFont& v = skin.m_VersionFont;
    EXPECT_EQ(std::vector<int>({v.m_nX, v.m_nY, v.m_nSize[0], v.m_nRed, v.m_nGreen, v.m_nBlue}),
              (std::vector<int>{10, 20, 12, 255, 128, 1}));
    EXPECT_EQ(v.m_strStyle, L"Arial");
    const SSkinFont& i = skin.m_InformationFont;
    EXPECT_EQ(std::vector<int>({i.m_nX, i.m_nY, i.m_nSize[0], i.m_nSize[1], i.m_nRed, i.m_nGreen, i.m_nBlue}),
              (std::vector<int>{30, 40, 14, 2, 9, 8, 7}));

    EXPECT_EQ(std::vector<int>({skin.m_ProgressBar1.m_nX, skin.m_ProgressBar1.m_nY, skin.m_ProgressBar2.m_nX,
                                skin.m_ProgressBar2.m_nY}),
              (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(std::vector<std::string>({skin.m_Browser0.m_strUrl, skin.m_Browser1.m_strUrl}),
              (std::vector<std::string>{"http://127.0.0.1/a.html", "http://127.0.0.1/b.html?v=202603030905"}));
    EXPECT_EQ(std::vector<int>({skin.m_Browser0.m_nWidth, skin.m_Browser1.m_nHeight}), (std::vector<int>{300, 50}));

    ASSERT_EQ(skin.m_vecButton.size(), 3u);
    const auto& b = skin.m_vecButton;
    EXPECT_EQ(std::vector<std::string>({b[0].m_strName, b[1].m_strName, b[1].m_strUrl}),
              (std::vector<std::string>{"start", "close", "http://127.0.0.1/c"}));
    EXPECT_EQ(b[1].m_strFilePath, L"");  // hidden, not the directory
    EXPECT_EQ(std::vector<int>({b[0].m_nWidth, b[2].m_nX, b[2].m_nY, b[2].m_nWidth}), (std::vector<int>{80, 5, 6, 0}));

    EXPECT_EQ(std::make_tuple(skin.m_nBigArea, skin.m_strNetType, skin.m_strManualUpdateURL),
              std::make_tuple(7, "unicom", "http://127.0.0.1/manual"));
    ASSERT_NE(skin.m_pNetworkUI, nullptr);
    EXPECT_NE(skin.m_pNetworkUI->FirstChildElement("BG"), nullptr);
    EXPECT_STREQ(LocalText(L"SKIN_ONLY"), L"from\r\nskin");  // no data\string.txt

    // The network settings written back keep the rest of the file.
    ASSERT_TRUE(skin.SaveNetType(true));
    ASSERT_TRUE(skin.SaveBigArea(12));
    SLauncherSkin again;
    again.Parse(d.skinPath, d.appDir, StampTime());
    EXPECT_EQ(std::make_tuple(again.m_strNetType, again.m_nBigArea, again.m_vecButton.size()),
              std::make_tuple("telecom", 12, 3u));
    EXPECT_EQ(again.m_Browser1.m_strUrl, "http://127.0.0.1/b.html?v=202603030905");  // no stamp saved
    EXPECT_STREQ(again.m_pNetSettings->Attribute("keep"), "me");
    EXPECT_NE(again.m_docSkin.RootElement()->FirstChildElement("unknown"), nullptr);
    EXPECT_EQ(again.m_strWindowCaption, L"\x9752 Tidewell");
}

// (A file without netsettings is among the defaults below.)
TEST(LauncherSkinTest, TheLineIsUnicomOnlyInLowerCaseBadFilesGiveTheDefaultsAScrambledSiblingIsRead)
{
    const struct { const char* netSettings; bool telecom; const char* netType; } cases[] = {
        {"nettype=\"unicom\"", false, "unicom"}, {"nettype=\"Unicom\"", true, "Unicom"},
        {"nettype=\"telecom\"", true, "telecom"}, {"bigarea=\"3\"", true, ""}};
    for (const auto& c : cases) {
        SkinDir d;
        d.Write(std::string("<root><usersettings><netsettings ") + c.netSettings + "/></usersettings></root>");
        SLauncherSkin skin;
        skin.Parse(d.skinPath, d.appDir);
        EXPECT_EQ(std::make_tuple(skin.m_bTelecom, skin.m_strNetType), std::make_tuple(c.telecom, c.netType))
            << c.netType;
    }

    // Missing, broken, rootless or netless files give the defaults.
    const char* files[] = {nullptr, "<launcher><window caption=\"x\"/></launcher>",
                           "<root><window caption=\"x\"/><usersettings><netsettings nettype=\"unicom\"/>",
                           "<root><usersettings/></root>"};
    for (const char* text : files) {
        SkinDir d;
        if (text) d.Write(text);
        SLauncherSkin skin;
        EXPECT_TRUE(skin.Parse(d.skinPath, d.appDir));
        EXPECT_TRUE(skin.m_strWindowCaption.empty() && skin.m_bTelecom && skin.m_nBigArea == -1 &&
                    skin.m_vecButton.empty() && !skin.m_pNetworkUI) << (text ? text : "(none)");
        // Nothing to write into: the file stays as it was.
        EXPECT_FALSE(skin.SaveNetType(false));
        EXPECT_EQ(text ? ReadBytes(d.skinPath) : "", text ? text : "");
    }
    // The scrambled sibling is read when the plain file is missing.
    SkinDir d;
    std::string bytes = "<root><window caption=\"scrambled\"/></root>";
    Scramble::Apply(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
    WriteBytes(Scramble::SiblingName(d.skinPath), bytes);
    SLauncherSkin skin;
    skin.Parse(d.skinPath, d.appDir);
    EXPECT_EQ(skin.m_strWindowCaption, L"scrambled");
}

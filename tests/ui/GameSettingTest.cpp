// The game settings dialog on its real template: texts from the text table,
// controls from a real EngineSet.xml, clicks, and the file read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include "DialogShot.h"
#include "EngineTestUtil.h"
#include "UiTestUtil.h"
#include "base/utility/StringTable.h"
#include "ui/EngineSetFile.h"
#include "ui/GameSetting.h"
#include "ui/ResourceIds.h"

using namespace UI;

namespace {

const char kEngineSet[] =
    "<EngineSetting Version=\"2\"><GlobleSetting GraphicLevel=\"7\" FullSreen=\"1\" SCREEN_WIDTH=\"1280\" "
    "SCREEN_HEIGHT=\"1000\" SoundVal=\"20\" MusicVal=\"80\" Mute=\"1\" Gamma=\"1.5\"/><Camera Far=\"900\"/>"
    "</EngineSetting>";

BOOL WINAPI FourModes(LPCWSTR, DWORD index, DEVMODEW* mode)
{
    static const DWORD modes[][3] = {{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}, {1280, 1024, 32}};
    if (index >= 4) return FALSE;
    mode->dmPelsWidth = modes[index][0];
    mode->dmPelsHeight = modes[index][1];
    mode->dmBitsPerPel = modes[index][2];
    return TRUE;
}

std::wstring WindowText(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Table;

// Every tag of the dialog, as a player would have them.
const Table kFullTable = {
    {L"IDD_SETTING", L"游戏设置"}, {L"IDC_STATIC_Config0", L"配置推荐"},
    {L"IDC_RADIO_LEVEL0", L"低级效果(画面质量较低,适合低端配置电脑)"},
    {L"IDC_RADIO_LEVEL1", L"中级效果(游戏效果一般,适合中端配置电脑)"},
    {L"IDC_RADIO_LEVEL2", L"高级效果(贴图精度 体积光 植被密度等效果全开,适合高端配置电脑)"},
    {L"IDC_RADIO_LEVEL3", L"游戏内自定义"}, {L"IDC_STATIC_ConfigWindow", L"窗口"},
    {L"IDC_RADIO_WINDOW", L"窗口模式(推荐)"}, {L"IDC_RADIO_FULLSRC", L"全屏模式"},
    {L"IDC_STATIC_VIEWPORT", L"分辨率"}, {L"IDC_STATIC_ConfigSound", L"音效"}, {L"IDC_CHECK_Mute", L"整体静音"},
    {L"IDC_STATIC_BackMusic0", L"背景音乐"}, {L"IDC_STATIC_SkillMusic", L"技能音效"},
    {L"IDC_OK", L"确定"}, {L"IDC_Button_Close", L"关闭"}};

struct SettingFixture {
    ScopedTestDir dir;
    CGameSetting dialog;
    explicit SettingFixture(const char* engineSet, const Table& table = kFullTable)
    {
        fs::create_directories("PlayerCfg");
        if (engineSet) WriteBytes("PlayerCfg/EngineSet.xml", engineSet);
        WriteStringTable(dir.Path(), table);
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
        dialog.m_pEnumDisplayModes = &FourModes;
        EXPECT_TRUE(dialog.Create());
        ShowAt(dialog.GetSafeHwnd(), 60, 60);
    }
    HWND Item(int id) { return GetDlgItem(dialog.GetSafeHwnd(), id); }
    bool Checked(int id) { return IsDlgButtonChecked(dialog.GetSafeHwnd(), id) == BST_CHECKED; }
    std::wstring Text(int id) { return WindowText(Item(id)); }
    void Click(int id, const std::function<bool()>& done = nullptr)
    {
        EXPECT_TRUE(ClickControl(dialog.GetSafeHwnd(), id, done)) << "the click on " << id << " did nothing";
    }
    // 100 ns ticks: a second save within the same second still shows.
    ULONGLONG WrittenAt()
    {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!GetFileAttributesExW(L"PlayerCfg\\EngineSet.xml", GetFileExInfoStandard, &data)) return 0;
        return (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    }
    void ClickOkAndWaitForTheSave()
    {
        const ULONGLONG before = WrittenAt();
        Click(IDC_OK, [&] { return WrittenAt() != before; });
    }
    void Check(int id, bool checked) { Click(id, [this, id, checked] { return Checked(id) == checked; }); }
    SEngineSettings Saved()
    {
        CEngineSetFile file;
        file.Load("PlayerCfg\\EngineSet.xml");
        return file.Read();
    }
};

}  // namespace

TEST(GameSettingTest, ControlsShowTheFileAndOkSavesAndStaysOpenKeepingTheRestOfTheFile)
{
    SettingFixture f(kEngineSet);
    // Level 7 is none of the four.
    EXPECT_EQ(std::vector<bool>({f.Checked(IDC_RADIO_LEVEL3), f.Checked(IDC_RADIO_FULLSRC), f.Checked(IDC_CHECK_Mute)}),
              std::vector<bool>(3, true));
    EXPECT_EQ(SendMessageW(f.Item(IDC_SLIDER_MUSIC), TBM_GETPOS, 0, 0), 80);
    EXPECT_EQ(f.Text(IDC_RADIO_LEVEL3), L"游戏内自定义");
    EXPECT_EQ(f.Text(IDC_STATIC_MUSIC_VALUE), L"80");
    EXPECT_EQ(f.Text(IDC_STATIC_SKILL_VALUE), L"20");
    const HWND combo = f.Item(IDC_COMBO_RESOLUTION);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    wchar_t lines[2][32] = {};
    for (int i = 0; i < 2; ++i) SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(lines[i]));
    EXPECT_EQ(std::vector<std::wstring>(lines, lines + 2), (std::vector<std::wstring>{L"1024 x 768", L"1280 x 1024"}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);  // the first at least 1280 x 1000
    SaveWindowShot(f.dialog.GetSafeHwnd(), L"game-settings-dialog");
    f.Check(IDC_RADIO_WINDOW, true);
    f.Check(IDC_CHECK_Mute, false);
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    f.ClickOkAndWaitForTheSave();
    ASSERT_TRUE(IsWindow(f.dialog.GetSafeHwnd()));
    SEngineSettings s = f.Saved();
    EXPECT_EQ(std::vector<long long>({s.m_nGraphicLevel, s.m_nFullScreen, s.m_nMute, s.m_nScreenWidth,
                                      s.m_nScreenHeight, s.m_nMusicVal}),
              (std::vector<long long>{3, 0, 0, 1024, 768, 80}));
    EXPECT_NE(ReadBytes("PlayerCfg/EngineSet.xml").find("<Camera Far=\"900\""), std::string::npos);

    // Nothing selected: the sizes in the file stay. A second OK writes the same.
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    f.Check(IDC_RADIO_LEVEL0, true);
    f.ClickOkAndWaitForTheSave();
    f.ClickOkAndWaitForTheSave();
    s = f.Saved();
    EXPECT_EQ(std::make_tuple(s.m_nGraphicLevel, s.m_nScreenWidth), std::make_tuple(0, 1024u));
    // A trackbar moved by the program repaints, and its number follows.
    SendMessageW(f.Item(IDC_SLIDER_MUSIC), TBM_SETPOS, TRUE, 35);
    InvalidateRect(f.Item(IDC_SLIDER_MUSIC), nullptr, TRUE);
    EXPECT_TRUE(PumpUntil([&] { return f.Text(IDC_STATIC_MUSIC_VALUE) == L"35"; }));
    f.Click(IDC_Button_Close);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(f.dialog.GetSafeHwnd()); }));
}

TEST(GameSettingTest, AMissingOrBrokenFileShowsTheDefaultsAndIsNotWrittenTextsFromTheTable)
{
    for (const char* text : {static_cast<const char*>(nullptr), "<EngineSetting><GlobleSetting Mute=\"1\"/>"}) {
        SettingFixture f(text, {{L"IDD_SETTING", L"Game settings"}, {L"IDC_OK", L"Save"}});
        // A tag the table lacks (IDC_RADIO_LEVEL0) shows its built-in text.
        EXPECT_EQ(std::vector<std::wstring>({WindowText(f.dialog.GetSafeHwnd()), f.Text(IDC_STATIC_TITLE),
                                             f.Text(IDC_OK), f.Text(IDC_RADIO_LEVEL0)}),
                  (std::vector<std::wstring>{L"Game settings", L"Game settings", L"Save", L"Low"}));
        EXPECT_EQ(std::vector<bool>({f.Checked(IDC_RADIO_LEVEL3), f.Checked(IDC_RADIO_WINDOW),
                                     f.Checked(IDC_CHECK_Mute)}), (std::vector<bool>{true, true, false}));
        EXPECT_EQ(f.Text(IDC_STATIC_MUSIC_VALUE), L"50");
        EXPECT_EQ(SendMessageW(f.Item(IDC_COMBO_RESOLUTION), CB_GETCURSEL, 0, 0), 0);  // 0 x 0: the first fits
        f.Click(IDC_OK);
        const fs::path file = "PlayerCfg/EngineSet.xml";
        EXPECT_EQ(fs::exists(file) ? ReadBytes(file) : "(none)", text ? text : "(none)");
        f.dialog.EndDialog(IDCANCEL);
    }
}

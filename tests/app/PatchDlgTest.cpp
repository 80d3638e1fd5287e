// The main window on the sample skin, created for real: its look, the engine's
// callbacks, the command line's fields, the game's arguments, the start button.
#include <gtest/gtest.h>

#include <vector>

#include "EngineTestUtil.h"
#include "../ui/UiTestUtil.h"
#include "app/PatchApp.h"
#include "app/PatchDlg.h"
#include "base/utility/StringTable.h"
#include "ui/BgDialog.h"
#include "ui/ResourceIds.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

std::vector<UINT> g_exitCodes;
void WINAPI RecordExit(UINT code) { g_exitCodes.push_back(code); }

// An installation holding the sample skin, with the window made from it.
struct PatchDlgFixture : ::testing::Test {
    ScopedTestDir dir;
    CPatchApp app;
    CPatchDlg dlg{app};

    void SetUp() override
    {
        g_exitCodes.clear();
        fs::copy(SampleSkinDir(), dir.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        WriteStringTable(dir.Path(), {{L"CUR_VERSION", L"cur "}, {L"LATEST_VERSION", L"latest "}, {L"UNKNOWN", L"?"},
                                      {L"TO_OLD_VERSION", L"old %s %d"}, {L"CLICK_START_BTN", L"click start"},
                                      {L"TRYTOCONNECTLINKSERVER", L"connecting"}});
        app.m_strAppDir = dir.Path().wstring() + L"\\";
        dlg.m_pfnExitProcess = &RecordExit;
    }
    void Open()
    {
        dlg.Parse((dir.Path() / "PatchCfg" / "NewLauncherCfg.xml").string(), app.m_strAppDir);
        ASSERT_TRUE(dlg.Create());
    }
    HWND Control(int id) const { return dlg.GetDlgItem(id); }
};

}  // namespace

// The sample skin's window: size, region, buttons and a disabled start; the
// chosen line is kept in the skin file; minimised, the notification area
// brings the window back; Close and the exit menu end with code 0.
TEST_F(PatchDlgFixture, TheSkinnedWindowItsButtonsAndTheNotificationArea)
{
    Open();
    HWND hWnd = dlg.GetSafeHwnd();
    RECT r;
    GetWindowRect(hWnd, &r);
    EXPECT_EQ(std::vector<LONG>({r.right - r.left, r.bottom - r.top}), (std::vector<LONG>{600, 380}));
    ASSERT_TRUE(dlg.HasRegion());
    EXPECT_EQ(InWindowRegion(hWnd, 0, 0), 0) << "the rounded corner is cut away";
    EXPECT_EQ(InWindowRegion(hWnd, 300, 190), 1);

    // Start, close, minimise and the settings shown, the start where the skin
    // puts it; the empty fourth record leaves its button hidden.
    EXPECT_EQ(ChildBounds(Control(IDC_START)), (std::vector<LONG>{440, 320, 136, 44}));
    for (int id : {IDC_START, IDC_CLOSE, IDC_MINIMIZE, IDC_SETTINGS}) EXPECT_TRUE(HasVisibleStyle(Control(id))) << id;
    for (int id : {IDC_LINK3, IDC_LINK5, IDC_LINK6, IDC_LINK7, IDC_LINK8, IDC_LINK9, IDC_LINK10})
        EXPECT_FALSE(HasVisibleStyle(Control(id))) << id;
    EXPECT_EQ(dlg.Button(0).GetFixedState(), UI::CKbcButton::STATE_DISABLED);
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_START))) << "no start before the versions are known";

    const fs::path skin = dir.Path() / "PatchCfg" / "NewLauncherCfg.xml";
    SendMessageW(hWnd, WM_SELECT_UNICOM, 0, 0);
    EXPECT_FALSE(dlg.m_bTelecom);
    EXPECT_NE(ReadBytes(skin).find("nettype=\"unicom\""), std::string::npos);
    SendMessageW(hWnd, WM_SELECT_TELECOM, 0, 0);
    EXPECT_TRUE(dlg.m_bTelecom);
    EXPECT_NE(ReadBytes(skin).find("nettype=\"telecom\""), std::string::npos);

    ShowWindow(hWnd, SW_SHOW);
    SendMessageW(Control(IDC_MINIMIZE), BM_CLICK, 0, 0);
    EXPECT_TRUE(dlg.m_bMinimized);
    EXPECT_TRUE(IsIconic(hWnd));
    SendMessageW(hWnd, WM_TRAY_NOTIFY, 1, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsIconic(hWnd));
    EXPECT_FALSE(dlg.m_bMinimized) << "painting goes on";
    dlg.m_bMinimized = true;
    SendMessageW(hWnd, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_FALSE(dlg.m_bMinimized);
    SendMessageW(Control(IDC_CLOSE), BM_CLICK, 0, 0);
    SendMessageW(hWnd, WM_COMMAND, ID_EXIT_LAUNCHER, 0);
    EXPECT_EQ(g_exitCodes, (std::vector<UINT>{0, 0}));
}

// Fractions fill the bars to their width, and the 100 ms timers draw them.
TEST_F(PatchDlgFixture, ProgressFillsTheBarsDraggingMovesTheBackgroundVersionsSetTheStart)
{
    Open();
    const struct { float fraction; int filled; } cases[] = {
        {0.0001f, 0}, {0.0f, 0}, {0.5f, 202}, {1.0f, 404}, {1.5f, 404}};
    for (const auto& c : cases) {
        CPatchDlg::OnSingleProgress(c.fraction);
        CPatchDlg::OnTotalProgress(c.fraction);
        EXPECT_EQ(std::make_pair(dlg.FilledWidth1(), dlg.FilledWidth2()), std::make_pair(c.filled, c.filled)) << c.fraction;
    }
    HWND hWnd = dlg.GetSafeHwnd();
    ShowAt(hWnd, 50, 50);
    const int x2 = dlg.m_ProgressBar2.m_nX + 6, y2 = dlg.m_ProgressBar2.m_nY + 2;
    const COLORREF full1 = ClientPixel(hWnd, 30, 344), full2 = ClientPixel(hWnd, x2, y2);
    // The next step starts both bars from zero: they are drawn empty again.
    auto drawnAt = [&](float fraction, bool filled) {
        CPatchDlg::OnSingleProgress(fraction);
        CPatchDlg::OnTotalProgress(fraction);
        return PumpUntil([&] {
            return (ClientPixel(hWnd, 30, 344) == full1) == filled && (ClientPixel(hWnd, x2, y2) == full2) == filled;
        });
    };
    ASSERT_TRUE(drawnAt(0.0f, false));
    EXPECT_TRUE(drawnAt(0.5f, true));
    // Bar 1 (24, 342): filled at its left in its own colour, the trough beyond half its width.
    EXPECT_NE(full1, ClientPixel(hWnd, 24 + 300, 344));
    EXPECT_GT(GetBValue(full1), 200);

    // Dragging the window moves the pair's background (no PNG) with it.
    CPlainDialog other(IDD_LINESELECT_DIALOG);
    UI::CBgDialog background(other);
    ASSERT_TRUE(background.Create());
    SetWindowPos(hWnd, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageW(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
    SendMessageW(hWnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(90, 20));
    SendMessageW(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(90, 20));
    SendMessageW(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));  // no longer dragging
    RECT r, b;
    GetWindowRect(hWnd, &r);
    GetWindowRect(background.GetSafeHwnd(), &b);
    EXPECT_EQ(std::vector<LONG>({r.left, r.top, b.left, b.top}), (std::vector<LONG>{140, 70, 140, 70}));

    // Status texts longer than 75 are cut. The labels say so for an unknown
    // version; an older server version starts nothing, and a text with an odd
    // format is shown as it is.
    const std::wstring cut = std::wstring(70, L'a') + L" ...";
    const std::pair<size_t, std::wstring> lengths[] = {{75, std::wstring(75, L'a')}, {76, cut}, {300, cut}};
    for (const auto& c : lengths) {
        CPatchDlg::OnStatusText(std::wstring(c.first, L'a').c_str());
        EXPECT_EQ(dlg.StatusText(), c.second) << c.first;
    }

    dlg.SetCurrentVersion("");
    EXPECT_EQ(dlg.CurrentVersionLabel(), L"cur ?");
    dlg.SetCurrentVersion("0000300");
    EXPECT_EQ(dlg.CurrentVersionLabel(), L"cur 0000300");
    dlg.SetLatestVersion("0000400");
    EXPECT_EQ(dlg.LatestVersionLabel(), L"latest 0000400");

    CUpdateEngine engine;
    engine.m_strLatestVersion = "1.0.10";  // text order: older than 1.0.9
    dlg.m_strCurVersionText = "1.0.9";
    dlg.RefreshStartButton();
    // "old %s %d" holds a conversion without its argument: shown as text.
    EXPECT_EQ(dlg.StatusText(), L"old %s %d 1.0.10");
    EXPECT_FALSE(dlg.m_bCanStartGame);
    EXPECT_EQ(engine.WorkerHandle(), nullptr) << "no update started";

    engine.m_strLatestVersion = "1.0.9";
    dlg.RefreshStartButton();
    EXPECT_TRUE(dlg.m_bCanStartGame);
    EXPECT_EQ(dlg.StatusText(), L"click start");
    dlg.m_strLoginField1 = L"user";
    dlg.RefreshStartButton();
    EXPECT_EQ(dlg.StatusText(), L"connecting");
}

// The command line's tail: its first two %pairs% are the login fields, and
// with the channel it makes the game's arguments (the known channels' are
// whole runs in tests/e2e). Only a launcher.exe.new other than the running
// program is a new launcher.
TEST(PatchDlg, TheCommandLineTailGivesTheLoginFieldsAndTheGameArgumentsAndANewLauncherIsAnotherBuild)
{
    const struct { const char* tail; const wchar_t *field1, *field2; } cases[] = {
        {"", L"", L""}, {"a|%user%|%secret%", L"user", L"secret"}, {"%one%|x|%two%|%three%", L"one", L"two"},
        {"%only", L"", L""}, {"pre%a%post|%%", L"a", L""}, {"%a%b%|%c%", L"a", L"c"},
    };
    CPatchApp app;
    for (const auto& c : cases) {
        CPatchDlg dlg(app);
        dlg.m_strCmdLineTail = c.tail;
        dlg.ParseCmdLineFields();
        EXPECT_EQ(dlg.m_strLoginField1 + L"|" + dlg.m_strLoginField2, std::wstring(c.field1) + L"|" + c.field2) << c.tail;
    }
    EXPECT_EQ(CPatchDlg::GameArguments(L"", L" -x", L"", L""), L"run -x");
    EXPECT_EQ(CPatchDlg::GameArguments(L"abc", L"tail", L"user", L"pw"), L"run_abctail");

    ScopedTestDir dir;
    EXPECT_FALSE(CPatchDlg::NewLauncherWaiting());
    ASSERT_TRUE(CopyFileW(ModulePath().c_str(), L"launcher.exe.new", FALSE));
    EXPECT_FALSE(CPatchDlg::NewLauncherWaiting()) << "the running program itself";
    WriteBytes("launcher.exe.new", "MZ another build");
    EXPECT_TRUE(CPatchDlg::NewLauncherWaiting());
}

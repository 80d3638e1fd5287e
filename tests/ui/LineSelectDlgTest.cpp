// The line selection dialog on its real template, skinned from a NetworkUI
// element and driven with the real mouse; what reaches its owner.
#include <gtest/gtest.h>

#include <vector>

#include <tinyxml.h>

#include "DialogShot.h"
#include "UiTestUtil.h"
#include "ui/GdiHandle.h"
#include "ui/LineSelectDlg.h"
#include "update/Messages.h"
#include "base/system/MessageWindow.h"
#include "ui/ResourceIds.h"

using namespace UI;

namespace {

const COLORREF kKey = RGB(255, 0, 255);
const COLORREF kBack = RGB(40, 90, 140);

// A background of 240 x 160 with one magenta corner cut off; four-frame
// strips of 4 x 60 x 24 in the frame's colours.
void WriteLineSkin(const fs::path& dir)
{
    WriteBmp(dir / "bg.bmp", 240, 160, [](int x, int y) { return x + y < 20 ? kKey : kBack; });
    const COLORREF frames[4] = {RGB(220, 220, 220), RGB(255, 255, 120), RGB(90, 200, 90), RGB(120, 120, 120)};
    for (const char* name : {"tel.bmp", "uni.bmp", "ok.bmp", "close.bmp"})
        WriteBmp(dir / name, 240, 24, [&](int x, int) { return frames[x / 60]; });
}

std::string NetworkUi(bool withBg)
{
    return std::string("<NetworkUI>") + (withBg ? "<BG Path=\"bg.bmp\"/>" : "") +
           "<Button><BTN0 Path=\"tel.bmp\" rect=\"10, 20, 80, 24\" tip=\"Telecom\"/>"
           "<BTN1 Path=\"uni.bmp\" rect=\"120,20,80,24\" tip=\"Unicom\"/>"
           "<BTN2 Path=\"ok.bmp\" rect=\"70, 100, 60, 24\" tip=\"OK\"/>"
           "<BTN3 Path=\"close.bmp\" rect=\"200, 4, 30, 20\" tip=\"Close\"/></Button></NetworkUI>";
}

struct LineFixture {
    ScopedTestDir dir;
    std::vector<UINT> sent;
    CMessageWindow owner{[this](UINT message, WPARAM, LPARAM) { sent.push_back(message); }};
    LineSelectDlg dialog{WM_SELECT_TELECOM, WM_SELECT_UNICOM};
    TiXmlDocument doc;

    explicit LineFixture(bool withBg)
    {
        WriteLineSkin(dir.Path());
        doc.Parse(NetworkUi(withBg).c_str());
        EXPECT_TRUE(dialog.LoadSkin(owner.Handle(), doc.RootElement(), dir.Path().wstring() + L"\\"));
        dialog.SetFirstChoice(true);
        EXPECT_TRUE(dialog.Create());
        ShowAt(dialog.GetSafeHwnd(), 100, 100);
    }
    HWND Item(int id) { return GetDlgItem(dialog.GetSafeHwnd(), id); }
    void Click(int id, const std::function<bool()>& done = nullptr)
    {
        EXPECT_TRUE(ClickControl(dialog.GetSafeHwnd(), id, done, true)) << "the click on " << id << " did nothing";
    }
    void Choose(int id, const char* line) { Click(id, [this, line] { return dialog.Line() == line; }); }
    bool Open() { return IsWindow(dialog.GetSafeHwnd()) != FALSE; }
};

}  // namespace

// A first choice takes the background and the rectangles but leaves the
// close button its template look; opened again as a later choice, the close
// button takes its own entry and no line is chosen.
TEST(LineSelectDlgTest, SkinnedDialogTakesItsBackgroundAndRectanglesTheCloseButtonOnlyLaterUnskinnedKeepsTheTemplate)
{
    LineFixture f(true);
    ASSERT_TRUE(f.dialog.Skinned());
    RECT w;
    GetWindowRect(f.dialog.GetSafeHwnd(), &w);
    EXPECT_EQ(std::vector<LONG>({w.right - w.left, w.bottom - w.top}), (std::vector<LONG>{240, 160}));
    EXPECT_EQ(InWindowRegion(f.dialog.GetSafeHwnd(), 2, 2), 0);  // the key-coloured corner is cut away
    EXPECT_EQ(InWindowRegion(f.dialog.GetSafeHwnd(), 120, 80), 1);
    EXPECT_EQ(ChildBounds(f.Item(IDC_TELECOM)), (std::vector<LONG>{10, 20, 80, 24}));
    EXPECT_FALSE(IsWindowEnabled(f.Item(IDC_OK)));
    EXPECT_FALSE(f.dialog.Button(LineSelectDlg::BTN_CLOSE).Image().Loaded());
    EXPECT_TRUE(WaitForPixel(f.dialog.GetSafeHwnd(), 120, 80, kBack));

    // Confirm is disabled until a line is chosen: nothing is sent.
    f.Click(IDC_OK);
    EXPECT_TRUE(f.Open());
    EXPECT_TRUE(f.sent.empty());
    f.Choose(IDC_TELECOM, "Telecom");
    EXPECT_TRUE(IsWindowEnabled(f.Item(IDC_OK)));
    f.Choose(IDC_UNICOM, "Unicom");
    EXPECT_EQ(f.dialog.Button(LineSelectDlg::BTN_TELECOM).GetFixedState(), CKbcButton::STATE_NORMAL);
    EXPECT_TRUE(WaitForPixel(f.Item(IDC_UNICOM), 30, 12, RGB(90, 200, 90)));  // the pressed frame
    SaveWindowShot(f.dialog.GetSafeHwnd(), L"line-select-dialog-test-skin");
    f.Click(IDC_OK);
    EXPECT_TRUE(PumpUntil([&] { return !f.Open(); }));
    EXPECT_EQ(f.sent, std::vector<UINT>{WM_SELECT_UNICOM});

    f.dialog.SetFirstChoice(false);
    ASSERT_TRUE(f.dialog.Create());
    ShowAt(f.dialog.GetSafeHwnd(), 100, 100);
    EXPECT_EQ(f.dialog.Line(), "");
    EXPECT_EQ(f.dialog.Button(LineSelectDlg::BTN_UNICOM).GetFixedState(), CKbcButton::STATE_NORMAL);
    EXPECT_FALSE(IsWindowEnabled(f.Item(IDC_OK)));
    EXPECT_TRUE(f.dialog.Button(LineSelectDlg::BTN_CLOSE).Image().Loaded());
    EXPECT_EQ(ChildBounds(f.Item(IDC_Button_Close)), (std::vector<LONG>{200, 4, 30, 20}));
    f.Choose(IDC_TELECOM, "Telecom");
    f.Click(IDC_Button_Close);
    EXPECT_TRUE(PumpUntil([&] { return !f.Open(); }));
    EXPECT_EQ(f.sent, std::vector<UINT>{WM_SELECT_UNICOM}) << "closing sends nothing";

    // Without a background the template look stays.
    LineFixture plain(false);
    EXPECT_FALSE(plain.dialog.Skinned());
    EXPECT_EQ(InWindowRegion(plain.dialog.GetSafeHwnd(), 120, 80), -1);
    EXPECT_FALSE(plain.dialog.Button(LineSelectDlg::BTN_TELECOM).Image().Loaded());
    EXPECT_TRUE(IsWindowEnabled(plain.Item(IDC_OK)));
    SaveWindowShot(plain.dialog.GetSafeHwnd(), L"line-select-dialog-template");
    plain.Choose(IDC_TELECOM, "Telecom");
    plain.Click(IDC_OK);
    EXPECT_TRUE(PumpUntil([&] { return !plain.Open(); }));
    EXPECT_EQ(plain.sent, std::vector<UINT>{WM_SELECT_TELECOM});
}

// Skin entries are read in order up to the first missing one (paths and
// rectangles show in the dialogs above). The sample skin carries the
// dialog's own artwork: every image it names is there, and each button lies
// inside the background.
TEST(LineSelectDlgTest, SkinEntriesAreReadUpToTheFirstMissingOneAndTheSampleSkinSkinsTheDialog)
{
    TiXmlDocument partial;
    partial.Parse("<NetworkUI><Button><BTN1 Path=\"u.bmp\" rect=\"1,2,3,4\" tip=\"U\"/>"
                  "<BTN3 Path=\"c.bmp\" rect=\"5, 6, 7, 8\"/></Button></NetworkUI>");
    LineSelectDlg entries{WM_SELECT_TELECOM, WM_SELECT_UNICOM};
    EXPECT_FALSE(entries.LoadSkin(nullptr, nullptr, L"C:\\skin\\"));
    ASSERT_TRUE(entries.LoadSkin(nullptr, partial.RootElement(), L"C:\\skin\\"));
    EXPECT_EQ(entries.ButtonSkin(LineSelectDlg::BTN_TELECOM).m_strPath, L"");  // absent: skipped
    EXPECT_EQ(entries.ButtonSkin(LineSelectDlg::BTN_UNICOM).m_strTip, L"U");
    // No confirm entry: the reading ends there.
    EXPECT_EQ(entries.ButtonSkin(LineSelectDlg::BTN_CLOSE).m_strPath, L"");

    TiXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile((SampleSkinDir() / "PatchCfg" / "NewLauncherCfg.xml").string().c_str()));
    const TiXmlElement* ui = doc.RootElement()->FirstChildElement("NetworkUI");
    ASSERT_NE(ui, nullptr);
    LineSelectDlg dialog{WM_SELECT_TELECOM, WM_SELECT_UNICOM};
    ASSERT_TRUE(dialog.LoadSkin(nullptr, ui, SampleSkinDir().wstring() + L"\\"));
    ASSERT_TRUE(fs::exists(dialog.BackgroundPath()));
    CGdiBitmap bg(static_cast<HBITMAP>(LoadImageW(nullptr, dialog.BackgroundPath().c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    BITMAP info = {};
    ASSERT_TRUE(GetObjectW(bg.Get(), sizeof info, &info));
    for (int i = 0; i < LineSelectDlg::BTN_COUNT; ++i) {
        const SLineButtonSkin& b = dialog.ButtonSkin(i);
        EXPECT_TRUE(fs::exists(b.m_strPath)) << i;
        EXPECT_TRUE(b.m_nRect[0] >= 0 && b.m_nRect[0] + b.m_nRect[2] <= info.bmWidth &&
                    b.m_nRect[1] + b.m_nRect[3] <= info.bmHeight && b.m_nRect[2] * b.m_nRect[3] > 0) << i;
    }

    // As a player first sees it: the sample artwork, Unicom chosen.
    ASSERT_TRUE(dialog.Create());
    ShowAt(dialog.GetSafeHwnd(), 100, 100);
    EXPECT_TRUE(ClickControl(dialog.GetSafeHwnd(), IDC_UNICOM, [&] { return dialog.Line() == "Unicom"; }, true));
    PumpFor(100);  // the pressed frame is drawn; nothing to wait on for a screenshot
    SaveWindowShot(dialog.GetSafeHwnd(), L"line-select-dialog");
    dialog.EndDialog(IDCANCEL);
}

// Skinned buttons driven by the real mouse and read back from the screen,
// regions of real bitmaps, BMP and picture loading, the layered background.
#include <gtest/gtest.h>

#include <vector>

#include "EngineTestUtil.h"
#include "UiTestUtil.h"
#include "ui/BgDialog.h"
#include "ui/BitmapRegion.h"
#include "ui/Dib.h"
#include "ui/DpiScale.h"
#include "ui/GdiHandle.h"
#include "ui/KbcButton.h"
#include "ui/Picture.h"
#include "ui/ScaledImage.h"
#include "ui/ResourceIds.h"

using namespace UI;

namespace {

const COLORREF kFrames[4] = {RGB(200, 30, 30), RGB(30, 200, 30), RGB(30, 30, 200), RGB(128, 128, 128)};
const COLORREF kKey = RGB(250, 0, 250);

// A strip of four frames of frameWidth x 20, each of its colour, the top
// left 4 x 4 corner of each frame in the key colour; extra columns white.
void WriteStrip(const fs::path& path, int frameWidth, int extra = 0)
{
    WriteBmp(path, frameWidth * 4 + extra, 20, [&](int x, int y) {
        if (x >= frameWidth * 4) return RGB(255, 255, 255);
        if (x % frameWidth < 4 && y < 4) return kKey;
        return kFrames[x / frameWidth];
    });
}

class CButtonDialog : public CDialogBase {
public:
    CButtonDialog() : CDialogBase(IDD_PATCH_DIALOG) {}
    CKbcButton button;
    int clicks = 0;

protected:
    BOOL OnInitDialog() override
    {
        button.Attach(m_hWnd, IDC_START);
        SetWindowPos(m_hWnd, HWND_TOP, 100, 100, 300, 200, SWP_SHOWWINDOW);
        return TRUE;
    }
    bool OnCommand(UINT id, UINT code) override
    {
        if (id != IDC_START) return CDialogBase::OnCommand(id, code);
        ++clicks;
        return true;
    }
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_ERASEBKGND) {
            RECT r;
            GetClientRect(m_hWnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            return SetResult(TRUE);
        }
        return CDialogBase::WindowProc(message, wParam, lParam);
    }
};

}  // namespace

// One frame with the key transparent follows the real mouse; a state the
// program sets holds under it: disabled (taking no click either) or fixed;
// released, the mouse is tracked again.
TEST(KbcButton, FramesFollowTheRealMouseUnlessDisabledOrFixed)
{
    ScopedTestDir dir;
    WriteStrip("strip.bmp", 40);
    CButtonDialog dialog;
    ASSERT_TRUE(dialog.Create());
    ASSERT_TRUE(dialog.button.LoadImage((dir.Path() / "strip.bmp").wstring(), kKey));
    const HWND hButton = dialog.button.GetSafeHwnd(), hDialog = dialog.GetSafeHwnd();
    SetWindowPos(hButton, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    MouseMoveTo(hDialog, 250, 180);  // away from the button
    ShowAt(hDialog, 100, 100);
    auto shows = [&](int frame) { return WaitForPixel(hButton, 20, 10, kFrames[frame]); };

    EXPECT_EQ(ChildBounds(hButton), (std::vector<LONG>{20, 20, 40, 20}));
    ASSERT_TRUE(shows(0));
    EXPECT_EQ(ClientPixel(hButton, 1, 1), RGB(255, 255, 255)) << "the dialog shows through the key colour";
    MouseMoveTo(hButton, 20, 10);
    EXPECT_TRUE(shows(1)) << "hover";
    MouseLeftDown();
    EXPECT_TRUE(shows(2)) << "pressed";
    MouseLeftUp();
    EXPECT_TRUE(shows(1)) << "back to hover on release";
    EXPECT_TRUE(PumpUntil([&] { return dialog.clicks == 1; }));
    MouseMoveTo(hDialog, 250, 180);
    EXPECT_TRUE(shows(0)) << "normal after leaving";

    dialog.button.SetState(CKbcButton::STATE_DISABLED);
    ASSERT_TRUE(shows(3));
    MouseMoveTo(hButton, 20, 10);
    MouseLeftDown();
    MouseLeftUp();
    PumpFor(100);  // nothing may change, so there is nothing to wait for
    EXPECT_EQ(ClientPixel(hButton, 20, 10), kFrames[3]);
    EXPECT_EQ(dialog.clicks, 1) << "a busy window must not start its work twice";
    dialog.button.SetState(CKbcButton::STATE_NORMAL);
    EXPECT_TRUE(shows(0));
    MouseMoveTo(hButton, 22, 11);
    EXPECT_TRUE(shows(1)) << "tracked again once enabled";
    MouseLeftDown();
    MouseLeftUp();
    EXPECT_TRUE(PumpUntil([&] { return dialog.clicks == 2; }));

    dialog.button.SetFixedState(CKbcButton::STATE_PRESSED);
    EXPECT_TRUE(shows(2));
    MouseMoveTo(hButton, 20, 10);
    PumpFor(100);
    EXPECT_EQ(ClientPixel(hButton, 20, 10), kFrames[2]);
    dialog.button.SetFixedState(0);
    EXPECT_TRUE(shows(1));
}

TEST(BitmapRegion, RegionsLeaveOutTheKeyColourAtEveryScaleAndDepth)
{
    ScopedTestDir dir;
    const COLORREF key = RGB(255, 0, 255);
    // A 60 x 40 picture: a ring of key around a 40 x 20 body with a key hole.
    WriteBmp("w.bmp", 60, 40, [&](int x, int y) {
        const bool body = x >= 10 && x < 50 && y >= 10 && y < 30;
        const bool hole = x >= 25 && x < 35 && y >= 15 && y < 25;
        return body && !hole ? RGB(10, 20, 30) : key;
    });
    CGdiBitmap bitmap(static_cast<HBITMAP>(LoadImageW(nullptr, (dir.Path() / "w.bmp").c_str(), IMAGE_BITMAP, 0, 0,
                                                      LR_LOADFROMFILE)));
    ASSERT_TRUE(bitmap);
    for (const int percent : {100, 150, 200}) {
        CGdiRegion region(BitmapToRegion(bitmap.Get(), key, percent, 100));
        ASSERT_TRUE(region);
        RECT box;
        EXPECT_EQ(GetRgnBox(region.Get(), &box), COMPLEXREGION);
        auto at = [&](int v) { return v * percent / 100; };
        EXPECT_EQ(std::vector<LONG>({box.left, box.top, box.right, box.bottom}),
                  (std::vector<LONG>{at(10), at(10), at(50), at(30)}));
        // The centres of the source's pixels, scaled.
        const struct { int x, y; bool inside; } points[] = {{10, 10, true}, {49, 29, true}, {9, 10, false},
                                                            {30, 20, false}, {24, 20, true}, {35, 20, true}};
        for (const auto& p : points)
            EXPECT_EQ(PtInRegion(region.Get(), (2 * p.x + 1) * percent / 200, (2 * p.y + 1) * percent / 200) != 0,
                      p.inside) << p.x << "," << p.y << " at " << percent << " %";
    }

    WriteBmp("k.bmp", 16, 8, [&](int, int) { return key; });
    CGdiBitmap allKey(static_cast<HBITMAP>(LoadImageW(nullptr, (dir.Path() / "k.bmp").c_str(), IMAGE_BITMAP, 0, 0,
                                                      LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    CGdiRegion empty(BitmapToRegion(allKey.Get(), key));
    ASSERT_TRUE(empty);
    RECT box;
    EXPECT_EQ(GetRgnBox(empty.Get(), &box), NULLREGION);

    // A 5-5-5 section: the key loses its low bits there and must still match.
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 8, 4, 1, 16, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    CGdiBitmap sixteen(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(sixteen);
    auto* pixels = static_cast<WORD*>(bits);
    for (int i = 0; i < 32; ++i) pixels[i] = 0x7C1F;  // full red and blue: the key
    pixels[0] = 0x0000;                               // one black pixel, bottom-left: a run of one
    CGdiRegion one(BitmapToRegion(sixteen.Get(), key));
    ASSERT_TRUE(one);
    EXPECT_EQ(GetRgnBox(one.Get(), &box), SIMPLEREGION);
    EXPECT_EQ(std::vector<LONG>({box.left, box.top, box.right, box.bottom}), (std::vector<LONG>{0, 3, 1, 4}));
}

TEST(ScaledImage, FramesScaleApartKeyedEdgesTakeNoTintAndTheSkinVariantFitsTheScreensScale)
{
    // Two 4 x 4 frames, red and blue, each with a key column on its left.
    const std::uint32_t key = 0xFA00FA, red = 0xC81E1E, blue = 0x1E1EC8;
    std::vector<std::uint32_t> pixels(8 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) pixels[y * 8 + x] = x % 4 == 0 ? key : x < 4 ? red : blue;
    const struct { int outWidth, outHeight; bool keyed; } cases[] = {
        {4, 4, true}, {6, 6, true}, {8, 8, true}, {7, 5, false}};
    for (const auto& c : cases) {
        const auto out = ResampleFrames(pixels, 8, 4, 2, c.outWidth, c.outHeight, c.keyed, key);
        ASSERT_EQ(out.size(), static_cast<size_t>(2 * c.outWidth * c.outHeight));
        int keys = 0;
        for (int y = 0; y < c.outHeight; ++y)
            for (int x = 0; x < 2 * c.outWidth; ++x) {
                const std::uint32_t p = out[y * 2 * c.outWidth + x];
                const std::uint32_t own = x < c.outWidth ? red : blue;
                if (c.keyed) {
                    keys += p == key;
                    // Nothing of the neighbouring frame, nothing of the key.
                    EXPECT_TRUE(p == key || p == own) << std::hex << p << " at " << x << "," << y;
                } else if (x % c.outWidth == c.outWidth - 1) {
                    EXPECT_EQ(p, own) << "a frame's last column takes nothing of the next";
                }
            }
        // A quarter of each frame was key; so it stays, give or take a column.
        if (!c.keyed) continue;
        EXPECT_NEAR(keys, 2 * c.outWidth * c.outHeight / 4, c.outHeight * 2) << c.outWidth;
    }
    EXPECT_EQ(ResampleFrames(pixels, 8, 4, 2, 4, 4, true, key), pixels) << "the same size changes nothing";
    // A colour next to the key that would average onto it stays visible.
    const std::vector<std::uint32_t> keyish = {0xFA00FA, 0xFA00FA, 0xFA00FA, 0xFA00FA};
    EXPECT_EQ(ResampleFrames(keyish, 2, 2, 1, 3, 3, false, key), std::vector<std::uint32_t>(9, 0xFA00FA));
    EXPECT_EQ(ResampleFrames(keyish, 2, 2, 1, 3, 3, true, key), std::vector<std::uint32_t>(9, key));

    // The largest skin variant not above the screen's scale is drawn.
    ScopedTestDir dir;
    WriteBytes("bg.bmp", "x");
    WriteBytes("bg@150.bmp", "x");
    fs::create_directories("btn@200.bmp");  // a folder is no image
    const struct { const wchar_t* name; int dpi; const wchar_t* chosen; int made; } variants[] = {
        {L"bg.bmp", 96, L"bg.bmp", 96}, {L"bg.bmp", 120, L"bg.bmp", 96}, {L"bg.bmp", 144, L"bg@150.bmp", 144},
        {L"bg.bmp", 192, L"bg@150.bmp", 144}, {L"btn.bmp", 192, L"btn.bmp", 96}, {L"noext", 192, L"noext", 96}};
    for (const auto& c : variants) {
        int made = 0;
        const std::wstring chosen = SkinVariant((dir.Path() / c.name).wstring(), c.dpi, &made);
        EXPECT_EQ(fs::path(chosen).filename().wstring(), c.chosen) << c.dpi;
        EXPECT_EQ(made, c.made) << c.dpi;
    }
    WriteBytes("bg@200.bmp", "x");
    int made = 0;
    EXPECT_EQ(fs::path(SkinVariant((dir.Path() / "bg.bmp").wstring(), 200, &made)).filename(), "bg@200.bmp");
    EXPECT_EQ(made, 192);
    // Scales outside 100 to 500 %, as a broken setting may report them.
    for (const auto& c : std::vector<std::pair<int, int>>{{0, 96}, {72, 96}, {120, 120}, {9999, 480}})
        EXPECT_EQ(ClampDpi(c.first), c.second) << c.first;
    EXPECT_EQ(Px(95, 144), 143);  // 142.5, rounded

    // A button's frame is a quarter of its strip, the remainder dropped, at every scale.
    const struct { int frame, extra, dpi; } strips[] = {
        {100, 0, 96}, {100, 2, 96}, {25, 3, 96}, {25, 3, 144}, {40, 0, 192}};
    for (const auto& c : strips) {
        WriteStrip("s.bmp", c.frame, c.extra);
        CKbcBmp bmp;
        ASSERT_TRUE(bmp.Load((dir.Path() / "s.bmp").wstring(), c.dpi, kKey));
        EXPECT_EQ(bmp.FrameWidth(), Px((c.frame * 4 + c.extra) / 4, c.dpi));
        EXPECT_EQ(bmp.Height(), Px(20, c.dpi));
    }
}

TEST(DibAndPicture, LoadAndDrawBitmapsAndRefuseWhatIsNotOneLiesAboutItsSizeOrIsMissing)
{
    ScopedTestDir dir;
    RecordedMessageBoxes().clear();
    WriteBytes("fake.bmp", "PK: a zip, not a bitmap");
    CDib dib;
    EXPECT_FALSE(dib.Load((dir.Path() / "fake.bmp").wstring()));
    EXPECT_EQ(RecordedMessageBoxes().size(), 1u) << "the player is told";

    // A header that claims 4000 x 4000 pixels in a file of a few bytes would
    // make the drawing read far past the block.
    WriteBmp("small.bmp", 4, 4, [](int, int) { return RGB(1, 2, 3); });
    std::string bytes = ReadBytes("small.bmp");
    bytes[18] = static_cast<char>(0xA0), bytes[19] = 0x0F;  // width 4000
    bytes[22] = static_cast<char>(0xA0), bytes[23] = 0x0F;  // height 4000
    WriteBytes("lying.bmp", bytes);
    EXPECT_FALSE(dib.Load((dir.Path() / "lying.bmp").wstring()));
    EXPECT_FALSE(dib.Loaded());
    EXPECT_FALSE(dib.Load((dir.Path() / "missing.bmp").wstring()));

    // Left half red, right half blue, top row green.
    WriteBmp("bar.bmp", 20, 6,
             [](int x, int y) { return y == 0 ? RGB(0, 255, 0) : x < 10 ? RGB(255, 0, 0) : RGB(0, 0, 255); });
    ASSERT_TRUE(dib.Load((dir.Path() / "bar.bmp").wstring()));
    EXPECT_EQ(std::vector<int>({dib.Width(), dib.Height()}), (std::vector<int>{20, 6}));
    CWindowDc screen(nullptr);
    CMemoryDc dc(CreateCompatibleDC(screen.Get()));
    CGdiBitmap target(CreateCompatibleBitmap(screen.Get(), 30, 10));
    CSelection select(dc.Get(), target.Get());
    PatBlt(dc.Get(), 0, 0, 30, 10, WHITENESS);
    dib.Draw(dc.Get(), 5, 2, 12, 6, 0, 0, 12, 6);  // filled width 12
    EXPECT_EQ(GetPixel(dc.Get(), 5, 2), RGB(0, 255, 0)) << "top row stays on top";
    EXPECT_EQ(GetPixel(dc.Get(), 5, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc.Get(), 16, 3), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc.Get(), 17, 3), RGB(255, 255, 255)) << "cropped, not stretched";

    // A picture loads a bitmap too, and reports a missing file.
    WriteBmp("p.bmp", 32, 16, [](int x, int) { return x < 16 ? RGB(255, 255, 0) : RGB(0, 128, 255); });
    CPicture picture;
    ASSERT_TRUE(picture.Load((dir.Path() / "p.bmp").wstring()));
    EXPECT_EQ(std::vector<int>({picture.Width(), picture.Height()}), (std::vector<int>{32, 16}));
    CGdiBitmap bitmap(picture.ToBitmap(screen.Get()));
    ASSERT_TRUE(bitmap);
    CSelection selectPicture(dc.Get(), bitmap.Get());
    EXPECT_EQ(GetPixel(dc.Get(), 2, 2), RGB(255, 255, 0));
    EXPECT_EQ(GetPixel(dc.Get(), 30, 14), RGB(0, 128, 255));

    RecordedMessageBoxes().clear();
    EXPECT_FALSE(picture.Load((dir.Path() / "none.bmp").wstring()));
    EXPECT_FALSE(picture.Loaded());
    EXPECT_EQ(RecordedMessageBoxes().size(), 1u);
}

namespace {
// Ends the background's modal loop once checks have run inside it.
class CCheckedBg : public CBgDialog {
public:
    explicit CCheckedBg(CDialogBase& fg) : CBgDialog(fg) {}
    std::function<void(CCheckedBg&)> check;

protected:
    BOOL OnInitDialog() override
    {
        const BOOL r = CBgDialog::OnInitDialog();
        SetTimer(m_hWnd, 77, 50, nullptr);  // the modal loop shows the window first
        return r;
    }
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TIMER && wParam == 77) {
            KillTimer(m_hWnd, 77);
            PumpUntil([&] { return (GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; });
            if (check) check(*this);
            // The modal loop ends through the dialog's own IDOK command.
            PostMessageW(m_hWnd, WM_COMMAND, IDOK, 0);
            return TRUE;
        }
        return CBgDialog::WindowProc(message, wParam, lParam);
    }
};
}  // namespace

TEST(BgDialog, LayeredPngIsSizedCentredAndDraggedWithTheMainWindow)
{
    ScopedTestDir dir;
    CPlainDialog fg(IDD_PATCH_DIALOG);
    CCheckedBg bg(fg);
    bg.SetPng((SampleSkinDir() / "skin" / "background.png").wstring(), dir.Path().wstring() + L"\\");
    bool checked = false;
    bg.check = [&](CCheckedBg& self) {
        HWND hWnd = self.GetSafeHwnd();
        EXPECT_TRUE(self.HasImage());
        EXPECT_TRUE(fs::exists(dir.Path() / "temp.tmp")) << "read from the copy";
        EXPECT_TRUE(GetWindowLongPtrW(hWnd, GWL_EXSTYLE) & WS_EX_LAYERED);
        RECT r;
        GetWindowRect(hWnd, &r);
        const LONG left = GetSystemMetrics(SM_CXSCREEN) / 2 - 309, top = GetSystemMetrics(SM_CYSCREEN) / 2 - 199;
        EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{left, top, 618, 398}));
        EXPECT_TRUE(IsWindowVisible(fg.GetSafeHwnd()));
        EXPECT_EQ(GetWindow(fg.GetSafeHwnd(), GW_OWNER), hWnd) << "the main window stays above";
        // Dragging the background by 30, 20 moves both windows there.
        SendMessageW(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
        SendMessageW(hWnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(130, 120));
        SendMessageW(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(130, 120));
        RECT moved, fgRect;
        GetWindowRect(hWnd, &moved);
        GetWindowRect(fg.GetSafeHwnd(), &fgRect);
        EXPECT_EQ(std::vector<LONG>({moved.left, moved.top, fgRect.left, fgRect.top}),
                  (std::vector<LONG>{r.left + 30, r.top + 20, r.left + 30, r.top + 20}));
        checked = true;
    };
    EXPECT_EQ(bg.DoModal(), IDOK);
    EXPECT_TRUE(checked);
    EXPECT_EQ(fg.GetSafeHwnd(), nullptr) << "the main window went with its owner";
}

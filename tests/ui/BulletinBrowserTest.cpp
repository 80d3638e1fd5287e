// The bulletin page host: the windows it leaves in the main window whether or
// not the control embeds.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "UiTestUtil.h"
#include "ui/BulletinBrowser.h"
#include "ui/GdiHandle.h"

TEST(BulletinBrowserTest, ThePageTakesItsRectangleOrNone)
{
    UI::CWindowHandle parent(CreateWindowW(L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                           GetModuleHandleW(nullptr), nullptr));
    // The page takes its rectangle or, without an HTML engine, leaves it empty.
    HWND sibling = CreateWindowW(L"BUTTON", L"ok", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, parent.Get(),
                                 reinterpret_cast<HMENU>(1003), GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(CBulletinBrowser().Navigate(L"http://127.0.0.1:9/"), -5);  // nothing embedded
    CBulletinBrowser browser;
    const bool created = browser.Create(L"http://127.0.0.1:9/bulletin.html", 20, 30, 300, 200, parent.Get(), 101);
    // Without an HTML engine: no window left behind.
    EXPECT_EQ(std::make_pair(browser.Embedded(), browser.WrapperWindow() != nullptr), std::make_pair(created, created));
    EXPECT_EQ(GetDlgItem(parent.Get(), 101), browser.WrapperWindow());
    if (created) {
        EXPECT_EQ(ChildBounds(browser.WrapperWindow()), (std::vector<LONG>{20, 30, 300, 200}));
        MoveWindow(browser.WrapperWindow(), 20, 30, 150, 90, TRUE);
        RECT inner;
        GetClientRect(GetDlgItem(browser.WrapperWindow(), 1000), &inner);
        EXPECT_EQ(std::vector<LONG>({inner.right, inner.bottom}), (std::vector<LONG>{150, 90}));
    }
    EXPECT_EQ(GetDlgItem(parent.Get(), 1003), sibling);
    EXPECT_TRUE(HasVisibleStyle(sibling));
    std::printf("bulletin control embedded: %s\n", created ? "yes" : "no");
}

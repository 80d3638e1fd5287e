// The bulletin page host: the container's answers to the control, and the
// windows it leaves in the main window whether or not the control embeds.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "UiTestUtil.h"
#include "ui/BrowserSite.h"
#include "ui/BulletinBrowser.h"
#include "ui/GdiHandle.h"

TEST(BulletinBrowserTest, TheContainerKeepsThePagePlainAndThePageTakesItsRectangleOrNone)
{
    UI::CWindowHandle parent(CreateWindowW(L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                           GetModuleHandleW(nullptr), nullptr));
    CBrowserSite* site = new CBrowserSite(parent.Get());
    IOleClientSite* client = site;

    IDocHostUIHandler* ui = nullptr;
    ASSERT_EQ(client->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&ui)), S_OK);
    // No context menu, no toolbars, keys left to the page; declining calls
    // clear their out pointer, which the control would otherwise use.
    DOCHOSTUIINFO info = {};
    POINT pt = {};
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    IDropTarget* drop = reinterpret_cast<IDropTarget*>(1);
    LPWSTR translated = reinterpret_cast<LPWSTR>(1);
    IDataObject* filtered = reinterpret_cast<IDataObject*>(1);
    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    EXPECT_EQ(std::vector<HRESULT>({ui->GetHostInfo(&info), ui->ShowContextMenu(0, &pt, nullptr, nullptr),
                                    ui->ShowUI(0, nullptr, nullptr, nullptr, nullptr),
                                    ui->TranslateAccelerator(nullptr, nullptr, 0), ui->GetExternal(&external),
                                    ui->GetDropTarget(nullptr, &drop), ui->TranslateUrl(0, nullptr, &translated),
                                    ui->FilterDataObject(nullptr, &filtered), client->GetContainer(&container)}),
              (std::vector<HRESULT>{S_OK, S_OK, S_OK, S_FALSE, S_FALSE, S_FALSE, S_FALSE, S_FALSE, E_NOINTERFACE}));
    EXPECT_EQ(std::vector<const void*>({external, drop, translated, filtered, container}),
              std::vector<const void*>(5, nullptr));
    EXPECT_EQ(info.dwFlags, 4u);  // no 3D border
    // The frame comes through the window context.
    IOleInPlaceSite* inPlace = nullptr;
    ASSERT_EQ(client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
    HWND hWnd = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&hWnd), S_OK);
    EXPECT_EQ(hWnd, parent.Get());
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos, clip;
    OLEINPLACEFRAMEINFO frameInfo = {sizeof(OLEINPLACEFRAMEINFO), FALSE, nullptr, nullptr, 0};
    EXPECT_EQ(inPlace->GetWindowContext(&frame, &doc, &pos, &clip, &frameInfo), S_OK);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(doc, nullptr);

    frame->Release();
    inPlace->Release();
    ui->Release();
    EXPECT_EQ(client->Release(), 0u);

    // The page takes its rectangle or, without an HTML engine, leaves it empty.
    HWND sibling = CreateWindowW(L"BUTTON", L"ok", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, parent.Get(),
                                 reinterpret_cast<HMENU>(1003), GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(CBulletinBrowser().Navigate(L"http://127.0.0.1:9/"), -5);  // nothing embedded
    CBulletinBrowser browser;
    const bool created = browser.Create(L"http://127.0.0.1:9/bulletin.html", 20, 30, 300, 200, parent.Get(), 101);
    EXPECT_EQ(created, browser.Embedded());
    if (created) {
        EXPECT_EQ(GetDlgItem(parent.Get(), 101), browser.WrapperWindow());
        EXPECT_EQ(ChildBounds(browser.WrapperWindow()), (std::vector<LONG>{20, 30, 300, 200}));
        MoveWindow(browser.WrapperWindow(), 20, 30, 150, 90, TRUE);
        RECT inner;
        GetClientRect(GetDlgItem(browser.WrapperWindow(), 1000), &inner);
        EXPECT_EQ(std::vector<LONG>({inner.right, inner.bottom}), (std::vector<LONG>{150, 90}));
    } else {
        // Without an HTML engine: no window left behind.
        EXPECT_EQ(browser.WrapperWindow(), nullptr);
        EXPECT_EQ(GetDlgItem(parent.Get(), 101), nullptr);
    }
    EXPECT_EQ(GetDlgItem(parent.Get(), 1003), sibling);
    EXPECT_TRUE(HasVisibleStyle(sibling));
    std::printf("bulletin control embedded: %s\n", created ? "yes" : "no");
}

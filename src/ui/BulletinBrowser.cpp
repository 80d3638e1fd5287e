#include "BulletinBrowser.h"

#include <exdisp.h>
#include <ole2.h>

#include "BrowserSite.h"
#include "GdiHandle.h"

namespace {

const wchar_t kWrapperClass[] = L"WrapperWindow";
const wchar_t kBrowserClass[] = L"BrowserObject";
const UINT kBrowserChildId = 1000;
int g_nClassUsers = 0;

// What a browser window keeps in its user data slot.
struct SEmbedding {
    // Released in reverse: the control, its storage, then our site.
    UI::TComPtr<CBrowserSite> pSite;
    UI::TComPtr<IStorage> pStorage;
    UI::TComPtr<IOleObject> pObject;
};

SEmbedding* EmbeddingOf(HWND hWnd) { return reinterpret_cast<SEmbedding*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA)); }

void Unembed(HWND hWnd)
{
    SEmbedding* e = EmbeddingOf(hWnd);
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    if (e == nullptr) return;
    if (e->pObject) e->pObject->Close(OLECLOSE_NOSAVE);
    delete e;
}

template <class F>
HRESULT WithBrowser(HWND hWnd, F f)
{
    SEmbedding* e = hWnd ? EmbeddingOf(hWnd) : nullptr;
    if (e == nullptr || !e->pObject) return -5;
    UI::TComPtr<IWebBrowser2> browser;
    const HRESULT hr = e->pObject->QueryInterface(IID_IWebBrowser2, browser.OutVoid());
    return FAILED(hr) ? hr : f(browser.Get());
}

void Resize(HWND hWnd, int width, int height)
{
    WithBrowser(hWnd, [&](IWebBrowser2* b) {
        b->put_Width(width);
        b->put_Height(height);
        return S_OK;
    });
}

bool Embed(HWND hWnd)
{
    auto* e = new SEmbedding;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(e));
    *e->pSite.Out() = new CBrowserSite(hWnd);
    // The control wants a storage; an empty one in memory does.
    UI::TComPtr<ILockBytes> bytes;
    bool ok = SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Out())) &&
              SUCCEEDED(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0,
                                                     e->pStorage.Out()));
    ok = ok && SUCCEEDED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr,
                                   static_cast<IOleClientSite*>(e->pSite.Get()), e->pStorage.Get(),
                                   e->pObject.OutVoid()));
    ok = ok && SUCCEEDED(e->pObject->SetHostNames(L"My Host Name", nullptr));
    ok = ok && SUCCEEDED(OleSetContainedObject(e->pObject.Get(), TRUE));
    RECT rc;
    GetClientRect(hWnd, &rc);
    ok = ok && SUCCEEDED(e->pObject->DoVerb(OLEIVERB_SHOW, nullptr, static_cast<IOleClientSite*>(e->pSite.Get()), -1,
                                            hWnd, &rc));
    ok = ok && SUCCEEDED(WithBrowser(hWnd, [&](IWebBrowser2* b) {
             b->put_Left(0);
             b->put_Top(0);
             b->put_Width(rc.right);
             b->put_Height(rc.bottom);
             return S_OK;
         }));
    if (!ok) Unembed(hWnd);
    return ok;
}

LRESULT CALLBACK WrapperProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        MoveWindow(GetDlgItem(hWnd, kBrowserChildId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

LRESULT CALLBACK BrowserProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        // A control that cannot be made (out of memory, say) is no window.
        try {
            return Embed(hWnd) ? 0 : -1;
        } catch (...) {
            Unembed(hWnd);
            return -1;
        }
    case WM_DESTROY:
        Unembed(hWnd);
        return 0;
    case WM_SIZE:
        Resize(hWnd, LOWORD(lParam), HIWORD(lParam));
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

}  // namespace

CBulletinBrowser::CBulletinBrowser(HINSTANCE hInstance)
    : m_hInstance(hInstance ? hInstance : GetModuleHandleW(nullptr))
{
    if (g_nClassUsers++ > 0) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.hInstance = m_hInstance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.style = 0x10CB;  // redraw on size, double clicks, class and parent DC, byte-aligned client
    wc.lpfnWndProc = &WrapperProc;
    wc.lpszClassName = kWrapperClass;
    RegisterClassExW(&wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &BrowserProc;
    wc.lpszClassName = kBrowserClass;
    RegisterClassExW(&wc);
}

CBulletinBrowser::~CBulletinBrowser()
{
    if (m_hWrapper && IsWindow(m_hWrapper)) DestroyWindow(m_hWrapper);
    if (--g_nClassUsers == 0) {
        UnregisterClassW(kWrapperClass, m_hInstance);
        UnregisterClassW(kBrowserClass, m_hInstance);
    }
    if (m_bOle) OleUninitialize();
}

bool CBulletinBrowser::Embedded() const
{
    const SEmbedding* e = m_hBrowser && IsWindow(m_hBrowser) ? EmbeddingOf(m_hBrowser) : nullptr;
    return e != nullptr && static_cast<bool>(e->pObject);
}

bool CBulletinBrowser::Create(const std::wstring& strUrl, int x, int y, int nWidth, int nHeight, HWND hParent,
                              UINT nId)
{
    m_strUrl = strUrl;
    // OLE only once a page is shown: its start-up delays a window without pages.
    if (!m_bOle) m_bOle = SUCCEEDED(OleInitialize(nullptr));
    const DWORD style = nId == 101 ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    m_hWrapper = CreateWindowExW(0, kWrapperClass, L"", style, 0, 0, 0, 0, hParent,
                                 nId == 101 ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)) : nullptr,
                                 m_hInstance, nullptr);
    if (m_hWrapper == nullptr) return false;
    m_hBrowser = CreateWindowExW(0, kBrowserClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, nWidth, nHeight, m_hWrapper,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kBrowserChildId)), m_hInstance,
                                 nullptr);
    if (m_hBrowser == nullptr) {
        // The control could not be embedded: the area stays empty.
        DestroyWindow(m_hWrapper);
        m_hWrapper = nullptr;
        return false;
    }
    Navigate(strUrl);
    MoveWindow(m_hWrapper, x, y, nWidth, nHeight, TRUE);
    ShowWindow(m_hWrapper, SW_SHOW);
    return true;
}

long CBulletinBrowser::Navigate(const std::wstring& strUrl)
{
    return WithBrowser(m_hBrowser, [&](IWebBrowser2* b) {
        VARIANT url;
        VariantInit(&url);
        url.vt = VT_BSTR;
        url.bstrVal = SysAllocString(strUrl.c_str());
        const HRESULT hr = b->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
        VariantClear(&url);
        return hr;
    });
}

#include "BrowserSite.h"

STDMETHODIMP CBrowserSite::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceSite))
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IDocHostUIHandler))
        *ppv = static_cast<IDocHostUIHandler*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBrowserSite::AddRef() { return InterlockedIncrement(&m_nRef); }

STDMETHODIMP_(ULONG) CBrowserSite::Release()
{
    const LONG n = InterlockedDecrement(&m_nRef);
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP CBrowserSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk)
{
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserSite::GetContainer(IOleContainer** ppContainer)
{
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CBrowserSite::GetWindow(HWND* phwnd)
{
    if (phwnd == nullptr) return E_POINTER;
    *phwnd = m_hWnd;
    return S_OK;
}

STDMETHODIMP CBrowserSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                            LPRECT lprcPosRect, LPRECT lprcClipRect,
                                            LPOLEINPLACEFRAMEINFO lpFrameInfo)
{
    if (ppFrame) {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    if (lprcPosRect) GetClientRect(m_hWnd, lprcPosRect);
    if (lprcClipRect) GetClientRect(m_hWnd, lprcClipRect);
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = GetParent(m_hWnd);
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP CBrowserSite::GetHostInfo(DOCHOSTUIINFO* pInfo)
{
    if (pInfo == nullptr) return E_POINTER;
    pInfo->cbSize = sizeof(DOCHOSTUIINFO);
    pInfo->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP CBrowserSite::GetDropTarget(IDropTarget*, IDropTarget** ppDropTarget)
{
    if (ppDropTarget) *ppDropTarget = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserSite::GetExternal(IDispatch** ppDispatch)
{
    if (ppDispatch) *ppDispatch = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut)
{
    if (ppchURLOut) *ppchURLOut = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserSite::FilterDataObject(IDataObject*, IDataObject** ppDORet)
{
    if (ppDORet) *ppDORet = nullptr;
    return S_FALSE;
}

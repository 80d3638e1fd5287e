// One small owner per GDI, GDI+ and COM object kind, so that no path leaks
// one: objects, device contexts, selections, paint cycles, global memory.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "base/utility/WinHandle.h"

namespace UI {

template <class T>
struct GdiObjectTraits {
    typedef T Type;
    static T Invalid() { return nullptr; }
    static void Close(T h) { DeleteObject(h); }
};

struct MemoryDcTraits {
    typedef HDC Type;
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};

struct GlobalMemoryTraits {
    typedef HGLOBAL Type;
    static HGLOBAL Invalid() { return nullptr; }
    static void Close(HGLOBAL h) { GlobalFree(h); }
};

struct IconTraits {
    typedef HICON Type;
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { DestroyIcon(h); }
};

struct WindowTraits {
    typedef HWND Type;
    static HWND Invalid() { return nullptr; }
    static void Close(HWND h)
    {
        if (IsWindow(h)) DestroyWindow(h);
    }
};

struct MenuTraits {
    typedef HMENU Type;
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU h) { DestroyMenu(h); }
};

typedef Base::Utility::TUniqueHandle<GdiObjectTraits<HBITMAP>> CGdiBitmap;
typedef Base::Utility::TUniqueHandle<GdiObjectTraits<HFONT>> CGdiFont;
typedef Base::Utility::TUniqueHandle<GdiObjectTraits<HRGN>> CGdiRegion;
typedef Base::Utility::TUniqueHandle<GdiObjectTraits<HBRUSH>> CGdiBrush;
typedef Base::Utility::TUniqueHandle<GdiObjectTraits<HPALETTE>> CGdiPalette;
typedef Base::Utility::TUniqueHandle<MemoryDcTraits> CMemoryDc;
typedef Base::Utility::TUniqueHandle<GlobalMemoryTraits> CGlobalMemory;
typedef Base::Utility::TUniqueHandle<IconTraits> CIconHandle;
typedef Base::Utility::TUniqueHandle<WindowTraits> CWindowHandle;
typedef Base::Utility::TUniqueHandle<MenuTraits> CMenuHandle;

// GetDC / ReleaseDC.
class CWindowDc {
public:
    explicit CWindowDc(HWND hWnd) : m_hWnd(hWnd), m_hDC(GetDC(hWnd)) {}
    ~CWindowDc()
    {
        if (m_hDC) ReleaseDC(m_hWnd, m_hDC);
    }
    CWindowDc(const CWindowDc&) = delete;
    CWindowDc& operator=(const CWindowDc&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// BeginPaint / EndPaint.
class CPaintDc {
public:
    explicit CPaintDc(HWND hWnd) : m_hWnd(hWnd) { m_hDC = BeginPaint(hWnd, &m_ps); }
    ~CPaintDc() { EndPaint(m_hWnd, &m_ps); }
    CPaintDc(const CPaintDc&) = delete;
    CPaintDc& operator=(const CPaintDc&) = delete;
    HDC Get() const { return m_hDC; }
    const RECT& Area() const { return m_ps.rcPaint; }

private:
    HWND m_hWnd;
    HDC m_hDC;
    PAINTSTRUCT m_ps;
};

// Selects an object into a device context and puts the previous one back.
class CSelection {
public:
    CSelection(HDC hDC, HGDIOBJ object) : m_hDC(hDC), m_hOld(object ? SelectObject(hDC, object) : nullptr) {}
    ~CSelection()
    {
        if (m_hOld) SelectObject(m_hDC, m_hOld);
    }
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// A palette selected and realised for a while.
class CPaletteSelection {
public:
    CPaletteSelection(HDC hDC, HPALETTE palette)
        : m_hDC(hDC), m_hOld(palette ? SelectPalette(hDC, palette, FALSE) : nullptr)
    {
        if (palette) RealizePalette(hDC);
    }
    ~CPaletteSelection()
    {
        if (m_hOld) SelectPalette(m_hDC, m_hOld, FALSE);
    }
    CPaletteSelection(const CPaletteSelection&) = delete;
    CPaletteSelection& operator=(const CPaletteSelection&) = delete;

private:
    HDC m_hDC;
    HPALETTE m_hOld;
};

// A locked global memory block.
class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL h) : m_h(h), m_p(h ? GlobalLock(h) : nullptr) {}
    ~CGlobalLock()
    {
        if (m_p) GlobalUnlock(m_h);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;
    void* Get() const { return m_p; }

private:
    HGLOBAL m_h;
    void* m_p;
};

// CoInitialize / CoUninitialize on this thread.
class CComInit {
public:
    CComInit() : m_bOk(SUCCEEDED(CoInitialize(nullptr))) {}
    ~CComInit()
    {
        if (m_bOk) CoUninitialize();
    }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;
    bool Ok() const { return m_bOk; }

private:
    bool m_bOk;
};

// Owns one reference of a COM interface.
template <class T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Reset(); }
    TComPtr(TComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    TComPtr& operator=(TComPtr&& o) noexcept
    {
        if (this != &o) {
            Reset();
            m_p = o.m_p;
            o.m_p = nullptr;
        }
        return *this;
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For functions that hand out a new reference.
    T** Out()
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset()
    {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

// A 32-bit top-down DIB of width x height (the rows in reading order).
inline BITMAPINFO TopDownDib32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace UI

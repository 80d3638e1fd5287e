// One bulletin page inside the main window: a plain child window
// ("WrapperWindow") holding a window ("BrowserObject") in which the system's
// web browser control is embedded in place. Where the control cannot be
// created, the area stays empty.
#pragma once

#include <windows.h>

#include <string>

class CBulletinBrowser {
public:
    explicit CBulletinBrowser(HINSTANCE hInstance = nullptr);
    ~CBulletinBrowser();
    CBulletinBrowser(const CBulletinBrowser&) = delete;
    CBulletinBrowser& operator=(const CBulletinBrowser&) = delete;

    // A child wrapper when nId is 101 (the main window's), else a window of
    // its own; false when either window cannot be created.
    bool Create(const std::wstring& strUrl, int x, int y, int nWidth, int nHeight, HWND hParent, UINT nId);
    // 0 when navigation started, -5 when no control is embedded, else the
    // control's error.
    long Navigate(const std::wstring& strUrl);

    HWND WrapperWindow() const { return m_hWrapper; }
    HWND BrowserWindow() const { return m_hBrowser; }
    bool Embedded() const;

private:
    HINSTANCE m_hInstance;
    HWND m_hWrapper = nullptr;
    HWND m_hBrowser = nullptr;
    std::wstring m_strUrl;
    bool m_bOle = false;
};

// An image read by the system's picture loader (IPicture), in any format
// that loader reads, with its size in pixels of the screen.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "GdiHandle.h"

namespace UI {

class CPicture {
public:
    CPicture() = default;
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // False (with a message box) when the file cannot be read or is no picture.
    bool Load(const std::wstring& path);
    // Draws the picture into rect, its width scaled horizontally by scale.
    bool Render(HDC hDC, const RECT& rect, float scale = 1.0f) const;
    bool Loaded() const { return static_cast<bool>(m_pPicture); }
    LONG Width() const { return m_nWidth; }
    LONG Height() const { return m_nHeight; }
    DWORD FileSize() const { return m_dwSize; }
    // A bitmap of the whole picture at its pixel size; null when empty.
    HBITMAP ToBitmap(HDC hReference) const;

private:
    TComPtr<IPicture> m_pPicture;
    DWORD m_dwSize = 0;
    OLE_XSIZE_HIMETRIC m_hmWidth = 0;
    OLE_YSIZE_HIMETRIC m_hmHeight = 0;
    LONG m_nWidth = 0, m_nHeight = 0;
};

}  // namespace UI

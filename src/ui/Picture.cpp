#include "Picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/utility/MessageBox.h"

namespace UI {

namespace {

void PictureError(const wchar_t* text)
{
    // The box is shown in English whatever the system's language.
    ShowMessageBox(nullptr, text, L"CPicture Error", MB_OK | MB_ICONERROR);
}

int ScreenDpi(int index)
{
    const CWindowDc screen(nullptr);
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), index) : 96;
    return dpi > 0 ? dpi : 96;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool CPicture::Load(const std::wstring& path)
{
    m_pPicture.Reset();
    m_nWidth = m_nHeight = 0;
    m_dwSize = 0;

    std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        std::wstring text = L"Cannot open the file " + path + L": " + _wcserror(errno);
        PictureError(text.c_str());
        return false;
    }
    std::vector<char> bytes;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.empty()) {
        PictureError(L"IPicture interface is not supported\t");
        return false;
    }

    CGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!memory) {
        PictureError(L"Can not allocate enough memory\t");
        return false;
    }
    {
        CGlobalLock lock(memory.Get());
        if (lock.Get() == nullptr) {
            PictureError(L"Can not allocate enough memory\t");
            return false;
        }
        std::memcpy(lock.Get(), bytes.data(), bytes.size());
    }
    TComPtr<IStream> stream;
    // The stream frees the block when it goes.
    if (FAILED(CreateStreamOnHGlobal(memory.Get(), TRUE, stream.Out()))) {
        PictureError(L"Can not allocate enough memory\t");
        return false;
    }
    memory.Release();
    if (FAILED(OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                              m_pPicture.OutVoid())) ||
        !m_pPicture) {
        m_pPicture.Reset();
        PictureError(L"IPicture interface is not supported\t");
        return false;
    }
    m_dwSize = static_cast<DWORD>(bytes.size());
    m_pPicture->get_Width(&m_hmWidth);
    m_pPicture->get_Height(&m_hmHeight);
    m_nWidth = MulDiv(m_hmWidth, ScreenDpi(LOGPIXELSX), 2540);
    m_nHeight = MulDiv(m_hmHeight, ScreenDpi(LOGPIXELSY), 2540);
    return true;
}

bool CPicture::Render(HDC hDC, const RECT& rect, float scale) const
{
    if (!m_pPicture || hDC == nullptr) return false;
    // The interface's source is bottom-up in HIMETRIC units.
    HRESULT hr = m_pPicture->Render(hDC, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0,
                                    m_hmHeight, static_cast<OLE_XSIZE_HIMETRIC>(m_hmWidth * scale), -m_hmHeight,
                                    nullptr);
    if (FAILED(hr)) {
        PictureError(L"IPicture interface is not supported\t");
        return false;
    }
    return true;
}

HBITMAP CPicture::ToBitmap(HDC hReference) const
{
    if (!Loaded() || m_nWidth <= 0 || m_nHeight <= 0) return nullptr;
    CGdiBitmap bitmap(CreateCompatibleBitmap(hReference, m_nWidth, m_nHeight));
    CMemoryDc dc(CreateCompatibleDC(hReference));
    if (!bitmap || !dc) return nullptr;
    {
        CSelection select(dc.Get(), bitmap.Get());
        RECT rect = {0, 0, m_nWidth, m_nHeight};
        if (!Render(dc.Get(), rect)) return nullptr;
    }
    return bitmap.Release();
}

}  // namespace UI

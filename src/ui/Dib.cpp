#include "Dib.h"

#include <cstdlib>
#include <vector>

#include "base/utility/MessageBox.h"
#include "base/utility/WinHandle.h"

namespace UI {

namespace {

DWORD ColourTableEntries(const BITMAPINFOHEADER& h)
{
    if (h.biClrUsed) return h.biClrUsed;
    return h.biBitCount <= 8 ? 1u << h.biBitCount : 0;
}

}  // namespace

bool CDib::Load(const std::wstring& path)
{
    m_hDib.Reset();
    m_hPalette.Reset();
    m_nWidth = m_nHeight = 0;

    Base::Utility::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    BITMAPFILEHEADER header;
    DWORD got = 0;
    if (!ReadFile(file.Get(), &header, sizeof header, &got, nullptr) || got != sizeof header ||
        header.bfType != 0x4D42) {
        ShowMessageBox(nullptr, L"This is not a bitmap file!", L"", MB_OK);
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= static_cast<LONGLONG>(sizeof header) ||
        size.QuadPart > 256LL * 1024 * 1024)
        return false;
    const DWORD packed = static_cast<DWORD>(size.QuadPart - sizeof header);
    CGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, packed));
    if (!memory) return false;
    {
        CGlobalLock lock(memory.Get());
        if (!lock.Get() || !ReadFile(file.Get(), lock.Get(), packed, &got, nullptr) || got != packed) return false;
        // The header must fit the file: width, height and depth decide how
        // much StretchDIBits reads.
        if (packed < sizeof(BITMAPINFOHEADER)) return false;
        const auto& info = *static_cast<const BITMAPINFOHEADER*>(lock.Get());
        if (info.biSize < sizeof(BITMAPINFOHEADER) || info.biWidth <= 0 || info.biHeight == 0 ||
            info.biPlanes != 1 || info.biWidth > 32768 || std::abs(info.biHeight) > 32768)
            return false;
        const DWORD entries = ColourTableEntries(info);
        if (entries > 256) return false;
        const DWORD masks = info.biCompression == BI_BITFIELDS && info.biSize == sizeof(BITMAPINFOHEADER) ? 12 : 0;
        const unsigned long long offset = static_cast<unsigned long long>(info.biSize) + masks + entries * 4ull;
        const unsigned long long stride = ((static_cast<unsigned long long>(info.biWidth) * info.biBitCount + 31) / 32) * 4;
        const bool compressed = info.biCompression != BI_RGB && info.biCompression != BI_BITFIELDS;
        if (offset > packed || (!compressed && offset + stride * std::abs(info.biHeight) > packed)) return false;
        m_dwBitsOffset = static_cast<DWORD>(offset);
        m_nWidth = info.biWidth;
        m_nHeight = std::abs(info.biHeight);

        if (entries > 0 && info.biBitCount <= 8) {
            std::vector<BYTE> buffer(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
            auto* palette = reinterpret_cast<LOGPALETTE*>(buffer.data());
            palette->palVersion = 0x300;
            palette->palNumEntries = static_cast<WORD>(entries);
            const auto* table = reinterpret_cast<const RGBQUAD*>(static_cast<const BYTE*>(lock.Get()) + info.biSize);
            for (DWORD i = 0; i < entries; ++i) {
                palette->palPalEntry[i].peRed = table[i].rgbRed;
                palette->palPalEntry[i].peGreen = table[i].rgbGreen;
                palette->palPalEntry[i].peBlue = table[i].rgbBlue;
                palette->palPalEntry[i].peFlags = 0;
            }
            m_hPalette.Reset(CreatePalette(palette));
        }
    }
    m_hDib = std::move(memory);
    return true;
}

void CDib::Draw(HDC hDC, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                DWORD rop) const
{
    if (!m_hDib || hDC == nullptr) return;
    CGlobalLock lock(m_hDib.Get());
    if (!lock.Get()) return;
    CPaletteSelection palette(hDC, m_hPalette.Get());
    const auto* info = static_cast<const BITMAPINFO*>(lock.Get());
    // StretchDIBits counts source rows from the bottom of a bottom-up image.
    const int fromBottom = info->bmiHeader.biHeight > 0 ? m_nHeight - srcY - srcHeight : srcY;
    StretchDIBits(hDC, x, y, width, height, srcX, fromBottom, srcWidth, srcHeight,
                  static_cast<const BYTE*>(lock.Get()) + m_dwBitsOffset, info, DIB_RGB_COLORS, rop);
}

}  // namespace UI

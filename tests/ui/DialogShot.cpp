#include "DialogShot.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "ui/GdiHandle.h"
#include "ui/GdiPlus.h"

namespace {

bool PngEncoder(CLSID* clsid)
{
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<unsigned char> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

}  // namespace

bool SaveWindowShot(HWND hWnd, const std::wstring& name)
{
    const wchar_t* dir = _wgetenv(L"TW_ARTIFACTS_DIR");
    if (dir == nullptr || *dir == 0) return false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    RECT r;
    GetWindowRect(hWnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    UI::CWindowDc screen(nullptr);
    UI::CMemoryDc memory(CreateCompatibleDC(screen.Get()));
    UI::CGdiBitmap bitmap(CreateCompatibleBitmap(screen.Get(), w, h));
    if (!memory || !bitmap) return false;
    HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
    BitBlt(memory.Get(), 0, 0, w, h, screen.Get(), r.left, r.top, SRCCOPY);
    // Outside a window's region the screen shows what lies behind it.
    UI::CGdiRegion shape(CreateRectRgn(0, 0, 0, 0));
    if (GetWindowRgn(hWnd, shape.Get()) != ERROR) {
        UI::CGdiRegion outside(CreateRectRgn(0, 0, w, h));
        CombineRgn(outside.Get(), outside.Get(), shape.Get(), RGN_DIFF);
        FillRgn(memory.Get(), outside.Get(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    SelectObject(memory.Get(), old);

    UI::CGdiplusSession gdiplus;
    CLSID png;
    if (!gdiplus.Startup() || !PngEncoder(&png)) return false;
    Gdiplus::Bitmap image(bitmap.Get(), nullptr);
    const std::wstring path = std::wstring(dir) + L"\\" + name + L".png";
    return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

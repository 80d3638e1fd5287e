#include "DialogShot.h"

#include <cstdlib>
#include <filesystem>

#include "ui/GdiHandle.h"
#include "ui/GdiPlus.h"

// The PNG encoder of GDI+: one class on every system.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

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
    if (!gdiplus.Startup()) return false;
    Gdiplus::Bitmap image(bitmap.Get(), nullptr);
    const std::wstring path = std::wstring(dir) + L"\\" + name + L".png";
    return image.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

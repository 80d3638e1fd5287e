#include "UiTestUtil.h"

#include <fstream>
#include <vector>

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, std::min<DWORD>(20, timeoutMs - elapsed), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

COLORREF ClientPixel(HWND hWnd, int x, int y)
{
    HDC hDC = GetDC(hWnd);
    const COLORREF c = GetPixel(hDC, x, y);
    ReleaseDC(hWnd, hDC);
    return c;
}

bool WaitForPixel(HWND hWnd, int x, int y, COLORREF colour, DWORD timeoutMs)
{
    return PumpUntil([&] { return ClientPixel(hWnd, x, y) == colour; }, timeoutMs);
}

std::string BmpBytes(int width, int height, const std::function<COLORREF(int, int)>& pixel)
{
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + stride * height;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::vector<unsigned char> rows(static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixel(x, y);
            unsigned char* p = &rows[static_cast<size_t>(height - 1 - y) * stride + x * 3];
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
        }
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(reinterpret_cast<const char*>(rows.data()), rows.size());
    return bytes;
}

void WriteBmp(const fs::path& path, int width, int height, const std::function<COLORREF(int, int)>& pixel)
{
    WriteBytes(path, BmpBytes(width, height, pixel));
}

namespace {
void SendMouse(DWORD flags, LONG x = 0, LONG y = 0)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}
}  // namespace

void MouseMoveTo(HWND hWnd, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(hWnd, &p);
    const int sx = GetSystemMetrics(SM_CXSCREEN) - 1, sy = GetSystemMetrics(SM_CYSCREEN) - 1;
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (p.x * 65535 + sx / 2) / sx, (p.y * 65535 + sy / 2) / sy);
    SetCursorPos(p.x, p.y);
}

void MouseLeftDown() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
void MouseLeftUp() { SendMouse(MOUSEEVENTF_LEFTUP); }

bool ClickItem(HWND item, int x, int y, const std::function<bool()>& done)
{
    MouseMoveTo(item, x, y);
    PumpFor(30);
    MouseLeftDown();
    MouseLeftUp();
    if (done) return PumpUntil(done, 10000);
    PumpFor(60);
    return true;
}

fs::path SampleSkinDir() { return FixtureDir("TW_SKIN_DIR"); }

std::wstring FontFace(HWND hWnd)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hWnd, WM_GETFONT, 0, 0));
    LOGFONTW lf = {};
    if (font == nullptr || GetObjectW(font, sizeof lf, &lf) == 0) return L"";
    return lf.lfFaceName;
}

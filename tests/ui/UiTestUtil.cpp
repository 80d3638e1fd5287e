#include "UiTestUtil.h"

#include <vector>

#include "ui/GdiHandle.h"

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

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

COLORREF ClientPixel(HWND hWnd, int x, int y) { return GetPixel(UI::CWindowDc(hWnd).Get(), x, y); }

bool WaitForPixel(HWND hWnd, int x, int y, COLORREF colour, DWORD timeoutMs)
{
    return PumpUntil([&] { return ClientPixel(hWnd, x, y) == colour; }, timeoutMs);
}

void WriteBmp(const fs::path& path, int width, int height, const std::function<COLORREF(int, int)>& pixel)
{
    const int stride = (width * 3 + 3) & ~3;
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER file = {0x4D42, offset + stride * height, 0, 0, offset};
    const BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.resize(offset + static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixel(x, y);
            auto* p = reinterpret_cast<unsigned char*>(&bytes[offset + static_cast<size_t>(height - 1 - y) * stride + x * 3]);
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
        }
    WriteBytes(path, bytes);
}

namespace {
void SendMouse(DWORD flags, LONG x = 0, LONG y = 0)
{
    INPUT input = {INPUT_MOUSE, {{x, y, 0, flags, 0, 0}}};
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

bool ClickControl(HWND dialog, int id, const std::function<bool()>& done, bool centre)
{
    HWND item = GetDlgItem(dialog, id);
    RECT r;
    GetClientRect(item, &r);
    MouseMoveTo(item, centre ? r.right / 2 : 8, r.bottom / 2);
    PumpFor(30);
    MouseLeftDown();
    MouseLeftUp();
    if (done) return PumpUntil(done, 10000);
    PumpFor(60);
    return true;
}

void ShowAt(HWND hWnd, int x, int y)
{
    SetWindowPos(hWnd, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(hWnd);
    PumpFor(0);  // what is queued; tests then wait for what they look at
    RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::vector<LONG> ChildBounds(HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool HasVisibleStyle(HWND hWnd) { return (GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_VISIBLE) != 0; }

int InWindowRegion(HWND hWnd, int x, int y)
{
    UI::CGdiRegion rgn(CreateRectRgn(0, 0, 0, 0));
    return GetWindowRgn(hWnd, rgn.Get()) == ERROR ? -1 : PtInRegion(rgn.Get(), x, y) != 0;
}

std::wstring ModulePath()
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    return module;
}

fs::path SampleSkinDir() { return FixtureDir("TW_SKIN_DIR"); }

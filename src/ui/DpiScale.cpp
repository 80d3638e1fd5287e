#include "DpiScale.h"

#include <algorithm>

#include "GdiHandle.h"

namespace UI {

namespace {

template <class F>
F UserFunction(const char* name)
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

}  // namespace

void DeclareDpiAware()
{
    // Windows 10 1703 and later know per-monitor v2; 8.1 only the older kind.
    typedef BOOL(WINAPI * SetContext)(HANDLE);
    if (SetContext set = UserFunction<SetContext>("SetProcessDpiAwarenessContext")) {
        if (set(reinterpret_cast<HANDLE>(-4)) || set(reinterpret_cast<HANDLE>(-3))) return;
        if (GetLastError() == ERROR_ACCESS_DENIED) return;  // the manifest already said so
    }
    typedef BOOL(WINAPI * SetAware)();
    if (SetAware set = UserFunction<SetAware>("SetProcessDPIAware")) set();
}

int ClampDpi(int dpi) { return std::max<int>(BASE_DPI, std::min(dpi, 5 * BASE_DPI)); }

int WindowDpi(HWND hWnd)
{
    typedef UINT(WINAPI * GetForWindow)(HWND);
    static const GetForWindow forWindow = UserFunction<GetForWindow>("GetDpiForWindow");
    int dpi = hWnd && forWindow ? static_cast<int>(forWindow(hWnd)) : 0;
    if (dpi <= 0) {
        const CWindowDc screen(nullptr);
        dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : BASE_DPI;
    }
    return ClampDpi(dpi);
}

std::wstring SkinVariant(const std::wstring& path, int dpi, int* variantDpi)
{
    *variantDpi = BASE_DPI;
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    const size_t stem = dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? path.size() : dot;
    for (const int percent : {200, 150}) {
        const int made = BASE_DPI * percent / 100;
        if (dpi < made) continue;
        const std::wstring candidate = path.substr(0, stem) + L"@" + std::to_wstring(percent) + path.substr(stem);
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            *variantDpi = made;
            return candidate;
        }
    }
    return path;
}

}  // namespace UI

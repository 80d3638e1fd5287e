#include "SystemError.h"

std::wstring SystemErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    // WinINet's codes (12000 and up) have their texts in its own module.
    const HMODULE wininet = error >= 12000 && error < 13000 ? GetModuleHandleW(L"wininet.dll") : nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                        (wininet ? FORMAT_MESSAGE_FROM_HMODULE : 0);
    const DWORD n = FormatMessageW(flags, wininet, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = n > 0 && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' ' || out.back() == L'.'))
        out.pop_back();
    const std::wstring code = L"error " + std::to_wstring(error);
    return out.empty() ? code : out + L" (" + code + L")";
}

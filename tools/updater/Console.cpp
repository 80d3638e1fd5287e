#include "Console.h"

#include <io.h>
#include <windows.h>

#include <cmath>
#include <cstdio>

#include "base/utility/StrConv.h"

namespace {

bool g_progressShown = false;

// A console takes UTF-16 (whatever its code page); a pipe or file UTF-8.
void Write(FILE* stream, DWORD handle, const std::wstring& text)
{
    std::fflush(stream);
    HANDLE h = GetStdHandle(handle);
    DWORD mode = 0, written = 0;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fputs(Base::Utility::WideToUtf8(text).c_str(), stream);
    std::fflush(stream);
}

}  // namespace

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void PrintLine(const std::wstring& text)
{
    EndProgress();
    Write(stdout, STD_OUTPUT_HANDLE, text + L"\n");
}

void PrintError(const std::wstring& text)
{
    EndProgress();
    Write(stderr, STD_ERROR_HANDLE, L"updater: " + text + L"\n");
}

void PrintProgress(const std::wstring& text)
{
    if (!StdoutIsTerminal()) return;
    // Ten lines a second are enough to watch; every write costs a system call.
    static DWORD s_last = 0;
    const DWORD now = GetTickCount();
    if (g_progressShown && now - s_last < 100) return;
    s_last = now;
    Write(stdout, STD_OUTPUT_HANDLE, L"\r" + text + L"\x1b[K");
    g_progressShown = true;
}

void EndProgress()
{
    if (!g_progressShown) return;
    Write(stdout, STD_OUTPUT_HANDLE, L"\n");
    g_progressShown = false;
}

std::wstring Percent(float fraction)
{
    wchar_t text[32];
    _snwprintf(text, 31, L"%5.1f %%", fraction * 100.0);
    text[31] = 0;
    return text;
}

void PrintFraction(float fraction) { PrintFractionOf(L"", fraction); }

void PrintFractionOf(const std::wstring& label, float fraction)
{
    if (StdoutIsTerminal()) {
        PrintProgress(label + Percent(fraction));
        return;
    }
    // Logs and scripts get a line at each 5 % and at each new file (the
    // figure starting over), not a line per read.
    static int s_step = -1;
    static float s_last = 0.0f;
    const int step = static_cast<int>(std::floor(fraction * 20.0f + 1e-4f));
    if (fraction < s_last || s_step < 0 || step > s_step) {
        s_step = step;
        PrintLine(label + Percent(fraction));
    }
    s_last = fraction;
}

std::wstring WithoutLineEnd(const wchar_t* text)
{
    std::wstring line = text ? text : L"";
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return line;
}

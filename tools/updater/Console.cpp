#include "Console.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

#include "base/utility/StrConv.h"

namespace {
bool g_progressShown = false;
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void PrintLine(const std::wstring& text)
{
    EndProgress();
    std::fputs(Base::Utility::WideToUtf8(text).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintError(const std::wstring& text)
{
    EndProgress();
    std::fputs(("updater: " + Base::Utility::WideToUtf8(text) + "\n").c_str(), stderr);
    std::fflush(stderr);
}

void PrintProgress(const std::wstring& text)
{
    if (!StdoutIsTerminal()) return;
    // Ten lines a second are enough to watch; every write costs a system call.
    static DWORD s_last = 0;
    const DWORD now = GetTickCount();
    if (g_progressShown && now - s_last < 100) return;
    s_last = now;
    std::fputs(("\r" + Base::Utility::WideToUtf8(text) + "\x1b[K").c_str(), stdout);
    std::fflush(stdout);
    g_progressShown = true;
}

void EndProgress()
{
    if (!g_progressShown) return;
    std::fputc('\n', stdout);
    g_progressShown = false;
}

std::wstring Percent(float fraction)
{
    wchar_t text[32];
    _snwprintf(text, 31, L"%5.1f %%", fraction * 100.0);
    text[31] = 0;
    return text;
}

void PrintFraction(float fraction) { PrintProgress(Percent(fraction)); }

std::wstring WithoutLineEnd(const wchar_t* text)
{
    std::wstring line = text ? text : L"";
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return line;
}

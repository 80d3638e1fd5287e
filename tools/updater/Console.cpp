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

#include "Console.h"

#include <io.h>
#include <windows.h>

#include <cmath>
#include <cstdio>

#include "base/utility/StrConv.h"

namespace {

bool g_progressShown = false;
bool g_json = false;
std::wstring g_exitMessage, g_exitCause;

std::string JsonString(const std::wstring& text)
{
    std::string out = "\"";
    for (char c : Base::Utility::WideToUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void JsonLine(const std::string& fields)
{
    std::fputs(("{" + fields + "}\n").c_str(), stdout);
    std::fflush(stdout);
}

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
    if (g_json) return JsonLine("\"event\":\"line\",\"text\":" + JsonString(text));
    EndProgress();
    Write(stdout, STD_OUTPUT_HANDLE, text + L"\n");
}

void PrintError(const std::wstring& text)
{
    if (g_json) return JsonLine("\"event\":\"message\",\"level\":\"error\",\"text\":" + JsonString(text));
    EndProgress();
    Write(stderr, STD_ERROR_HANDLE, L"updater: " + text + L"\n");
}

void PrintProgress(const std::wstring& text)
{
    if (g_json || !StdoutIsTerminal()) return;
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
    if (StdoutIsTerminal() && !g_json) {
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
        if (g_json) {
            std::wstring what = label;
            while (!what.empty() && what.back() == L' ') what.pop_back();
            char number[32];
            std::snprintf(number, sizeof number, "%.3f", fraction);
            JsonLine("\"event\":\"progress\",\"what\":" + JsonString(what) + ",\"fraction\":" + number);
        } else {
            PrintLine(label + Percent(fraction));
        }
    }
    s_last = fraction;
}

std::wstring WithoutLineEnd(const wchar_t* text)
{
    std::wstring line = text ? text : L"";
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return line;
}

void SetJsonOutput(bool on) { g_json = on; }
bool JsonOutput() { return g_json; }
void SetExitMessage(const std::wstring& message) { g_exitMessage = message; }
void SetExitCause(const std::wstring& cause) { g_exitCause = cause; }

void PrintStep(const std::wstring& from, const std::wstring& to)
{
    if (g_json) return JsonLine("\"event\":\"step\",\"from\":" + JsonString(from) + ",\"to\":" + JsonString(to));
    PrintLine(L"installed " + from + L" -> " + to);
}

void PrintRoute(const std::wstring& route)
{
    const size_t colon = route.find(L':');
    const std::wstring way = colon == std::wstring::npos ? route : route.substr(0, colon);
    if (g_json) return JsonLine("\"event\":\"route\",\"way\":" + JsonString(way) + ",\"why\":" + JsonString(route));
    PrintLine(L"route: " + route);
}

void PrintFile(const std::wstring& state, const std::wstring& path)
{
    if (g_json) return JsonLine("\"event\":\"file\",\"state\":" + JsonString(state) + ",\"path\":" + JsonString(path));
    PrintLine(state + L": " + path);
}

void PrintCheck(std::size_t files, std::size_t missing, std::size_t damaged, std::size_t unexpected, unsigned restored,
                std::uint64_t fetchedBytes)
{
    if (g_json)
        return JsonLine("\"event\":\"verify\",\"files\":" + std::to_string(files) + ",\"missing\":" +
                        std::to_string(missing) + ",\"damaged\":" + std::to_string(damaged) + ",\"unexpected\":" +
                        std::to_string(unexpected) + ",\"restored\":" + std::to_string(restored) +
                        ",\"fetched_bytes\":" + std::to_string(fetchedBytes));
    PrintLine(std::to_wstring(files) + L" files checked: " + std::to_wstring(missing) + L" missing, " +
              std::to_wstring(damaged) + L" damaged, " + std::to_wstring(unexpected) + L" unexpected" +
              (restored ? L"; " + std::to_wstring(restored) + L" restored with " + std::to_wstring(fetchedBytes) +
                              L" bytes fetched"
                        : L""));
}

void PrintResult(int code)
{
    if (!g_json) return;
    JsonLine("\"event\":\"result\",\"exit\":" + std::to_string(code) + ",\"message\":" + JsonString(g_exitMessage) +
             ",\"cause\":" + JsonString(g_exitCause));
}

// The sample client's game program: it records how it was started (the
// arguments after its name and its working directory) in game-run.txt
// beside itself, UTF-8, one line each, and ends.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    std::string out(4 * wcslen(text) + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) - 1 : 0);  // without the terminating zero
    return out;
}

}  // namespace

int wmain()
{
    // The arguments: what follows the program's name, quoted or not.
    const wchar_t* p = GetCommandLineW();
    const bool quoted = *p == L'"';
    for (p += quoted; *p && *p != (quoted ? L'"' : L' '); ++p) {
    }
    if (quoted && *p) ++p;
    if (*p == L' ') ++p;  // the one blank that separates the arguments
    wchar_t cwd[MAX_PATH] = L"", self[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, cwd);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring record = self;
    record = record.substr(0, record.rfind(L'\\') + 1) + L"game-run.txt";
    const std::string text = "args=" + Utf8(p) + "\ncwd=" + Utf8(cwd) + "\n";
    HANDLE h = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return 0;
}

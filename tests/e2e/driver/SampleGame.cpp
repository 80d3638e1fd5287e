// The sample client's game program: it records how it was started (the
// arguments after its name and its working directory) in game-run.txt
// beside itself, UTF-8, one line each, and ends.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain()
{
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != L' ') ++p;
    }
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

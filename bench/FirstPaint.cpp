// Process start to the first paint of the main window: the launcher
// against a minimal Win32 window program, each started the same way in the
// same run, alternately. Each program writes the time of its first paint
// (a FILETIME in 100 ns units) into the file that TIDEWELL_FIRST_PAINT names.
//
//   first_paint_bench.exe ROUNDS LAUNCHER_DIR
//   first_paint_bench.exe --window     (the minimal window program)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

ULONGLONG Now()
{
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void RecordFirstPaint()
{
    static bool done = false;
    if (done) return;
    done = true;
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"TIDEWELL_FIRST_PAINT", path, MAX_PATH)) return;
    const std::string text = std::to_string(Now());
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

LRESULT CALLBACK MinimalProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        TextOutW(ps.hdc, 10, 10, L"minimal", 7);
        EndPaint(hWnd, &ps);
        RecordFirstPaint();
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

int MinimalWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MinimalProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"FirstPaintMinimal";
    RegisterClassW(&wc);
    HWND hWnd = CreateWindowW(wc.lpszClassName, L"minimal", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                              nullptr, nullptr, wc.hInstance, nullptr);
    if (!hWnd) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

// Milliseconds from CreateProcess to the recorded first paint; -1 on failure.
double StartToFirstPaint(std::wstring commandLine, const wchar_t* dir, const std::wstring& record)
{
    DeleteFileW(record.c_str());
    SetEnvironmentVariableW(L"TIDEWELL_FIRST_PAINT", record.c_str());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const ULONGLONG start = Now();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &pi)) return -1;
    double ms = -1;
    for (int i = 0; i < 6000; ++i) {  // 30 s at most
        HANDLE h = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            char text[32] = {};
            DWORD got = 0;
            ReadFile(h, text, sizeof text - 1, &got, nullptr);
            CloseHandle(h);
            if (got > 0) {
                ms = (std::strtoull(text, nullptr, 10) - start) / 10000.0;
                break;
            }
        }
        if (WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0) break;  // ended without painting
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ms;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && wcscmp(argv[1], L"--window") == 0) return MinimalWindow();
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: first_paint_bench ROUNDS LAUNCHER_DIR\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    const std::wstring dir = argv[2];
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring record = std::wstring(temp) + L"tw_first_paint.txt";
    std::vector<double> launcher, minimal;
    for (int i = 0; i < rounds; ++i) {
        const double a = StartToFirstPaint(L"\"" + dir + L"\\launcher.exe\"", dir.c_str(), record);
        const double b = StartToFirstPaint(L"\"" + std::wstring(self) + L"\" --window", dir.c_str(), record);
        if (a < 0 || b < 0) {
            std::fwprintf(stderr, L"round %d: no first paint (launcher %.1f, minimal %.1f)\n", i + 1, a, b);
            return 1;
        }
        launcher.push_back(a);
        minimal.push_back(b);
    }
    const double l = Median(launcher), m = Median(minimal);
    std::wprintf(L"start to first paint, median of %d: launcher %.1f ms, minimal window %.1f ms, ratio %.2f (goal <= 1.5)\n",
                 rounds, l, m, m > 0 ? l / m : 0.0);
    return 0;
}

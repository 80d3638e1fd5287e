// Real launcher.exe processes in an installation of their own: one instance
// at a time, an identical launcher.exe.new dropped, the first start's
// dialogs. (A second launcher.exe waking the first and a different
// launcher.exe.new taking over are whole runs in tests/e2e.)
#include <gtest/gtest.h>
#include <windows.h>

#include "TestUtil.h"
#include "../ui/UiTestUtil.h"
#include "app/PatchApp.h"

namespace {

const DWORD kWaitMs = 30000;

// A path of the build machine, seen by Wine as drive Z:.
const fs::path kLauncherExe = fs::path("Z:" LAUNCHER_PATH).make_preferred();

// A program started in its own directory; ended at the latest with the test.
struct Process {
    HANDLE h = nullptr;
    DWORD id = 0;
    explicit Process(const fs::path& exe)
    {
        std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        EXPECT_TRUE(CreateProcessW(exe.wstring().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   exe.parent_path().wstring().c_str(), &startup, &info));
        CloseHandle(info.hThread);
        h = info.hProcess;
        id = info.dwProcessId;
    }
    ~Process()
    {
        if (h && WaitForSingleObject(h, 0) == WAIT_TIMEOUT) TerminateProcess(h, 1);
        if (h) CloseHandle(h);
    }
    DWORD ExitCode()
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(h, kWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(h, &code);
        return code;
    }
};

// What another process does shows only in its files and windows, so tests
// look at them again and again within the bound.
bool FileHolds(const fs::path& path, const std::string& text)
{
    return PumpUntil([&] { return ReadBytes(path).find(text) != std::string::npos; }, kWaitMs);
}

struct WindowSearch { DWORD pid; int id; HWND found; };

BOOL CALLBACK FindVisible(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid != search->pid || !IsWindowVisible(hWnd)) return TRUE;
    if (search->id ? GetDlgItem(hWnd, search->id) == nullptr : GetWindow(hWnd, GW_OWNER) != nullptr) return TRUE;
    search->found = hWnd;
    return FALSE;
}

// A visible window of the process: the dialog holding control id, or with
// id 0 the top-level window once it waits for the player. Null when the
// process ends first.
HWND WindowOf(const Process& p, int id = 0)
{
    if (id == 0) WaitForInputIdle(p.h, kWaitMs);
    WindowSearch search = {p.id, id, nullptr};
    PumpUntil([&] {
        EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr || WaitForSingleObject(p.h, 0) == WAIT_OBJECT_0;
    }, kWaitMs);
    return search.found;
}

// An installation with a copy of the launcher; the test writes its skin.
struct Installation {
    ScopedTestDir dir;
    fs::path exe = dir.Path() / "launcher.exe";
    Installation()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kPatchFileKey);  // or it would name another installation
        fs::create_directories(dir.Path() / "PatchCfg");
        fs::copy_file(kLauncherExe, exe);
        // A new launcher that waits for the old one to let go of its file
        // answers the question that would follow with Retry.
        SetEnvironmentVariableW(L"TIDEWELL_MESSAGEBOX", L"retry");
    }
    ~Installation() { SetEnvironmentVariableW(L"TIDEWELL_MESSAGEBOX", nullptr); }
};

void CloseLauncher(Process& p, HWND hWnd)
{
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.ExitCode(), 0u);
}

}  // namespace

// A first start drops an identical launcher.exe.new, asks for the line, and
// button 4 opens the settings. Under the game's own name a second launcher
// then waits and ends quietly, leaving the first as it is.
TEST(LauncherProcessTest, AFirstStartAsksForTheLineButtonFourOpensTheSettingsASecondEndsQuietly)
{
    Installation inst;
    fs::copy_file(inst.exe, inst.dir.Path() / "launcher.exe.new");
    // No line yet; button 4 shown so that the player can reach the settings.
    std::string buttons;
    for (int i = 0; i < 5; ++i) buttons += i == 4 ? "<btn name=\"settings\" filepath=\"b.bmp\" rect=\"10, 10, 20, 20\"/>" : "<btn/>";
    WriteBmp(inst.dir.Path() / "b.bmp", 80, 20, [](int, int) { return RGB(0x60, 0x60, 0x60); });
    const fs::path skin = inst.dir.Path() / "PatchCfg" / "NewLauncherCfg.xml";
    WriteBytes(skin, "<root><window caption=\"Launcher under test\"/><Normalbutton>" + buttons +
                         "</Normalbutton><usersettings><netsettings bigarea=\"1\"/></usersettings>"
                         "<NetworkUI/></root>");
    fs::create_directories(inst.dir.Path() / "PlayerCfg");
    const fs::path engineSet = inst.dir.Path() / "PlayerCfg" / "EngineSet.xml";
    WriteBytes(engineSet, "<EngineSetting><GlobleSetting GraphicLevel=\"2\" Mute=\"1\"/></EngineSetting>");

    Process launcher(inst.exe);
    const HWND line = WindowOf(launcher, 1001);  // Telecom
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(fs::exists(inst.dir.Path() / "launcher.exe.new"));
    SendMessageW(GetDlgItem(line, 1002), BM_CLICK, 0, 0);  // Unicom
    SendMessageW(GetDlgItem(line, 1000), BM_CLICK, 0, 0);  // confirm
    EXPECT_TRUE(FileHolds(skin, "nettype=\"unicom\""));

    const HWND main = WindowOf(launcher, 1035);
    ASSERT_NE(main, nullptr);
    PostMessageW(GetDlgItem(main, 1035), BM_CLICK, 0, 0);  // the settings dialog is modal: do not wait here
    const HWND settings = WindowOf(launcher, 1041);      // the resolution list
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(settings, 1038), BM_GETCHECK, 0, 0), BST_CHECKED);  // level 2
    SendMessageW(GetDlgItem(settings, 1036), BM_CLICK, 0, 0);                            // level 0
    SendMessageW(GetDlgItem(settings, 1000), BM_CLICK, 0, 0);                            // OK: saved, still open
    EXPECT_TRUE(FileHolds(engineSet, "GraphicLevel=\"0\""));
    SendMessageW(GetDlgItem(settings, 1034), BM_CLICK, 0, 0);  // Close
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(settings); }, kWaitMs));

    const HWND hWnd = WindowOf(launcher);
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(hWnd));
    fs::copy_file(inst.exe, inst.dir.Path() / "TIDEWELL.exe");
    Process second(inst.dir.Path() / "TIDEWELL.exe");
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(IsIconic(hWnd));
    EXPECT_EQ(WaitForSingleObject(launcher.h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseLauncher(launcher, hWnd);
}

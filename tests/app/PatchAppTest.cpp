// Start-up of the launcher, step by step in this process: the command line,
// the channel, the registry, the self-update.
#include <gtest/gtest.h>
#include <windows.h>

#include "../ui/UiTestUtil.h"
#include "app/PatchApp.h"
#include "base/utility/MessageBox.h"
#include "transfer/InstallJournal.h"
#include "transfer/Md5.h"
#include "update/UpdateEngine.h"

namespace {

std::wstring DirOf(const ScopedTestDir& dir) { return dir.Path().wstring() + L"\\"; }

struct RegistryClean {
    RegistryClean() { RegDeleteTreeW(HKEY_CURRENT_USER, kPatchFileKey); }
    ~RegistryClean() { RegDeleteTreeW(HKEY_CURRENT_USER, kPatchFileKey); }
};

std::wstring DefaultValue(const std::wstring& key)
{
    wchar_t value[600] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

}  // namespace

TEST(PatchAppTest, CommandLineArgumentsNameTheTestServerAndThePackage)
{
    const struct { std::vector<std::wstring> args; bool manual; const wchar_t* patchFile; int testServer; } cases[] = {
        {{L"C:\\Game\\launcher.exe"}, false, L"", 0},
        {{L"C:\\Game\\Launcher.EXE", L"-TS"}, false, L"", 1},
        {{L"C:\\Game\\launcher.exe", L"-ts"}, false, L"", 0},
        {{L"C:\\Game\\launcher.exe", L"D:\\Down\\Patch.KORVALEN"}, true, L"d:\\down\\patch.korvalen", 0},
        {{L"C:\\Game\\launcher.exe", L"open:c:\\dl\\p.korvalen"}, true, L"c:\\dl\\p.korvalen", 0},
        {{L"C:\\Game\\launcher.exe", L":p.korvalen"}, true, L":p.korvalen", 0},
        {{L"C:\\Game\\launcher.exe", L"p.korvalen"}, true, L"p.korvalen", 0},
        // Under another name the program itself counts as a package.
        {{L"C:\\Game\\Other.exe"}, true, L"c:\\game\\other.exe", 0},
        {{L"C:\\Game\\brq.exe", L"E:\\x\\Patch.exe"}, true, L"e:\\x\\patch.exe", 0},
        {{L"C:\\Game\\launcherd.exe", L"C:\\Game\\launcher.exe.new"}, false, L"", 0},
        // A later flag does not take the package's place.
        {{L"C:\\Game\\launcher.exe", L"D:\\p.korvalen", L"-TS"}, true, L"d:\\p.korvalen", 1},
        {{L"C:\\Game\\launcher.exe", L"D:\\a.korvalen", L"D:\\b.korvalen"}, true, L"d:\\b.korvalen", 0},
    };
    for (const auto& c : cases) {
        g_bTestServer = 0;
        CPatchApp app;
        app.EvaluateArguments(c.args);
        EXPECT_EQ(std::make_tuple(app.m_bManualPatch, app.m_strPatchFile, g_bTestServer),
                  std::make_tuple(c.manual, c.patchFile, c.testServer)) << c.args.back();
    }
    g_bTestServer = 0;
}

TEST(PatchAppTest, TheChannelChoosesTheSkinFile)
{
    const struct { const char* channelXml; const wchar_t* channel; const char* skinName; } cases[] = {  // null: no file
        {nullptr, L"", "NewLauncherCfg.xml"},
        {"<root><channel name=\"abc\"/></root>", L"abc", "NewLauncherCfg_abc.xml"},
        {"<root><channel/></root>", L"", "NewLauncherCfg.xml"},
        {"<root><other name=\"x\"/><channel name=\"x2\"/></root>", L"x2", "NewLauncherCfg_x2.xml"},
        {"<channel name=\"abc\"/>", L"", "NewLauncherCfg.xml"},
        {"<root><channel name=\"abc\"/>", L"", "NewLauncherCfg.xml"},  // broken
        // A name that would lead elsewhere, where the skin is also written.
        {"<root><channel name=\"..\\..\\Windows\\x\"/></root>", L"", "NewLauncherCfg.xml"},
        {"<root><channel name=\"a/b\"/></root>", L"", "NewLauncherCfg.xml"},
        {"<root><channel name=\"c:x\"/></root>", L"", "NewLauncherCfg.xml"},
    };
    for (const auto& c : cases) {
        ScopedTestDir dir;
        fs::create_directories(dir.Path() / "PatchCfg");
        if (c.channelXml) WriteBytes(dir.Path() / "PatchCfg" / "channel.xml", c.channelXml);
        CPatchApp app;
        app.m_strAppDir = DirOf(dir);
        app.ReadChannel();
        EXPECT_EQ(app.m_strChannel, c.channel);
        EXPECT_EQ(app.SkinFilePath(), (dir.Path() / "PatchCfg" / c.skinName).string());
    }
}

TEST(PatchAppTest, TheOwnFolderIsTheInstallationElseTheRegisteredOneWhenItHoldsPatchCfg)
{
    RegistryClean clean;
    ScopedTestDir dir;
    const std::wstring modulePath = ModulePath();
    const std::wstring moduleDir = modulePath.substr(0, modulePath.rfind(L'\\') + 1);
    // Registered from the installation as the current directory.
    ASSERT_TRUE(CPatchApp().RegisterPatchFileType());
    EXPECT_EQ(DefaultValue(std::wstring(kPatchFileKey) + L"\\DefaultIcon"), modulePath + L",1");
    EXPECT_EQ(DefaultValue(kPatchFileCommandKey), dir.Path().wstring());
    // What a launcher started now takes: registered or not, its folder, its program.
    auto found = [] {
        CPatchApp app;
        return std::make_tuple(app.m_bRegistered, app.m_strAppDir, app.m_strExePath);
    };
    // Without PatchCfg the registered directory is no installation.
    EXPECT_EQ(found(), std::make_tuple(false, moduleDir, modulePath));
    fs::create_directories(dir.Path() / "PatchCfg");
    EXPECT_EQ(found(), std::make_tuple(true, DirOf(dir), DirOf(dir) + modulePath.substr(moduleDir.size())));
    // A launcher that stands in an installation of its own updates that one,
    // and the first installation's registration stays.
    const fs::path own = fs::path(moduleDir) / "PatchCfg";
    ASSERT_FALSE(fs::exists(own));
    fs::create_directories(own);
    EXPECT_EQ(found(), std::make_tuple(true, moduleDir, modulePath));
    EXPECT_EQ(DefaultValue(kPatchFileCommandKey), dir.Path().wstring());
    fs::remove(own);
}

namespace {
std::vector<std::wstring> g_boxes;
int CancelBox(HWND, const wchar_t* text, const wchar_t*, UINT) { g_boxes.push_back(text); return IDCANCEL; }

// The launcher running under exeName in a fresh installation; boxes cancelled.
struct UpdateOnStart : ::testing::Test {
    MessageBoxHook previous = SetMessageBoxHook(&CancelBox);
    UpdateOnStart() { g_boxes.clear(); }
    ~UpdateOnStart() override { SetMessageBoxHook(previous); }
    ScopedTestDir dir;
    CPatchApp app;
    void RunningAs(const wchar_t* exeName)
    {
        app.m_strAppDir = DirOf(dir);
        app.m_strExeName = exeName;
        app.m_strExePath = DirOf(dir) + exeName;
    }
};
}  // namespace

TEST_F(UpdateOnStart, SelfUpdateOfTheRegularLauncher)
{
    RunningAs(L"Launcher.exe");
    WriteBytes("launcher.exe", "MZ running");
    WriteBytes("launcher.exe.cpy", "old copy");
    WriteBytes("VersionInfo.xml", "<x/>");
    SetFileAttributesW(L"launcher.exe.cpy", FILE_ATTRIBUTE_READONLY);
    // An installation cut short is undone before the new launcher is seen.
    {
        CInstallJournal journal(DirOf(dir));
        ASSERT_TRUE(journal.Begin());
        ASSERT_TRUE(journal.MoveAside(L"launcher.exe.new", Md5HexOf("MZ delivered")));
        WriteBytes("launcher.exe.new", "MZ delivered");
    }  // never committed
    app.RecoverInstallation();
    EXPECT_FALSE(fs::exists("launcher.exe.new"));

    EXPECT_TRUE(app.UpdateSelf());  // no new file
    EXPECT_EQ(app.m_strExeName, L"launcher.exe");
    EXPECT_FALSE(fs::exists("launcher.exe.cpy") || fs::exists("VersionInfo.xml"));

    WriteBytes("launcher.exe.new", "MZ running");
    SetFileAttributesW(L"launcher.exe.new", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(app.UpdateSelf());  // identical: dropped
    EXPECT_FALSE(fs::exists("launcher.exe.new"));

    // A different file that cannot run: said so, and start-up ends.
    WriteBytes("launcher.exe.new", "not a program");
    EXPECT_FALSE(app.UpdateSelf());
    EXPECT_EQ(g_boxes, std::vector<std::wstring>{L"启动launcher.exe.new失败，请手动将其更名为launcher.exe再重试"});
    EXPECT_TRUE(fs::exists("launcher.exe.new"));
    EXPECT_EQ(ReadBytes("launcher.exe"), "MZ running");
}

TEST_F(UpdateOnStart, ANewLauncherTakesTheRegularName)
{
    RunningAs(L"launcher.exe.new");
    WriteBytes("launcher.exe.new", "MZ newer");
    WriteBytes("launcher.exe", "MZ older");
    SetFileAttributesW(L"launcher.exe", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(app.UpdateSelf());
    EXPECT_EQ(ReadBytes("launcher.exe"), "MZ newer");
    EXPECT_TRUE(g_boxes.empty());

    // The target held open without sharing: three quiet tries, then the
    // player is asked; Cancel ends start-up.
    HANDLE held = CreateFileW(L"launcher.exe", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(app.UpdateSelf());
    CloseHandle(held);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].find(L"引导程序无法删除" + DirOf(dir) + L"launcher.exe"), std::wstring::npos);
}

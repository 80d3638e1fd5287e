// Whole update runs of the engine against a real HTTP server, with a real
// (message-only) window that records what the engine sends it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <fstream>
#include <set>

#include "Commands.h"
#include "EngineTestUtil.h"
#include "Fixtures.h"
#include "MessageBoxRecorder.h"
#include "RecordingWindow.h"
#include "ZipWriter.h"
#include "base/utility/StringTable.h"
#include "update/Messages.h"
#include "update/UpdateEngine.h"

namespace {

typedef std::map<std::string, std::string> Tree;

const Tree kV100 = {{"Binaries/Game.exe", "MZ 100"}, {"DATA.dat", "data"}, {"Data/a.pak", "a100"}, {"Data/b.pak", "b"}};
const Tree kV200 = {{"Binaries/Game.exe", "MZ 200"}, {"DATA.dat", "data"}, {"Data/a.pak", "a200"}, {"Data/c.pak", "c"}};
const Tree kV300 = {{"Binaries/Game.exe", "MZ 300"}, {"DATA.dat", "data"}, {"Data/a.pak", "a300"}, {"Data/c.pak", "c3"}};

std::string Cfg(const std::string& cur, const std::vector<std::string>& urls)
{
    std::string list;
    for (const std::string& u : urls) list += "<UpdateInfoURL>" + u + "</UpdateInfoURL>";
    return "<?xml version=\"1.0\"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>" + cur +
           "</CurVersion><ClientVer>" + cur + "</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>"
           "<ManualUpdateURL NormalURL=\"\"/><InternetUpdate>" + list + "</InternetUpdate></Root>\n";
}

int Tool(int (*run)(int, char**), std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    return run(static_cast<int>(argv.size()), argv.data());
}

void WriteTree(const fs::path& base, const Tree& tree)
{
    for (const auto& f : tree) WriteBytes(base / f.first, f.second);
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The game's files by lower-cased path (Windows names ignore case).
Tree GameFiles()
{
    Tree t;
    for (auto it = fs::recursive_directory_iterator("."); it != fs::end(it); ++it) {
        const std::string rel = Lower(fs::relative(it->path(), ".").generic_string());
        if (it->is_regular_file() && rel.rfind("patchcfg/", 0) != 0 && rel != "data/string.txt")
            t[rel] = ReadBytes(it->path());
    }
    return t;
}

Tree Lowered(const Tree& tree)
{
    Tree t;
    for (const auto& f : tree) t[Lower(f.first)] = f.second;
    return t;
}

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ListenerTexts().clear();
        RecordedMessageBoxes().clear();
        g_bTestServer = 0;
        name = "run" + std::to_string(GetTickCount()) + "-" + std::to_string(++s_counter);
        www = http.Www() / name;
        base = http.StaticUrl(name + "/");
        WriteStringTable(dir.Path(), {{L"USER_STOPDOWNLOAD_QUIT", L"Stopped by the user"},
                                      {L"AREA_NO_PATCHSERVER", L"No patch server here"},
                                      {L"UNZIP_BASEPACK_END1", L"Base pack 1 installed"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
        // Versions and the packages between them, built by the operator tool.
        const fs::path src = dir.Path() / ".." / (name + "-src");
        WriteTree(src / "v100", kV100);
        WriteTree(src / "v200", kV200);
        WriteTree(src / "v300", kV300);
        for (auto p : {std::make_tuple("v100", "v200", "0000100", "0000200", "up100.exe"),
                       std::make_tuple("v200", "v300", "0000200", "0000300", "up200.exe"),
                       std::make_tuple("v300", "v200", "0000300", "0000200", "down300.exe")})
            ASSERT_EQ(Tool(&RunPack, {"--old", (src / std::get<0>(p)).string(), "--new", (src / std::get<1>(p)).string(),
                                      "--from", std::get<2>(p), "--to", std::get<3>(p), "-o",
                                      (src / std::get<4>(p)).string()}),
                      0);
        packages = src;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(packages, ec);
    }

    // Publishes the update information with the given server lines.
    void Publish(const std::string& serverLines, bool qa = false, const std::string& latest = "0000300")
    {
        const fs::path desc = packages / "publish.txt";
        std::ofstream(desc) << "latest " << latest << "\n"
                            << serverLines << "step 0000100 0000200 upgrade=up100.exe\n"
                            << "step 0000200 0000300 upgrade=up200.exe degrade=down300.exe\n";
        std::vector<std::string> args = {desc.string(), "-o", www.string()};
        if (qa) args.push_back("--qa");
        ASSERT_EQ(Tool(&RunPublish, args), 0);
    }
    std::string Server(const std::string& version = "0000300") const
    {
        return "server url=" + base + " dir=patches/ version=" + version + "\n";
    }

    void Game(const Tree& tree, const std::string& cur, const std::vector<std::string>& urls)
    {
        WriteTree(".", tree);
        WriteBytes("PatchCfg/NewUpdateCfg.xml", Cfg(cur, urls));
    }
    void Init(InfoOutputFunCallback listener = &RecordListenerText)
    {
        ASSERT_TRUE(engine.Initialize(window.Handle(), true, listener, nullptr, nullptr));
    }
    // Handles the engine's messages until the worker of the last start ends.
    void Finish(DWORD timeoutMs = 30000)
    {
        HANDLE worker = engine.WorkerHandle();
        ASSERT_NE(worker, nullptr);
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD elapsed = GetTickCount() - start;
            ASSERT_LT(elapsed, timeoutMs) << "the worker did not end";
            const DWORD r = MsgWaitForMultipleObjects(1, &worker, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            if (r == WAIT_OBJECT_0) return;
        }
    }
    void FetchInfo()
    {
        engine.StartAutopatch();
        Finish();
        ASSERT_TRUE(window.Received(WM_UPDATE_INFO_READY));
    }
    std::vector<std::string> ErrLogs()
    {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator("PatchCfg/PatchTemp"))
            if (e.path().extension() == ".err") out.push_back(e.path().filename().string());
        return out;
    }

    static int s_counter;
    HttpServers http;
    ScopedTestDir dir;
    std::string name, base;
    fs::path www, packages;
    CRecordingWindow window;
    CUpdateEngine engine;
};
int UpdateRunTest::s_counter = 0;

HWND g_listenerWindow = nullptr;
// A window whose status texts arrive as sent messages, as some windows do.
void SendingListener(const wchar_t* text)
{
    RecordListenerText(text);
    if (g_listenerWindow) SendMessageW(g_listenerWindow, WM_USER + 1234, 0, 0);
}

}  // namespace

TEST_F(UpdateRunTest, UpToDateStartsTheGameAndKeepsTheLog)
{
    Publish(Server("0000100"), false, "0000100");
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    EXPECT_EQ(engine.GetLatestVersion(), "0000100");
    engine.StartUpdate(true, 0);
    Finish();
    EXPECT_TRUE(window.Received(WM_START_GAME));
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/Tidewell.log"));
    EXPECT_TRUE(ErrLogs().empty());
    EXPECT_NE(ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log").find(L"Client version is equal to server version"),
              std::wstring::npos);
}

TEST_F(UpdateRunTest, AChainIsClimbedOneStepPerRun)
{
    Publish(Server());
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    // The update information put its files in place.
    EXPECT_TRUE(fs::exists("PatchCfg/NewUpdateInfo.xml"));
    EXPECT_TRUE(fs::exists("PatchCfg/Revision.xml"));
    engine.StartUpdate(true, 0);
    Finish();
    ASSERT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
    EXPECT_EQ(GameFiles(), Lowered(kV200));

    window.Clear();
    engine.initBasic();
    engine.StartUpdate(true, 0);
    Finish();
    ASSERT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000300");
    EXPECT_EQ(GameFiles(), Lowered(kV300));
    EXPECT_FALSE(window.Received(WM_AUTOPATCH_STOP));
}

TEST_F(UpdateRunTest, ALowerServerVersionRollsBack)
{
    Publish(Server("0000200"));
    Game(kV300, "0000300", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    engine.StartUpdate(true, 0);
    Finish();
    ASSERT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
    EXPECT_EQ(GameFiles(), Lowered(kV200));
}

TEST_F(UpdateRunTest, NoLocalVersionStopsTheRun)
{
    Publish(Server());
    Game(kV100, "", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    engine.StartUpdate(true, 0);
    Finish();
    EXPECT_TRUE(window.Received(WM_AUTOPATCH_STOP));
    EXPECT_FALSE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_EQ(ErrLogs().size(), 1u);
}

TEST_F(UpdateRunTest, EveryAddressFailingIsTried16Times)
{
    const std::vector<std::string> urls = {http.FaultUrl("none/" + name + "/a.zip"),
                                           http.FaultUrl("none/" + name + "/b.zip"),
                                           http.FaultUrl("none/" + name + "/c.zip")};
    Game(kV100, "0000100", urls);
    Init();
    engine.StartAutopatch();
    Finish();
    EXPECT_TRUE(window.Received(WM_DOWNLOADED_ALLINFO_ERROR));
    EXPECT_FALSE(window.Received(WM_UPDATE_INFO_READY));
    size_t tries = 0;
    std::multiset<std::string> byUrl;
    for (const std::string& line : http.Requests())
        if (line.find(name) != std::string::npos) {
            ++tries;
            byUrl.insert(line);
        }
    EXPECT_EQ(tries, 16u);
    EXPECT_EQ(byUrl.count("GET /none/" + name + "/a.zip HTTP/1.1"), 6u);
    EXPECT_EQ(ErrLogs().size(), 1u);
}

TEST_F(UpdateRunTest, AnEmptyAddressListEndsSilently)
{
    WriteTree(".", kV100);
    WriteBytes("PatchCfg/NewUpdateCfg.xml",
               "<Root><Version><CurVersion>0000100</CurVersion><DownloadedFileVersion/></Version>"
               "<ManualUpdateURL/><InternetUpdate><UpdateInfoURL/></InternetUpdate></Root>");
    Init();
    engine.m_vecUpdateInfoURL.clear();
    engine.StartAutopatch();
    Finish();
    EXPECT_TRUE(window.Messages().empty());
}

TEST_F(UpdateRunTest, AMissingPackageEndsInReLinkAfterFourAttempts)
{
    Publish(Server());
    fs::remove(www / "patches" / "up100.exe");
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    engine.StartUpdate(true, 0);
    Finish();
    EXPECT_TRUE(window.Received(WM_Download_ERRORReLink));
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
    EXPECT_EQ(GameFiles(), Lowered(kV100));
}

TEST_F(UpdateRunTest, ServerListsThatCannotBeUsed)
{
    // No servers: StartUpdate starts nothing.
    Publish("");
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    EXPECT_EQ(engine.GetPatchServerCount(), 0u);
    HANDLE before = engine.WorkerHandle();
    engine.StartUpdate(true, 0);
    EXPECT_EQ(engine.WorkerHandle(), before);

    // A server without "url": the player is told, nothing starts.
    Publish("server url=x version=0000300\n");
    std::string info = ReadBytes(www / "NewUpdateInfo.xml");
    ASSERT_NE(info.find("url=\"x\""), std::string::npos);
    EXPECT_EQ(engine.ParseUpdateInfoFile((www / "NewUpdateInfo.xml").string().c_str()), 2);
    engine.m_vecPatchServer[0].url.clear();
    engine.StartUpdate(true, 0);
    EXPECT_EQ(engine.WorkerHandle(), before);
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text, L"No patch server here");
    // An index past the list does nothing either.
    engine.StartUpdate(true, 1);
    EXPECT_EQ(engine.WorkerHandle(), before);
}

TEST_F(UpdateRunTest, TestServerModeFetchesTheQaInformation)
{
    Publish(Server(), true);
    EXPECT_FALSE(fs::exists(www / "newupdateinfo.zip"));
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    g_bTestServer = 1;
    engine.StartAutopatch();
    Finish();
    g_bTestServer = 0;
    EXPECT_TRUE(window.Received(WM_UPDATE_INFO_READY));
    EXPECT_EQ(engine.GetLatestVersion(), "0000300");
}

TEST_F(UpdateRunTest, RetrievingTwiceDoesNotRepeatServers)
{
    Publish(Server() + Server("0000200"));
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    FetchInfo();
    window.Clear();
    FetchInfo();
    EXPECT_EQ(engine.GetPatchServerCount(), 2u);
    EXPECT_EQ(engine.m_vecPatchServer[1].Version, "0000200");
}

TEST_F(UpdateRunTest, ManualPackagesInAndOutOfTheirRange)
{
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    Init();
    engine.StartManualPatch((packages / "up200.exe").string());
    Finish();
    EXPECT_TRUE(window.Received(WM_PACK_VERSION_ERROR));
    EXPECT_EQ(GameFiles(), Lowered(kV100));

    window.Clear();
    engine.StartManualPatch((packages / "up100.exe").string());
    Finish();
    EXPECT_TRUE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_EQ(GameFiles(), Lowered(kV200));
    engine.initBasic();
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
}

TEST_F(UpdateRunTest, BasePacksFillAnEmptyInstallation)
{
    fs::create_directories(www);
    for (int k = 1; k <= 2; ++k) {
        CZipWriter zip;
        ASSERT_TRUE(zip.Create((www / ("base" + std::to_string(k) + ".zip")).string()));
        ASSERT_TRUE(zip.AddBytes(k == 1 ? "Binaries/Game.exe" : "DATA.dat", k == 1 ? "MZ base" : "base data"));
        ASSERT_TRUE(zip.AddBytes("Data/shared.pak", "from pack " + std::to_string(k)));
        ASSERT_TRUE(zip.Close());
    }
    WriteBytes("PatchCfg/NewUpdateCfg.xml", Cfg("0000100", {base + "NewUpdateInfo.zip"}));
    WriteBytes("PatchCfg/NewUpdateInfo.xml", "<Root><PatchClientZip1 url=\"" + base + "base1.zip\" filename=\"Base1.zip\"/>"
                                             "<PatchClientZip2 url=\"" + base + "base2.zip\" filename=\"Base2.zip\"/></Root>");
    WriteBytes("Data/shared.pak", "read-only leftover");
    SetFileAttributesW(L"Data\\shared.pak", FILE_ATTRIBUTE_READONLY);
    Init();
    engine.StartDownloadBasePack1();
    Finish();
    ASSERT_TRUE(window.Received(WM_UNZIP_BASEPACK1));
    EXPECT_TRUE(fs::exists("Base1.zip"));
    engine.StartUnzipBasePack1();
    Finish();
    ASSERT_TRUE(window.Received(WM_CHECK_INSTALL));
    EXPECT_FALSE(fs::exists("Base1.zip")) << "deleted after a complete unpack";
    EXPECT_EQ(ReadBytes("binaries/game.exe"), "MZ base");
    EXPECT_NE(std::find(ListenerTexts().begin(), ListenerTexts().end(), L"Base pack 1 installed"), ListenerTexts().end());

    window.Clear();
    engine.StartDownloadBasePack2();
    Finish();
    ASSERT_TRUE(window.Received(WM_UNZIP_BASEPACK2));
    engine.StartUnzipBasePack2();
    Finish();
    ASSERT_TRUE(window.Received(WM_CHECK_INSTALL));
    EXPECT_EQ(ReadBytes("data.dat"), "base data");
    EXPECT_EQ(ReadBytes("data/shared.pak"), "from pack 2");

    // A pack that is not on the server sends nothing.
    window.Clear();
    engine.m_vecBasePackURL[0] = base + "missing.zip";
    engine.StartDownloadBasePack1();
    Finish();
    EXPECT_TRUE(window.Messages().empty());
}

TEST_F(UpdateRunTest, AStopRequestEndsARunningDownload)
{
    // The package comes slowly from the scripted server: 400000 bytes over 3 s.
    fs::create_directories(packages / "slow");
    fs::copy_file(packages / "up100.exe", packages / "slow" / "300");
    const fs::path desc = packages / "publish.txt";
    std::ofstream(desc) << "latest 0000200\nserver url=" << http.FaultUrl("slow/") << " dir=400000/ version=0000200\n"
                        << "step 0000100 0000200 upgrade=slow/300\n";
    ASSERT_EQ(Tool(&RunPublish, {desc.string(), "-o", www.string()}), 0);
    Game(kV100, "0000100", {base + "NewUpdateInfo.zip"});
    g_listenerWindow = window.Handle();
    Init(&SendingListener);
    FetchInfo();
    engine.StartUpdate(true, 0);
    const DWORD start = GetTickCount();
    while (!engine.IsDownloading() && GetTickCount() - start < 10000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
    ASSERT_TRUE(engine.IsDownloading()) << "the download did not start";
    // The worker keeps sending the window messages while the stop waits.
    engine.StopDownload();
    Finish();
    g_listenerWindow = nullptr;
    EXPECT_TRUE(window.Received(WM_AUTOPATCH_STOP));
    EXPECT_FALSE(window.Received(WM_UPDATE_COMPLETE));
    EXPECT_LT(GetTickCount() - start, 2500u) << "the transfer was not cut short";
    EXPECT_EQ(GameFiles(), Lowered(kV100));
    std::vector<std::string> errs = ErrLogs();
    ASSERT_EQ(errs.size(), 1u);
    const std::wstring log = ReadUtf16File(fs::path("PatchCfg/PatchTemp") / errs[0]);
    EXPECT_NE(log.find(L"StopEvent:return _STOP"), std::wstring::npos);
    EXPECT_NE(log.find(L"Stopped by the user"), std::wstring::npos);
}

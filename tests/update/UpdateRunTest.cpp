// Whole update runs: chains of versions, base packs, stops and what the
// server may send.
#include "EngineFixtures.h"
#include "ZipWriter.h"
#include "transfer/PatchInstaller.h"

namespace {

// The game's files by lower-cased path (Windows names ignore case), and
// what they should be.
Tree GameFiles()
{
    Tree t;
    for (const auto& f : TakeSnapshot(".", true).files)
        if (f.first.rfind("patchcfg/", 0) != 0 && f.first != "data/string.txt") t.insert(f);
    return t;
}
Tree Lowered(const Tree& tree)
{
    Tree t;
    for (const auto& f : tree) t[Lower(f.first)] = f.second;
    return t;
}

HWND g_listenerWindow = nullptr;
// A window whose status texts arrive as sent messages, as some windows do.
void SendingListener(const wchar_t* text)
{
    RecordListenerText(text);
    if (g_listenerWindow) SendMessageW(g_listenerWindow, WM_USER + 1234, 0, 0);
}

class UpdateRunTest : public EngineRunTest {
protected:
    void SetUp() override
    {
        ListenerTexts().clear();
        RecordedMessageBoxes().clear();
        g_bTestServer = 0;
        SetUpRun({{L"USER_STOPDOWNLOAD_QUIT", L"Stopped by the user"},
                  {L"AREA_NO_PATCHSERVER", L"No patch server here"},
                  {L"UNZIP_BASEPACK_END1", L"Base pack 1 installed"}});
    }
    // Publishes the update information with the given server lines.
    void Publish(const std::string& serverLines, bool qa = false, std::string steps = "")
    {
        if (steps.empty())
            steps = "step 0000100 0000200 upgrade=" + Package("up100.exe") +
                    "\nstep 0000200 0000300 upgrade=" + Package("up200.exe") +
                    " degrade=" + Package("down300.exe") + "\n";
        PublishDesc("latest 0000300\n" + serverLines + steps, qa ? std::vector<std::string>{"--qa"}
                                                                  : std::vector<std::string>{});
    }
    std::string Server(const std::string& version = "0000300") const
    {
        return "server url=" + base + " dir=patches/ version=" + version + "\n";
    }
    // An installation of tree at version cur, and the engine on it.
    void Game(const Tree& tree, const std::string& cur, std::vector<std::string> urls = {},
              InfoOutputFunCallback listener = &RecordListenerText)
    {
        StartEngine(tree, LocalConfig(cur, urls.empty() ? std::vector<std::string>{InfoUrl()} : urls), listener);
    }
    void FetchInfo() { ASSERT_EQ(Run(engine.StartAutopatch(), WM_UPDATE_INFO_READY), OUTCOME_INFO_READY); }
};

}  // namespace

TEST_F(UpdateRunTest, AChainIsClimbedOneStepPerRunThenTheGameStartsAndARollbackGoesOneStepAtATime)
{
    Publish(Server());
    Game(kV100, "0000100");
    FetchInfo();
    EXPECT_EQ(engine.GetLatestVersion(), "0000300");
    for (const auto& step : {std::make_pair("0000200", &kV200), std::make_pair("0000300", &kV300)}) {
        ASSERT_EQ(Update(), OUTCOME_INSTALLED);
        EXPECT_EQ(engine.GetLocalVersionStr(), step.first);
        EXPECT_EQ(GameFiles(), Lowered(*step.second));
        engine.initBasic();
    }
    EXPECT_EQ(Update(WM_START_GAME), OUTCOME_UP_TO_DATE);
    EXPECT_TRUE(ErrLogs().empty());

    // A rollback towards 100 that goes one step, to 200, records 200.
    Publish(Server("0000100"));
    ParseInfo();
    ASSERT_EQ(Update(), OUTCOME_INSTALLED);
    EXPECT_EQ(GameFiles(), Lowered(kV200));
    engine.initBasic();
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
}

TEST_F(UpdateRunTest, RunsThatEndWithoutInstallingLeaveTheGameAloneAndTheRightManualPackageInstalls)
{
    Publish(Server());
    Game(kV100, "");
    ParseInfo();
    EXPECT_EQ(Update(WM_AUTOPATCH_STOP), OUTCOME_NO_LOCAL_VERSION);
    EXPECT_EQ(ErrLogs().size(), 1u);
    // Without trusted keys updates work as before, with one warning.
    EXPECT_EQ(Count(Logs(), L"updates are not verified"), 1u);
    EXPECT_EQ(Count(Logs(), L"signature"), 0u);

    fs::remove(www / "patches" / "up100.exe");  // four attempts, then the window may choose another server
    WriteBytes("PatchCfg/NewUpdateCfg.xml", LocalConfig("0000100", {InfoUrl()}));
    engine.initBasic();
    EXPECT_EQ(Update(WM_Download_ERRORReLink), OUTCOME_DOWNLOAD_FAILED);
    // Manual packages: not a package, and not one for this version.
    WriteBytes("notapackage.exe", "text");
    EXPECT_EQ(Run(engine.StartManualPatch("notapackage.exe"), WM_PACK_FILELIST_ERROR), OUTCOME_INSTALL_FAILED);
    EXPECT_EQ(Run(engine.StartManualPatch(Package("up200.exe")), WM_PACK_VERSION_ERROR), OUTCOME_INSTALL_FAILED);
    fs::remove("notapackage.exe");
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000100");
    EXPECT_EQ(GameFiles(), Lowered(kV100));
    EXPECT_EQ(Run(engine.StartManualPatch(Package("up100.exe")), WM_UPDATE_COMPLETE), OUTCOME_INSTALLED);
    EXPECT_EQ(GameFiles(), Lowered(kV200));
    engine.initBasic();
    EXPECT_EQ(engine.GetLocalVersionStr(), "0000200");
}

TEST_F(UpdateRunTest, TestServerModeFetchesTheQaInformationAPackageMustMakeItsStepUnusableServersAndAddressesStartNothing)
{
    Publish(Server(), true);
    EXPECT_FALSE(fs::exists(www / "newupdateinfo.zip"));
    Game(kV100, "0000100");
    g_bTestServer = 1;
    FetchInfo();
    g_bTestServer = 0;
    EXPECT_EQ(engine.GetLatestVersion(), "0000300");
    // A package must make its step: the table sends the package of 100 -> 200 for a step to 300.
    Publish(Server(), false, "step 0000100 0000300 upgrade=" + Package("up100.exe") + "\n");
    ParseInfo();
    EXPECT_EQ(Update(WM_PACK_VERSION_ERROR), OUTCOME_INSTALL_FAILED);
    EXPECT_EQ(engine.Result().InstallError(), INSTALL_VERSION_RANGE);
    EXPECT_EQ(GameFiles(), Lowered(kV100));

    Publish(Server() + Server("0000200"));
    ParseInfo();
    ParseInfo();  // a second retrieval does not repeat servers
    EXPECT_EQ(engine.GetPatchServerCount(), 2u);
    EXPECT_FALSE(engine.StartUpdate(true, 2));
    engine.m_vecPatchServer[0].url.clear();
    EXPECT_FALSE(engine.StartUpdate(true, 0));
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].text, L"No patch server here");
    Publish("");
    ParseInfo();
    EXPECT_EQ(engine.GetPatchServerCount(), 0u);
    EXPECT_FALSE(engine.StartUpdate(true, 0));

    // Every address failing is tried 16 times; with no address the thread ends silently.
    engine.m_vecUpdateInfoURL.clear();
    for (const char* a : {"a", "b", "c"}) engine.m_vecUpdateInfoURL.push_back(http.FaultUrl("none/" + name + "/" + a + ".zip"));
    const size_t errs = ErrLogs().size();
    EXPECT_EQ(Run(engine.StartAutopatch(), WM_DOWNLOADED_ALLINFO_ERROR), OUTCOME_INFO_FAILED);
    for (const auto& tries : {std::make_pair("a", 6u), std::make_pair("b", 5u), std::make_pair("c", 5u)})
        EXPECT_EQ(http.Requests("/none/" + name + "/" + tries.first + ".zip"), tries.second) << tries.first;
    EXPECT_EQ(ErrLogs().size(), errs + 1);
    engine.m_vecUpdateInfoURL.clear();
    EXPECT_EQ(Run(engine.StartAutopatch(), 0), OUTCOME_NO_ADDRESS);
}

TEST_F(UpdateRunTest, BasePacksFillAnEmptyInstallation)
{
    fs::create_directories(www);
    CZipWriter zip;
    ASSERT_TRUE(zip.Create((www / "base1.zip").string()) && zip.AddBytes("Binaries/Game.exe", "MZ base") &&
                zip.AddBytes("Data/shared.pak", "from pack 1") && zip.Close());
    WriteBytes("PatchCfg/NewUpdateInfo.xml", "<Root><PatchClientZip1 url=\"" + base + "base1.zip\" filename=\"Base1.zip\"/>"
                                             "<PatchClientZip2 url=\"" + base + "base2.zip\" filename=\"Base2.zip\"/></Root>");
    WriteBytes("Data/shared.pak", "read-only leftover");
    SetFileAttributesW(L"Data\\shared.pak", FILE_ATTRIBUTE_READONLY);
    StartEngine({}, LocalConfig("0000100", {InfoUrl()}));
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_UNZIP_BASEPACK1), OUTCOME_BASEPACK_DOWNLOADED);
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/BasePack/Base1.zip"));
    EXPECT_EQ(Run(engine.StartUnzipBasePack1(), WM_CHECK_INSTALL), OUTCOME_BASEPACK_UNPACKED);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/BasePack/Base1.zip")) << "deleted after a complete unpack";
    EXPECT_EQ(ReadBytes("binaries/game.exe"), "MZ base");
    EXPECT_EQ(ReadBytes("data/shared.pak"), "from pack 1");
    EXPECT_NE(std::find(ListenerTexts().begin(), ListenerTexts().end(), L"Base pack 1 installed"), ListenerTexts().end());

    engine.m_vecBasePackURL[0] = base + "missing.zip";  // a pack that is not on the server sends nothing
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_RUN_FAILED), OUTCOME_BASEPACK_DOWNLOAD_FAILED);
    engine.m_vecBasePackURL[0] = base + "base1.zip";
    engine.m_vecBasePackFile[0] = "..\\victim.zip";
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_RUN_FAILED), OUTCOME_BASEPACK_DOWNLOAD_FAILED);
    EXPECT_EQ(engine.Fault(), FAULT_REFUSED_NAME);
    EXPECT_FALSE(fs::exists("../victim.zip"));
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/BasePack")) << "a refused pack leaves nothing";
    // Whatever a pack is called, it never takes the place of a file of the installation.
    WriteBytes("launcher.exe", "MZ launcher");
    engine.m_vecBasePackFile[0] = "launcher.exe";
    EXPECT_EQ(Run(engine.StartDownloadBasePack1(), WM_UNZIP_BASEPACK1), OUTCOME_BASEPACK_DOWNLOADED);
    EXPECT_EQ(Run(engine.StartUnzipBasePack1(), WM_CHECK_INSTALL), OUTCOME_BASEPACK_UNPACKED);
    EXPECT_EQ(ReadBytes("launcher.exe"), "MZ launcher");
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/BasePack"));
}

TEST_F(UpdateRunTest, AStopRequestEndsARunningDownload)
{
    // The package comes slowly from the scripted server: its 2048 bytes (the
    // size the revision table states) in pieces 300 ms apart.
    const fs::path slow = s_packages / name / "300";
    fs::create_directories(slow.parent_path());
    fs::copy_file(s_packages / "up100.exe", slow);
    ASSERT_EQ(fs::file_size(slow), 2048u);
    PublishDesc("latest 0000200\nserver url=" + http.FaultUrl("slow/") + " dir=2048/ version=0000200\n" +
                "step 0000100 0000200 upgrade=" + slow.string() + "\n");
    g_listenerWindow = window.Handle();
    Game(kV100, "0000100", {}, &SendingListener);
    ParseInfo();
    ASSERT_TRUE(engine.StartUpdate(true, 0));
    for (const DWORD start = GetTickCount(); !engine.IsDownloading() && GetTickCount() - start < 10000; Sleep(1))
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    ASSERT_TRUE(engine.IsDownloading()) << "the download did not start";
    // The worker keeps sending the window messages while the stop waits.
    engine.StopDownload();
    EXPECT_EQ(Finish(), OUTCOME_STOPPED);
    g_listenerWindow = nullptr;
    EXPECT_TRUE(window.Received(WM_AUTOPATCH_STOP));
    EXPECT_EQ(GameFiles(), Lowered(kV100));
    const std::vector<std::string> errs = ErrLogs();
    ASSERT_EQ(errs.size(), 1u);
    EXPECT_NE(LogText(fs::path("PatchCfg/PatchTemp") / errs[0]).find(L"Stopped by the user"), std::wstring::npos);
}

TEST_F(UpdateRunTest, NothingTheServerSendsIsInstalledBeforeItPassesItsChecks)
{
    Publish(Server());
    Game(kV100, "0000100");
    ParseInfo();
    const std::string info = ReadBytes("PatchCfg/NewUpdateInfo.xml"), revision = ReadBytes("PatchCfg/Revision.xml");
    const std::string good = ReadBytes(www / "NewUpdateInfo.xml");
    std::string deep, servers;
    for (int i = 0; i < 15000; ++i) deep += "<a>";
    for (int i = 0; i < 300; ++i) servers += "<PatchServer url=\"x\"/>";
    const struct { Tree entries; EFault fault; } cases[] = {
        {{{"NewUpdateInfo.xml", "<Root><LatestVersion>1</LatestVersion>" + deep + "</Root>"}}, FAULT_BOUND_EXCEEDED},
        {{{"NewUpdateInfo.xml", "<Root><LatestVersion>1</LatestVersion>" + servers + "</Root>"}}, FAULT_BOUND_EXCEEDED},
        {{{"NewUpdateInfo.xml", good + std::string(5u << 20, ' ')}}, FAULT_BOUND_EXCEEDED},  // a zip bomb
        {{{"NewUpdateInfo.xml", good}, {"Revision.xml", "<R>" + deep + "</R>"}}, FAULT_BOUND_EXCEEDED},
        {{{"NewUpdateInfo.xml", "<Root><unclosed></Root>"}}, FAULT_NONE},
    };
    const auto serve = [&](const Tree& entries) {
        CZipWriter zip;
        bool ok = zip.Create((www / "newupdateinfo.zip").string());
        for (const auto& e : entries) ok = ok && zip.AddBytes(e.first, e.second);
        ASSERT_TRUE(zip.Close() && ok);
    };
    for (const auto& c : cases) {
        serve(c.entries);
        EXPECT_EQ(TryParseInfo(), STEP_FAILED);
        EXPECT_EQ(engine.Fault(), c.fault);
        EXPECT_EQ(ReadBytes("PatchCfg/NewUpdateInfo.xml"), info);
        EXPECT_EQ(ReadBytes("PatchCfg/Revision.xml"), revision);
    }
    // Only the entries the information has are unpacked.
    serve({{"NewUpdateInfo.xml", good}, {"../evil.txt", "e"}, {"Evil/evil.exe", "e"}});
    ParseInfo();
    EXPECT_FALSE(fs::exists("PatchCfg/evil.txt") || fs::exists("evil.txt"));
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/Evil"));
}

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "EngineTestUtil.h"
#include "TestUtil.h"
#include "GameFixture.h"
#include "base/utility/StringTable.h"
#include "update/StopGuard.h"
#include "transfer/Md5.h"
#include "update/UpdateEngine.h"

namespace {

std::vector<float> g_single;
void Single(float f) { g_single.push_back(f); }
std::vector<float> g_total;
void Total(float f) { g_total.push_back(f); }

class PatchDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteStringTable(dir.Path(), {{L"DOWNLOADING_FIELS", L"Downloading %s"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
        WriteBytes("PatchCfg/NewUpdateCfg.xml", LocalConfig("0000100"));
        ASSERT_TRUE(engine.Initialize(nullptr, true, &RecordListenerText, &Single, &Total));
        stopEvent.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"StopDownload"));
        ASSERT_TRUE(stopEvent.Valid());
        ListenerTexts().clear();
        g_single.clear();
        g_total.clear();
        engine.m_strServerVersion = "0000101";
        key = std::to_string(GetTickCount()) + "-" + std::to_string(++s_counter);
    }
    void TearDown() override { engine.CloseLog(true); }
    bool Signalled() { return WaitForSingleObject(stopEvent.Get(), 0) == WAIT_OBJECT_0; }
    size_t Requests() { return http.Requests(key); }

    static int s_counter;
    HttpServers http;
    ScopedTestDir dir;
    CUpdateEngine engine;
    Base::Utility::CKernelHandle stopEvent;
    std::string key;
};
int PatchDownloadTest::s_counter = 0;

}  // namespace

TEST_F(PatchDownloadTest, FetchesTheUpgradeOrDegradePackageIntoTheTempDirectory)
{
    engine.m_strPatchBaseURL = http.FaultUrl("ok\\" + key + "\\");
    engine.m_Plan.upgrade.filename = "12000";
    engine.m_Plan.degrade.filename = "13000";
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), STEP_SUCCEEDED);
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/12000") == PatternBytes(12000));
    EXPECT_EQ(engine.m_strPackagePath, "PatchCfg\\PatchTemp\\12000");
    EXPECT_EQ(ListenerTexts().front(), L"Downloading 12000");
    EXPECT_EQ(ListenerTexts().back().substr(0, 4), L"下载文件") << "the status line of the running transfer";
    EXPECT_EQ(g_single.front(), 0.0f);
    EXPECT_EQ(g_single.back(), 1.0f);
    EXPECT_EQ(g_total, (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(Requests(), 1u);
    EXPECT_FALSE(engine.IsDownloading());
    EXPECT_TRUE(Signalled());

    engine.m_strCurVersion = "0000102";  // above the server: a rollback
    g_total.clear();
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), STEP_SUCCEEDED);
    EXPECT_EQ(g_total.front(), 0.0f) << "a further step starts its total bar empty";
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/13000") == PatternBytes(13000));

    engine.m_strPatchBaseURL = http.FaultUrl("status/" + key + "/");
    engine.m_Plan.degrade.filename = "404";
    EXPECT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), STEP_DOWNLOAD_FAILED);
    EXPECT_EQ(Requests(), 2u + 4u) << "four attempts";
    EXPECT_FALSE(engine.IsDownloading());
    EXPECT_TRUE(Signalled());
}

TEST_F(PatchDownloadTest, EachLoopWaitsOnAFreshEventSignalledWhenItEnds)
{
    SetEvent(stopEvent.Get());  // left over from an earlier loop
    {
        CStopGuard guard(engine);
        EXPECT_TRUE(engine.IsDownloading());
        EXPECT_FALSE(Signalled());
        EXPECT_FALSE(guard.StopRequested());
    }
    EXPECT_FALSE(engine.IsDownloading());
    EXPECT_TRUE(Signalled());
    engine.StopDownload();  // no loop runs: returns at once

    engine.m_strPatchBaseURL = http.FaultUrl("slow/100000/");
    engine.m_Plan.upgrade.filename = "50";
    std::atomic<int> result{-1};
    std::thread worker([&] { result = engine.DownloadAllPatchFiles(0.0f, 0.3f); });
    for (const DWORD start = GetTickCount(); !engine.IsDownloading() && GetTickCount() - start < 10000;) Sleep(1);
    const bool running = engine.IsDownloading();
    engine.StopDownload();
    const bool signalled = Signalled();
    worker.join();
    ASSERT_TRUE(running);
    EXPECT_TRUE(signalled) << "the stop returns once the loop has ended";
    EXPECT_EQ(result, STEP_STOPPED);
    // A stop does not outlive its loop: the next one runs to its end.
    engine.m_strPatchBaseURL = http.FaultUrl("ok/");
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), STEP_SUCCEEDED);
    EXPECT_EQ(fs::file_size("PatchCfg/PatchTemp/50"), 50u);
}

TEST_F(PatchDownloadTest, RefusedNamesFetchNothingAndAPackageMustBeTheTablesSizeAndMd5)
{
    WriteBytes("victim.txt", "outside the temp directory");
    engine.m_strPatchBaseURL = http.FaultUrl("status/" + key + "/");
    for (const char* name : {"..\\..\\victim.txt", "../../victim.txt", "COM1", "x:y", ""}) {
        engine.ClearFault();
        engine.m_Plan.upgrade.filename = name;
        EXPECT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), STEP_DOWNLOAD_FAILED) << name;
        EXPECT_EQ(engine.Fault(), FAULT_REFUSED_NAME) << name;
    }
    EXPECT_EQ(Requests(), 0u);
    EXPECT_EQ(ReadBytes("victim.txt"), "outside the temp directory");

    engine.m_strPatchBaseURL = http.FaultUrl("ok/" + key + "/");
    SPackageFile& p = engine.m_Plan.upgrade;
    p.filename = "5000";
    p.hasSize = true;
    const struct {
        std::uint32_t size;
        std::string md5;
        EStepResult result;
        EFault fault;
    } cases[] = {
        {5000, Md5HexOf(PatternBytes(5000)), STEP_SUCCEEDED, FAULT_NONE},
        {4000, "", STEP_DOWNLOAD_FAILED, FAULT_BOUND_EXCEEDED},  // never written past the stated size
        {5000, Md5HexOf("something else"), STEP_PACKAGE_MISMATCH, FAULT_BAD_DIGEST},
    };
    for (const auto& c : cases) {
        engine.ClearFault();
        fs::remove("PatchCfg/PatchTemp/5000");
        p.size = c.size;
        p.checksum = c.md5;
        EXPECT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), c.result) << c.size;
        EXPECT_EQ(engine.Fault(), c.fault) << c.size;
        EXPECT_EQ(fs::exists("PatchCfg/PatchTemp/5000"), c.result == STEP_SUCCEEDED) << c.size;
    }
    const std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
    for (const wchar_t* line : {L"Error:refused name ..\\..\\victim.txt (not a plain file name) from the revision table",
                                L"Error:bound exceeded: ", L"Error:bad digest: package "})
        EXPECT_NE(log.find(line), std::wstring::npos) << line;
}

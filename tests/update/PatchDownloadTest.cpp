// The engine's package download loop: the package of the step fetched into
// the temp directory, the stop event, refused names and the package checks.
#include <atomic>
#include <thread>

#include "EngineFixtures.h"
#include "update/StopGuard.h"

namespace {

class PatchDownloadTest : public DownloadLoopTest {
protected:
    void SetUp() override
    {
        DownloadLoopTest::SetUp();
        stopEvent.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"StopDownload"));
        ASSERT_TRUE(stopEvent.Valid());
    }
    bool Signalled() { return WaitForSingleObject(stopEvent.Get(), 0) == WAIT_OBJECT_0; }
    size_t Requests() { return http.Requests(key); }

    Base::Utility::CKernelHandle stopEvent;
};

}  // namespace

TEST_F(PatchDownloadTest, FetchesTheUpgradeOrDegradePackageIntoTheTempDirectory)
{
    engine.m_strPatchBaseURL = http.FaultUrl("ok\\" + key + "\\");
    engine.m_Plan.upgrade.filename = "12000";
    engine.m_Plan.degrade.filename = "13000";
    ASSERT_EQ(Download(), STEP_SUCCEEDED);
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/12000") == PatternBytes(12000));
    EXPECT_EQ(engine.m_strPackagePath, "PatchCfg\\PatchTemp\\12000");
    EXPECT_EQ(ListenerTexts().front(), L"Downloading 12000");
    EXPECT_EQ(std::make_pair(single.front(), single.back()), std::make_pair(0.0f, 1.0f));
    EXPECT_EQ(total, (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(Requests(), 1u);
    EXPECT_FALSE(engine.IsDownloading());
    EXPECT_TRUE(Signalled());

    engine.m_strCurVersion = "0000102";  // above the server: a rollback (whole runs: UpdateRunTest)
    total.clear();
    ASSERT_EQ(Download(), STEP_SUCCEEDED);
    EXPECT_EQ(total.front(), 0.0f) << "a further step starts its total bar empty";
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
    std::thread worker([&] { result = Download(); });
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
    ASSERT_EQ(Download(), STEP_SUCCEEDED);
    EXPECT_EQ(fs::file_size("PatchCfg/PatchTemp/50"), 50u);
}

TEST_F(PatchDownloadTest, RefusedNamesFetchNothingAndAPackageMustBeTheTablesSize)
{
    WriteBytes("victim.txt", "outside the temp directory");
    engine.m_strPatchBaseURL = http.FaultUrl("status/" + key + "/");
    for (const char* name : {"..\\..\\victim.txt", "../../victim.txt", "COM1", "x:y", "", "Tidewell.log", "filelist.xml"}) {
        engine.ClearFault();
        engine.m_Plan.upgrade.filename = name;
        EXPECT_EQ(Download(), STEP_DOWNLOAD_FAILED) << name;
        EXPECT_EQ(engine.Fault(), FAULT_REFUSED_NAME) << name;
    }
    EXPECT_EQ(Requests(), 0u);
    EXPECT_EQ(ReadBytes("victim.txt"), "outside the temp directory");

    // Another size than the table's is another file (a wrong digest: FailoverTest).
    engine.ClearFault();
    engine.m_strPatchBaseURL = http.FaultUrl("ok/" + key + "/");
    SPackageFile& p = engine.m_Plan.upgrade;
    p.filename = "5000";
    p.hasSize = true;
    p.size = 4000;
    EXPECT_EQ(Download(), STEP_PACKAGE_MISMATCH);
    EXPECT_EQ(engine.Fault(), FAULT_BAD_DIGEST);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/5000"));
}

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "EngineTestUtil.h"
#include "Fixtures.h"
#include "base/utility/StringTable.h"
#include "update/UpdateEngine.h"

namespace {

std::vector<float> g_single;
void Single(float f) { g_single.push_back(f); }

const wchar_t* const kDots[4] = {L"...", L"..`", L".``", L"```"};

class PatchDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ListenerTexts().clear();
        g_single.clear();
        WriteStringTable(dir.Path(), {{L"DOWNLOADING_FIELS", L"Downloading %s"}});
        LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
        WriteBytes("PatchCfg/NewUpdateCfg.xml",
                   "<Root><Version><CurVersion>0000100</CurVersion><DownloadedFileVersion/></Version>"
                   "<ManualUpdateURL/><InternetUpdate><UpdateInfoURL/></InternetUpdate></Root>");
        ASSERT_TRUE(engine.Initialize(nullptr, true, &RecordListenerText, &Single, nullptr));
        stopEvent.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"StopDownload"));
        ASSERT_TRUE(stopEvent.Valid());
        ListenerTexts().clear();
        g_single.clear();
        engine.m_strCurVersion = "0000100";
        engine.m_strServerVersion = "0000101";
    }
    void TearDown() override { engine.CloseLog(true); }
    std::wstring Log() { return ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log"); }
    bool Signalled() { return WaitForSingleObject(stopEvent.Get(), 0) == WAIT_OBJECT_0; }
    // Texts of the download status line, without the leading pattern index.
    std::vector<std::wstring> ProgressTexts()
    {
        std::vector<std::wstring> out;
        for (const std::wstring& t : ListenerTexts())
            if (t.rfind(L"下载文件", 0) == 0) out.push_back(t);
        return out;
    }

    HttpServers http;
    ScopedTestDir dir;
    CUpdateEngine engine;
    Base::Utility::CKernelHandle stopEvent;
};

}  // namespace

TEST_F(PatchDownloadTest, StatusLineRotatesItsPatternAndShowsPieces)
{
    const std::uint32_t MiB = 1048576;
    CUpdateEngine::ShowDownloadProgress(300 * MiB, 256 * MiB, 1048576);
    CUpdateEngine::ShowDownloadProgress(2048 * MiB, 3 * 256 * MiB + 128 * MiB, 3 * MiB);
    CUpdateEngine::ShowDownloadProgress(512, 256, 2048);
    CUpdateEngine::ShowDownloadProgress(0, 5 * MiB, 0);
    CUpdateEngine::ShowDownloadProgress(10 * MiB, 10 * MiB, 0);
    std::vector<std::wstring> texts = ProgressTexts();
    ASSERT_EQ(texts.size(), 5u);
    int first = -1;
    const size_t at = texts[0].find(L')') + 1;
    for (int p = 0; p < 4; ++p)
        if (texts[0].compare(at, 3, kDots[p]) == 0) first = p;
    ASSERT_GE(first, 0) << testing::PrintToString(texts[0]);
    const wchar_t* body[5] = {
        L"(256.0M/300.0M)\t\t下载速度:1024.0KB/S", L"(128.0M/256.0M)\t\t下载速度:3.0MB/S",
        L"(0.0M/0.0M)\t\t下载速度:2.0KB/S", L"(5.0M/0.0M)\t\t下载速度:0.0KB/S", L"(10.0M/10.0M)\t\t下载速度:0.0KB/S"};
    const wchar_t* pieces[5] = {L"(0/1)", L"(3/8)", L"(0/1)", L"(0/1)", L"(1/1)"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(texts[i], std::wstring(L"下载文件") + pieces[i] + kDots[(first + i) % 4] + body[i]) << i;
    EXPECT_EQ(g_single, (std::vector<float>{256.0f / 300.0f, 0.5f, 0.5f, 0.0f, 1.0f}));
}

TEST_F(PatchDownloadTest, FetchesTheUpgradeOrDegradePackageIntoTheTempDirectory)
{
    engine.m_strPatchBaseURL = http.FaultUrl("ok\\");
    engine.m_Plan.upgrade.filename = "12000";
    engine.m_Plan.degrade.filename = "13000";
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), 2);
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/12000") == PatternBytes(12000));
    EXPECT_EQ(engine.m_strPackagePath, "PatchCfg\\PatchTemp\\12000");
    EXPECT_FALSE(engine.IsDownloading());
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(http.Requests().back(), "GET /ok/12000 HTTP/1.1");
    EXPECT_NE(Log().find(L"DownloadAllPatchFiles::Begin\r\nall files download succeed!\r\n"
                         L"DownloadAllPatchFiles::End\r\n\r\n"),
              std::wstring::npos);
    EXPECT_EQ(ListenerTexts().front(), L"Downloading 12000");
    EXPECT_EQ(g_single.front(), 0.0f);
    EXPECT_EQ(g_single.back(), 1.0f);

    engine.m_strCurVersion = "0000102";  // above the server: a rollback
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), 2);
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/13000") == PatternBytes(13000));
}

TEST_F(PatchDownloadTest, AMissingPackageIsTriedFourTimes)
{
    engine.m_strPatchBaseURL = http.FaultUrl("status/");
    engine.m_Plan.upgrade.filename = "404";
    const size_t before = http.Requests().size();
    EXPECT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), 1);
    EXPECT_EQ(http.Requests().size() - before, 4u);
    EXPECT_TRUE(Signalled());
}

TEST_F(PatchDownloadTest, AStatusTextWithForeignConversionsIsShownVerbatim)
{
    WriteStringTable(dir.Path(), {{L"DOWNLOADING_FIELS", L"Get %s%n%s now"}});
    LoadStringTable(dir.Path().wstring() + L"\\", nullptr);
    engine.m_strPatchBaseURL = http.FaultUrl("ok/");
    engine.m_Plan.upgrade.filename = "10";
    ASSERT_EQ(engine.DownloadAllPatchFiles(0.0f, 0.3f), 2);
    EXPECT_EQ(ListenerTexts().front(), L"Get %s%n%s now 10");
}

TEST_F(PatchDownloadTest, AStopRequestWaitsForTheRunningTransfer)
{
    engine.m_strPatchBaseURL = http.FaultUrl("slow/200000/");
    engine.m_Plan.upgrade.filename = "150";
    SetEvent(stopEvent.Get());  // left over from an earlier loop
    std::atomic<int> result{-1};
    std::thread worker([&] { result = engine.DownloadAllPatchFiles(0.0f, 0.3f); });
    const DWORD deadline = GetTickCount() + 10000;
    while (!engine.IsDownloading() && GetTickCount() < deadline) Sleep(1);
    ASSERT_TRUE(engine.IsDownloading());
    // The loop waits on a fresh event, signalled only when it ends.
    EXPECT_FALSE(Signalled());
    engine.StopDownload();
    EXPECT_TRUE(Signalled());
    worker.join();
    EXPECT_EQ(result, STEP_STOPPED);
    EXPECT_NE(Log().find(L"StopEvent:return _STOP"), std::wstring::npos);
}

// The package download of a run when servers fail: attempts with pauses, the
// other servers of the same version in order, and the check after download.
#include <atomic>
#include <thread>

#include "EngineFixtures.h"
#include "transfer/Md5.h"

namespace {

class FailoverTest : public DownloadLoopTest {
protected:
    void SetUp() override
    {
        DownloadLoopTest::SetUp();
        engine.Transfer().SetRetryPause(20, 80);
        engine.Transfer().SetStallTimeout(500);
        SPackageFile& p = engine.m_Plan.upgrade;
        p.filename = "6000";
        p.hasSize = true;
        p.size = 6000;
        p.checksum = Md5HexOf(PatternBytes(6000));
    }
    // A server on the range route: its key is key + name.
    std::string Server(const std::string& name, const std::string& opts) const
    {
        return http.FaultUrl("range/" + key + name + "/" + opts + "/");
    }
    void Servers(const std::vector<std::string>& bases)
    {
        engine.m_strPatchBaseURL = bases.front();
        engine.Route().SetFailover({bases.begin() + 1, bases.end()});
    }
    std::vector<std::string> Requests(const std::string& name) const { return http.RequestHeaders(key + name + "/"); }
};

}  // namespace

TEST_F(FailoverTest, EachServerOfTheVersionIsTriedInOrderAndTheLogSaysWhyItWasLeft)
{
    const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    const std::string missing = Server("missing", "status=404"), busy = Server("busy", "status=503"),
                      bad = Server("bad", "other"), good = Server("good", "-"), later = Server("later", "-");
    Servers({closed, missing, busy, bad, good, later});
    ASSERT_EQ(Download(), STEP_SUCCEEDED);
    EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/6000") == PatternBytes(6000));
    EXPECT_EQ(engine.Fault(), FAULT_NONE) << "a server that failed is no fault of a run that succeeded";
    EXPECT_EQ(Requests("missing").size(), 4u);
    EXPECT_EQ(Requests("busy").size(), 4u);
    EXPECT_EQ(Requests("bad").size(), 2u) << "refused, then fetched once more from zero";
    EXPECT_EQ(Requests("good").size(), 1u);
    EXPECT_EQ(Requests("later").size(), 0u);
    const std::wstring log = LogText("PatchCfg/PatchTemp/Tidewell.log");
    for (const std::string& line : {closed + " left: no connection", missing + " left: HTTP status 404",
                                    busy + " left: HTTP status 503", bad + " left: the package does not match the revision table",
                                    good + " left"})
        EXPECT_EQ(log.find(std::wstring(line.begin(), line.end())) != std::wstring::npos, line.find(good) != 0) << line;

    // Every server failing: the last one's failure is the run's.
    Servers({missing, bad});
    EXPECT_EQ(Download(), STEP_PACKAGE_MISMATCH);
    EXPECT_EQ(engine.Fault(), FAULT_BAD_DIGEST);
    EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/6000"));
}

TEST_F(FailoverTest, BrokenTransfersResumeAndAWrongResumedBodyIsFetchedAgainFromZero)
{
    // ranges: Range of each request to the server
    const struct { const char* opts; std::vector<std::string> ranges; } cases[] = {
        {"stall=2500", {"", "bytes=2500-"}},          // silent: abandoned after the stall time-out
        {"wrong,cut=2500", {"", "bytes=2500-", ""}},  // digest mismatch: once more from zero
    };
    for (const auto& c : cases) {
        const std::string name = std::string("s") + c.opts;
        Servers({Server(name, c.opts)});
        ASSERT_EQ(Download(), STEP_SUCCEEDED) << c.opts;
        EXPECT_TRUE(ReadBytes("PatchCfg/PatchTemp/6000") == PatternBytes(6000)) << c.opts;
        const std::vector<std::string> requests = Requests(name);
        ASSERT_EQ(requests.size(), c.ranges.size()) << c.opts;
        // A resumed request names the file it continues.
        for (size_t i = 0; i < requests.size(); ++i)
            for (const std::string& header : {"\tRange: " + c.ranges[i], "\tIf-Range: \"" + key + name + "-v1\""})
                EXPECT_EQ(requests[i].find(header) != std::string::npos, !c.ranges[i].empty()) << c.opts << " request " << i;
        EXPECT_FALSE(fs::exists("PatchCfg/PatchTemp/6000.part") || fs::exists("PatchCfg/PatchTemp/6000.resume")) << c.opts;
        fs::remove("PatchCfg/PatchTemp/6000");
    }
}

TEST_F(FailoverTest, AStopRequestEndsAPauseBetweenAttempts)
{
    engine.Transfer().SetRetryPause(20000, 20000);
    Servers({"http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", Server("never", "-")});
    std::atomic<int> result{-1};
    std::thread worker([&] { result = Download(); });
    // The first attempt is refused at once; the worker then pauses for 20 s,
    // a time no condition of its own marks: a stop in the first attempt would
    // pass too, so the stop comes well after it.
    for (const DWORD start = GetTickCount(); !engine.IsDownloading() && GetTickCount() - start < 10000;) Sleep(1);
    Sleep(300);
    const DWORD stop = GetTickCount();
    engine.StopDownload();
    worker.join();
    EXPECT_LT(GetTickCount() - stop, 10000u) << "the pause of 20 s was not cut short";
    EXPECT_EQ(result, STEP_STOPPED);
    EXPECT_EQ(Requests("never").size(), 0u);

    // The stop ended with its loop: the next loop pauses and tries again.
    engine.Transfer().SetRetryPause(20, 80);
    Servers({Server("busy", "status=503")});
    EXPECT_EQ(Download(), STEP_DOWNLOAD_FAILED);
    EXPECT_EQ(Requests("busy").size(), 4u) << "an earlier stop cut the attempts of a later loop short";
}

TEST_F(FailoverTest, TheOtherServersOfTheVersionOnTheSameLineFollowTheChosenOneInListOrder)
{
    const auto server = [](const char* version, const char* url, const char* unicom, const char* dir) {
        SPatchServer s;
        s.Version = version, s.url = url, s.unicomurl = unicom, s.Xmlfiledir = dir;
        return s;
    };
    engine.m_vecPatchServer = {server("0000300", "http://a/", "http://ua/", "p/"),
                               server("0000200", "http://b/", "http://ub/", "p/"),
                               server("0000300", "", "http://uc/", "p/"),
                               server("0000300", "http://d/", "", "q/"),
                               server("0000300", "http://a/", "", "p/")};
    const struct { size_t chosen; bool telecom; std::string base; std::vector<std::string> others; } cases[] = {
        // Not b (another version), not c (no address on the line), a once.
        {3, true, "http://d/q/", {"http://a/p/"}},
        {0, true, "http://a/p/", {"http://d/q/"}},
        {0, false, "http://ua/p/", {"http://uc/p/"}},
        {1, true, "http://b/p/", {}},
    };
    for (const auto& c : cases) {
        engine.PreparePlan(engine.m_vecPatchServer[c.chosen], c.telecom);
        EXPECT_EQ(engine.m_strPatchBaseURL, c.base) << c.chosen;
        EXPECT_EQ(engine.Route().Failover(), c.others) << c.chosen;
    }
}

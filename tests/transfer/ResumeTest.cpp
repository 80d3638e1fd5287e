// Downloads that break off and go on: ranges, validators, stalls, stops and
// the rate limit, against the scripted server's range route.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "TestUtil.h"
#include "transfer/INetDownLoad.h"

namespace {

std::vector<std::uint32_t> g_received;
std::atomic<bool> g_cancel{false};
std::uint32_t g_cancelAt = 0;
void Record(std::uint32_t, std::uint32_t received, std::uint32_t)
{
    g_received.push_back(received);
    if (g_cancelAt != 0 && received >= g_cancelAt) g_cancel = true;
}

// The value of header name in a tab-separated request record; "" when absent.
std::string Header(const std::string& record, const std::string& name)
{
    const size_t at = record.find("\t" + name + ": ");
    if (at == std::string::npos) return "";
    const size_t from = at + name.size() + 3;
    return record.substr(from, record.find('\t', from) - from);
}

class ResumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dl.Init());
        dl.SetProgressCallback(&Record);
        dl.SetCancelFlag(&g_cancel);
        g_received.clear();
        g_cancel = false;
        g_cancelAt = 0;
    }
    // A fresh key on the range route.
    std::string Url(const std::string& opts, size_t n)
    {
        key = "k" + std::to_string(GetTickCount()) + "x" + std::to_string(++counter);
        return Again(opts, n);
    }
    std::string Again(const std::string& opts, size_t n) const
    {
        return http.FaultUrl("range/" + key + "/" + opts + "/" + std::to_string(n));
    }
    int Get(const std::string& url, CINetDownLoad* with = nullptr)
    {
        length = 0;
        return (with ? *with : dl).DownloadFile(std::wstring(url.begin(), url.end()).c_str(), L"out.bin", SDownloadLimits(),
                                                 &length);
    }
    bool Partial() const { return fs::exists("out.bin.part") || fs::exists("out.bin.resume"); }

    HttpServers http;
    ScopedTestDir dir;
    CINetDownLoad dl;
    std::string key;
    int counter = 0;
    std::uint64_t length = 0;  // of the last download
};

}  // namespace

TEST_F(ResumeTest, ACutTransferAsksForTheRestOnlyWhileTheFileIsTheSame)
{
    const size_t n = 10000;
    const std::string v1 = PatternBytes(n), v2 = PatternBytes(n, 0x5A);
    // ranges: the Range of each request, "" for none
    // monotonic: the received count never falls back
    const struct {
        const char* opts; std::vector<std::string> ranges; const std::string& body; bool monotonic;
    } cases[] = {
        {"cut=3000", {"", "bytes=3000-"}, v1, true},
        {"cut=3000:7000", {"", "bytes=3000-", "bytes=7000-"}, v1, true},
        {"lm,cut=3000", {"", "bytes=3000-"}, v1, true},
        // What cannot be continued starts again from zero.
        {"norange,cut=3000", {"", "bytes=3000-"}, v1, false},
        {"badrange,cut=3000", {"", "bytes=3000-", ""}, v1, false},
        {"always416,cut=3000", {"", "bytes=3000-", ""}, v1, false},
        {"replace,cut=3000", {"", "bytes=3000-"}, v2, false},
        {"replace,ignoreifrange,cut=3000", {"", "bytes=3000-", ""}, v2, false},
        {"weak,cut=3000", {"", ""}, v1, false},
        {"novalidator,cut=3000", {"", ""}, v1, false},
    };
    for (const auto& c : cases) {
        g_received.clear();
        ASSERT_EQ(Get(Url(c.opts, n)), DOWNLOAD_OK) << c.opts;
        EXPECT_TRUE(ReadBytes("out.bin") == c.body) << c.opts;
        EXPECT_FALSE(Partial()) << c.opts << ": the partial and its record go once the file is whole";
        const std::vector<std::string> requests = http.RequestHeaders(key);
        ASSERT_EQ(requests.size(), c.ranges.size()) << c.opts;
        const std::string validator =
            std::string(c.opts).rfind("lm", 0) == 0 ? "Mon, 07 Dec 2026 01:00:00 GMT" : "\"" + key + "-v1\"";
        for (size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(Header(requests[i], "Range"), c.ranges[i]) << c.opts << " request " << i;
            EXPECT_EQ(Header(requests[i], "Accept-Encoding"), "") << c.opts;
            EXPECT_EQ(Header(requests[i], "If-Range"), c.ranges[i].empty() ? "" : validator) << c.opts << " request " << i;
        }
        EXPECT_TRUE(!c.monotonic || std::is_sorted(g_received.begin(), g_received.end())) << c.opts << ": the bar jumped back";
    }
}

TEST_F(ResumeTest, AStallOrAStopKeepsWhatArrivedForTheNextDownload)
{
    const size_t n = 20000;
    dl.SetStallRule(500, 64);
    // Silent after 4000 bytes: abandoned, the partial kept, the next call resumes.
    ASSERT_EQ(Get(Url("stall=4000", n)), DOWNLOAD_STALLED);
    EXPECT_FALSE(fs::exists("out.bin"));
    EXPECT_EQ(fs::file_size("out.bin.part"), 4000u);
    ASSERT_EQ(Get(Again("stall=4000", n)), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(n));
    const std::vector<std::string> requests = http.RequestHeaders(key);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Header(requests[1], "Range"), "bytes=4000-");
    EXPECT_FALSE(Partial());

    // A stop request, then a new downloader (as after a restart) goes on.
    fs::remove("out.bin");
    g_cancelAt = 6000;
    ASSERT_EQ(Get(Url("stall=6000", n)), DOWNLOAD_STOPPED);
    EXPECT_EQ(fs::file_size("out.bin.part"), 6000u);
    g_cancel = false;
    g_cancelAt = 0;
    g_received.clear();
    CINetDownLoad next;
    ASSERT_TRUE(next.Init());
    next.SetProgressCallback(&Record);
    ASSERT_EQ(Get(Again("stall=6000", n), &next), DOWNLOAD_OK);
    EXPECT_EQ(length, n);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(n));
    ASSERT_FALSE(g_received.empty());
    EXPECT_GE(g_received.front(), 6000u) << "progress counts the resumed bytes";
    EXPECT_EQ(next.Received(), n);
}

TEST_F(ResumeTest, ADamagedOrForeignPartialIsNeverContinued)
{
    const size_t n = 8000;
    // record: out.bin.resume as found
    const struct { const char* record; size_t partBytes; } cases[] = {
        {"garbage", 3000},
        {"tidewell resume 1\nlength 8000\netag \"someone-else\"\nlast-modified \n", 3000},  // another file
        // The server's date, but another length.
        {"tidewell resume 1\nlength 9000\netag \nlast-modified Mon, 07 Dec 2026 01:00:00 GMT\n", 3000},
        {"tidewell resume 1\nlength 8000\netag \nlast-modified Mon, 07 Dec 2026 01:00:00 GMT\n", 8500},
    };
    for (const auto& c : cases) {
        const std::string url = Url("-", n);
        WriteBytes("out.bin.resume", c.record);
        WriteBytes("out.bin.part", std::string(c.partBytes, 'Z'));
        ASSERT_EQ(Get(url), DOWNLOAD_OK) << c.record;
        EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(n)) << c.record;
        EXPECT_FALSE(Partial());
    }
}

TEST_F(ResumeTest, TheRateLimitHoldsTheAverage)
{
    const size_t n = 256 * 1024;
    dl.SetRateLimit(512 * 1024);
    const DWORD start = GetTickCount();
    ASSERT_EQ(Get(Url("-", n)), DOWNLOAD_OK);
    EXPECT_GE(GetTickCount() - start, 450u) << "256 KiB at 512 KiB/s take half a second";
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(n));
}

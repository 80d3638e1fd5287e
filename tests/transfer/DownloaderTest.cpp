#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <tuple>

#include "Fixtures.h"
#include "base/system/Winsock.h"
#include "transfer/INetDownLoad.h"

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

typedef std::tuple<std::uint32_t, std::uint32_t, std::uint32_t> Report;
std::vector<Report> g_reports;
void Record(std::uint32_t total, std::uint32_t received, std::uint32_t speed)
{
    g_reports.emplace_back(total, received, speed);
}

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dl.Init());
        dl.SetProgressCallback(&Record);
        g_reports.clear();
    }
    int Get(const std::string& url, const char* local = "out.bin")
    {
        size = 0xDEADBEEF;
        return dl.Download(W(url).c_str(), W(local).c_str(), &size);
    }
    std::string Unique() { return std::to_string(GetTickCount()) + std::to_string(++counter); }

    HttpServers http;
    ScopedTestDir dir;
    CINetDownLoad dl;
    std::uint32_t size = 0;
    int counter = 0;
};

}  // namespace

TEST_F(DownloaderTest, FetchesAFileFromARealServerIntoNewDirectories)
{
    const std::string body = PatternBytes(3 * CINetDownLoad::kReadBuffer + 12345);
    WriteBytes(http.Www() / "pack" / "data.bin", body);
    ASSERT_EQ(Get(http.StaticUrl("pack/data.bin"), "a\\b/c\\data.bin"), DOWNLOAD_OK);
    EXPECT_EQ(size, body.size());
    EXPECT_TRUE(ReadBytes("a/b/c/data.bin") == body);

    // One report per read, the last one for the read of 0 bytes.
    ASSERT_GE(g_reports.size(), 2u);
    for (const Report& r : g_reports) EXPECT_EQ(std::get<0>(r), body.size());
    EXPECT_EQ(std::get<1>(g_reports.back()), body.size());
    EXPECT_EQ(std::get<1>(g_reports[g_reports.size() - 2]), body.size());
    EXPECT_EQ(dl.Received(), body.size());
}

TEST_F(DownloaderTest, ReplacesAReadOnlyFileAndWorksWithoutCallback)
{
    WriteBytes("out.bin", "old contents that are longer than the new");
    SetFileAttributesW(L"out.bin", FILE_ATTRIBUTE_READONLY);
    dl.SetProgressCallback(nullptr);
    ASSERT_EQ(Get(http.FaultUrl("ok/10")), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(10));
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(DownloaderTest, OnlyStatus200And206AreAccepted)
{
    for (int status : {404, 500, 302, 204}) {
        EXPECT_EQ(Get(http.FaultUrl("status/" + std::to_string(status))), DOWNLOAD_REQUEST_FAILED) << status;
        EXPECT_EQ(size, 0xDEADBEEFu) << "size untouched on failure";
    }
    ASSERT_EQ(Get(http.FaultUrl("p206/5000")), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(5000));
}

TEST_F(DownloaderTest, RequestsGoOutLowerCasedWithForwardSlashes)
{
    const std::string url = "HTTP://127.0.0.1:" + std::to_string(http.faultPort) + "/OK\\Dir\\FILE/77";
    ASSERT_EQ(Get(url), DOWNLOAD_OK);
    EXPECT_EQ(http.Requests().back(), "GET /ok/dir/file/77 HTTP/1.1");
}

TEST_F(DownloaderTest, ACutOffBodyIsFetchedAgainFromTheStart)
{
    // Larger than one read, so that the second attempt reports less at first.
    const std::string key = Unique();
    const size_t n = 3 * CINetDownLoad::kReadBuffer;
    ASSERT_EQ(Get(http.FaultUrl("cutonce/" + key + "/" + std::to_string(n))), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(n));
    size_t requests = 0;
    for (const std::string& line : http.Requests()) requests += line.find(key) != std::string::npos;
    EXPECT_EQ(requests, 2u);
    bool fellBack = false;
    for (size_t i = 1; i < g_reports.size(); ++i)
        fellBack = fellBack || std::get<1>(g_reports[i]) < std::get<1>(g_reports[i - 1]);
    EXPECT_TRUE(fellBack) << "the second attempt starts again at 0";
}

TEST_F(DownloaderTest, ALengthThatNeverMatchesFailsAfterABoundedNumberOfAttempts)
{
    const size_t before = http.Requests().size();
    EXPECT_EQ(Get(http.FaultUrl("fewer/5000")), DOWNLOAD_REQUEST_FAILED);
    EXPECT_EQ(http.Requests().size() - before, static_cast<size_t>(CINetDownLoad::kMaxAttempts));
    EXPECT_EQ(size, 0xDEADBEEFu);

    // Bytes after the announced length: either cut off at the length or
    // refused, never taken as the body.
    const int more = Get(http.FaultUrl("more/5000"));
    if (more == DOWNLOAD_OK)
        EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(5000));
    else
        EXPECT_EQ(more, DOWNLOAD_REQUEST_FAILED);
}

TEST_F(DownloaderTest, BodiesWithoutALengthHeaderAreCompleteWhenTheyEndNormally)
{
    ASSERT_EQ(Get(http.FaultUrl("chunked/25000")), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(25000));
    EXPECT_EQ(size, 25000u);

    ASSERT_EQ(Get(http.FaultUrl("close/30000")), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(30000));

    ASSERT_EQ(Get(http.FaultUrl("empty")), DOWNLOAD_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ReadBytes("out.bin"), "");
}

TEST_F(DownloaderTest, ASlowBodyReportsItsSpeed)
{
    ASSERT_EQ(Get(http.FaultUrl("slow/100000/250")), DOWNLOAD_OK);
    EXPECT_TRUE(ReadBytes("out.bin") == PatternBytes(100000));
    std::uint32_t fastest = 0;
    for (const Report& r : g_reports) fastest = std::max(fastest, std::get<2>(r));
    EXPECT_GT(fastest, 0u);
    EXPECT_LE(fastest, 100000u);
}

TEST_F(DownloaderTest, LocalFailuresHaveTheirOwnCodes)
{
    WriteBytes("file", "x");
    EXPECT_EQ(Get(http.FaultUrl("ok/10"), "file\\sub\\out.bin"), DOWNLOAD_NO_DIRECTORY);
    fs::create_directory("adir");
    EXPECT_EQ(Get(http.FaultUrl("ok/10"), "adir"), DOWNLOAD_NO_FILE);
    EXPECT_EQ(size, 0xDEADBEEFu);
}

TEST_F(DownloaderTest, NoServerMeansTheRequestFailed)
{
    // A port that was free a moment ago.
    ASSERT_TRUE(Base::System::IsWinsockStarted());
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    EXPECT_EQ(Get("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/x"), DOWNLOAD_REQUEST_FAILED);
    CINetDownLoad closed;
    EXPECT_EQ(closed.Download(L"http://127.0.0.1/", L"x", nullptr), DOWNLOAD_REQUEST_FAILED);
}

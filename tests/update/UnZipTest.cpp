#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <map>

#include "EngineTestUtil.h"
#include "TestUtil.h"
#include "GameFixture.h"
#include "update/UpdateEngine.h"

namespace {

std::vector<float> g_single, g_total;

class UnZipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_single.clear();
        g_total.clear();
        engine.InitLogSystem();
        engine.SetSingleProgressCallback([](float f) { g_single.push_back(f); });
        engine.SetTotalProgressCallback([](float f) { g_total.push_back(f); });
    }
    void TearDown() override { engine.CloseLog(true); }
    std::wstring Zip(const char* name) { return (zips / name).wstring(); }
    fs::path zips = FixtureDir("TW_ZIP_DIR");
    ScopedTestDir dir;
    CUpdateEngine engine;
};

}  // namespace

TEST_F(UnZipTest, UnpacksEverythingBelowTheTargetLowerCasedWithSteadyProgressAlsoByTwoReaders)
{
    WriteBytes("game/readme.txt", "old");
    SetFileAttributesW(L"game\\readme.txt", FILE_ATTRIBUTE_READONLY);  // replaced all the same
    std::ifstream expected(zips / "expected.txt");
    std::vector<std::string> names;
    for (std::string name, size; expected >> name >> size;) names.push_back(name);
    ASSERT_EQ(names.size(), 4u);
    for (const char* name : {"deflated.zip", "stored.zip"}) {
        ASSERT_TRUE(engine.UnZipFile(Zip(name), L"Game\\", true, 0.2f, 0.6f)) << name;
        for (const std::string& f : names)  // on disk the names are lower case
            EXPECT_TRUE(TakeSnapshot("game").files.at(Lower(f)) == ReadBytes(zips / "src" / f)) << f;
    }
    EXPECT_FALSE(fs::exists("game/data/emptydir")) << "directory entries are not extracted on their own";
    EXPECT_EQ(g_single, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
    ASSERT_EQ(g_total.size(), 8u);
    EXPECT_FLOAT_EQ(g_total[0], 0.3f);
    EXPECT_FLOAT_EQ(g_total[3], 0.6f);

    // Without a target: the temp directory, and no progress for the update information.
    g_single.clear();
    ASSERT_TRUE(engine.UnZipFile(Zip("deflated.zip"), L"", false, 0.0f, 1.0f));
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/data/sub/file1.txt"));
    EXPECT_TRUE(g_single.empty());

    // Many files are unpacked by two readers.
    ASSERT_TRUE(engine.UnZipFile(Zip("many.zip"), L"out\\", true, 0.0f, 1.0f));
    for (auto& e : fs::recursive_directory_iterator(zips / "many"))
        EXPECT_TRUE(!e.is_regular_file() || ReadBytes("out" / fs::relative(e.path(), zips / "many")) == ReadBytes(e.path()));
    EXPECT_EQ(TakeSnapshot("out").files.size(), 40u);
    // Reported from the calling thread: steps of whole files, rising to 1.
    ASSERT_FALSE(g_single.empty());
    EXPECT_FLOAT_EQ(g_single.back(), 1.0f);
    for (size_t i = 0; i < g_single.size(); ++i) {
        EXPECT_FLOAT_EQ(g_single[i] * 40, std::round(g_single[i] * 40)) << i;
        EXPECT_TRUE(i == 0 || g_single[i - 1] < g_single[i]) << i;
    }
}

TEST_F(UnZipTest, BrokenArchivesFailAndUnsafeNamesRefuseTheWholeArchive)
{
    EXPECT_FALSE(engine.UnZipFile(Zip("missing.zip"), L"out\\", false, 0, 1));
    EXPECT_FALSE(engine.UnZipFile(Zip("crc.zip"), L"out\\", false, 0, 1));
    EXPECT_TRUE(fs::exists("out/good.txt")) << "entries before the failure stay";
    fs::remove_all("out");
    fs::create_directories("deep/inside/target");
    // Refused before anything is written (stop at the first one that gets through).
    for (const char* name : {"parent.zip", "inner.zip", "backslash.zip", "absolute.zip", "drive.zip", "stream.zip"}) {
        ASSERT_FALSE(engine.UnZipFile(Zip(name), L"deep\\inside\\target\\", false, 0, 1)) << name;
        ASSERT_EQ(TakeSnapshot(".").files.size(), 0u) << name;  // the log is in PatchCfg\\PatchTemp
    }
}

// Names arrive in every encoding packers use: each archive is unpacked with
// its names exactly as written, or refused whole with the name in the log.
TEST_F(UnZipTest, NamesInAnyLanguageUnpackExactlyAndUndecodableOrClashingOnesAreRefused)
{
    wchar_t ansi[16] = L"";
    MultiByteToWideChar(CP_ACP, 0, "caf\xe9.txt", -1, ansi, 16);  // how this machine reads the unflagged bytes
    // files: empty: refused
    const struct { const char* zip; std::map<std::wstring, std::string> files; const wchar_t* logLine; } cases[] = {
        {"utf8names.zip",
         {{L"donn\u00e9es/caf\u00e9/r\u00e9sum\u00e9.txt", "latin"}, {L"\u6570\u636e/\u6587\u4ef6.txt", "cjk"},
          {L"\U0001F600/emoji\U0001F600.txt", "emoji"}, {L"e\u0301.txt", "nfd"}, {L"\u00e9.txt", "nfc"}},
         nullptr},
        {"unflagged.zip", {{ansi, "ansi"}}, nullptr},
        {"badutf8.zip", {}, L"(bytes 626164ff2e747874) (flagged UTF-8 but not valid UTF-8)"},
        {"caseclash.zip", {}, L"DATA/A.TXT (differs from Data/a.txt only in case)"},
        {"caseclash2.zip", {}, L"\u00e9T\u00c9.txt (differs from \u00c9t\u00e9.txt only in case)"},
        {"fileanddir.zip", {}, L"Data/x.txt (a file, data, has the name of its folder)"},
    };
    for (const auto& c : cases) {
        fs::remove_all("out");
        EXPECT_EQ(engine.UnZipFile(Zip(c.zip), L"out\\", false, 0, 1), !c.files.empty()) << c.zip;
        std::map<std::wstring, std::string> got;
        if (fs::exists("out"))
            for (auto& e : fs::recursive_directory_iterator("out"))
                if (e.is_regular_file()) got[e.path().lexically_relative("out").generic_wstring()] = ReadBytes(e.path());
        EXPECT_EQ(got, c.files) << c.zip;
        EXPECT_TRUE(!c.logLine || LogText(engine.GetLogPath()).find(c.logLine) != std::wstring::npos) << c.zip;
    }
}

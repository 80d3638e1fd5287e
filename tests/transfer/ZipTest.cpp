#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "EngineTestUtil.h"
#include "Fixtures.h"
#include "transfer/Md5.h"
#include "transfer/Md5File.h"
#include "transfer/ZipWrapper.h"
#include "update/UpdateEngine.h"

using FileIO::CZipWrapper;

namespace {

class ZipTest : public ::testing::Test {
protected:
    std::wstring Zip(const char* name) { return (zips / name).wstring(); }
    std::wstring Log() { return ReadUtf16File("PatchCfg/PatchTemp/Tidewell.log"); }

    fs::path zips = FixtureDir("TW_ZIP_DIR");
    ScopedTestDir dir;
};

// Files of the fixture tree with their sizes, from expected.txt.
std::vector<std::pair<std::string, size_t>> ExpectedFiles(const fs::path& zips)
{
    std::vector<std::pair<std::string, size_t>> files;
    std::ifstream in(zips / "expected.txt");
    std::string name;
    size_t size;
    while (in >> name >> size) files.emplace_back(name, size);
    return files;
}

std::string Lower(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool ListedAs(const fs::path& dirPath, const std::string& name)
{
    for (const auto& e : fs::directory_iterator(dirPath))
        if (e.path().filename().string() == name) return true;
    return false;
}

std::vector<float> g_single, g_total;
void Single(float f) { g_single.push_back(f); }
void Total(float f) { g_total.push_back(f); }

std::uint64_t WriteTimeUtc(const fs::path& p)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(p.wstring().c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

std::uint64_t FileTimeOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return (static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

}  // namespace

TEST_F(ZipTest, ListsFilesInArchiveOrderWithoutDirectories)
{
    CZipWrapper zip(Zip("deflated.zip").c_str(), CZipWrapper::MODE_READ);
    ASSERT_FALSE(zip.IsReaderClosed());
    std::vector<std::wstring> names = zip.ListFiles();
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Empty.dat", L"Readme.TXT", L"Data/Sub/File1.txt",
                                                L"Data/Deep/A/B/c.bin"}));
    EXPECT_EQ(zip.EntryCount(), 10u);
    zip.Close();
    EXPECT_TRUE(zip.IsReaderClosed());
    EXPECT_TRUE(zip.ListFiles().empty());
    EXPECT_FALSE(zip.Open(nullptr, CZipWrapper::MODE_READ));
    EXPECT_FALSE(zip.Open(Zip("notazip.zip").c_str(), CZipWrapper::MODE_READ));
}

TEST_F(ZipTest, ExtractFindsEntriesWhateverTheCaseAndSlashes)
{
    CZipWrapper zip(Zip("stored.zip").c_str(), CZipWrapper::MODE_READ);
    ASSERT_TRUE(zip.ExtractFile(L"data\\SUB\\file1.TXT", L"x\\y\\one.txt"));
    EXPECT_TRUE(ReadBytes("x/y/one.txt") == ReadBytes(zips / "src" / "Data" / "Sub" / "File1.txt"));
    EXPECT_FALSE(zip.ExtractFile(L"Data/Sub", L"dir.txt"));  // directories are no files
    EXPECT_FALSE(zip.ExtractFile(L"missing.txt", L"m.txt"));
    EXPECT_FALSE(zip.ExtractFile(nullptr, L"m.txt"));
    EXPECT_FALSE(fs::exists("m.txt"));
}

TEST_F(ZipTest, ExtractedFilesCarryTheEntryTime)
{
    CZipWrapper zip(Zip("deflated.zip").c_str(), CZipWrapper::MODE_READ);
    ASSERT_TRUE(zip.ExtractFile(L"Readme.TXT", L"readme.txt"));
    EXPECT_EQ(WriteTimeUtc("readme.txt"), FileTimeOf(2024, 3, 4, 5, 6, 8));
}

TEST_F(ZipTest, ACrcMismatchFailsTheEntry)
{
    CZipWrapper zip(Zip("crc.zip").c_str(), CZipWrapper::MODE_READ);
    EXPECT_TRUE(zip.ExtractFile(L"good.txt", L"good.txt"));
    EXPECT_FALSE(zip.ExtractFile(L"bad.txt", L"bad.txt"));
}

TEST_F(ZipTest, UnZipFileUnpacksEverythingBelowTheTargetLowerCased)
{
    CUpdateEngine engine;
    engine.InitLogSystem();
    engine.SetSingleProgressCallback(&Single);
    engine.SetTotalProgressCallback(&Total);
    g_single.clear();
    g_total.clear();
    // A read-only file in the way is replaced.
    WriteBytes("game/readme.txt", "old");
    SetFileAttributesW(L"game\\readme.txt", FILE_ATTRIBUTE_READONLY);

    for (const char* name : {"deflated.zip", "stored.zip"}) {
        ASSERT_TRUE(engine.UnZipFile(Zip(name), L"Game\\", true, 0.2f, 0.6f)) << name;
        for (const auto& f : ExpectedFiles(zips)) {
            fs::path target = fs::path("game") / f.first;
            EXPECT_TRUE(ReadBytes(target) == ReadBytes(zips / "src" / f.first)) << f.first;
            // On disk the names are lower case.
            EXPECT_TRUE(ListedAs(target.parent_path(), Lower(target.filename().string()))) << f.first;
        }
    }
    EXPECT_FALSE(fs::exists("game/data/emptydir")) << "directory entries are not extracted on their own";
    EXPECT_EQ(g_single, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
    ASSERT_EQ(g_total.size(), 8u);
    EXPECT_FLOAT_EQ(g_total[0], 0.3f);
    EXPECT_FLOAT_EQ(g_total[3], 0.6f);
    EXPECT_NE(Log().find(L"UnZipFile:" + Zip("stored.zip") + L" to Game\\ isManualPak=1\r\n"), std::wstring::npos);
    EXPECT_NE(Log().find(L"UnZipFile:End succeed\r\n"), std::wstring::npos);
    engine.CloseLog(true);
}

TEST_F(ZipTest, ManyFilesAreUnpackedByTwoReadersWithSteadyProgress)
{
    CUpdateEngine engine;
    engine.SetSingleProgressCallback(&Single);
    g_single.clear();
    ASSERT_TRUE(engine.UnZipFile(Zip("many.zip"), L"out\\", true, 0.0f, 1.0f));
    size_t files = 0;
    for (auto it = fs::recursive_directory_iterator(zips / "many"); it != fs::end(it); ++it) {
        if (!it->is_regular_file()) continue;
        ++files;
        const fs::path rel = fs::relative(it->path(), zips / "many");
        EXPECT_TRUE(ReadBytes(fs::path("out") / rel) == ReadBytes(it->path())) << rel;
    }
    EXPECT_EQ(files, 40u);
    // Reported from the calling thread: steps of whole files, rising to 1.
    ASSERT_FALSE(g_single.empty());
    EXPECT_FLOAT_EQ(g_single.back(), 1.0f);
    for (size_t i = 0; i < g_single.size(); ++i) {
        EXPECT_FLOAT_EQ(g_single[i] * 40, std::round(g_single[i] * 40)) << i;
        if (i > 0) {
            EXPECT_LT(g_single[i - 1], g_single[i]) << i;
        }
    }
}

TEST_F(ZipTest, UnZipFileWithoutTargetUsesTheTempDirectoryAndReportsNothing)
{
    CUpdateEngine engine;
    engine.InitLogSystem();
    engine.SetSingleProgressCallback(&Single);
    g_single.clear();
    ASSERT_TRUE(engine.UnZipFile(Zip("deflated.zip"), L"", false, 0.0f, 1.0f));
    EXPECT_TRUE(fs::exists("PatchCfg/PatchTemp/data/sub/file1.txt"));
    EXPECT_TRUE(g_single.empty());
    EXPECT_NE(Log().find(L"to CurrentDirectory.isManualPak=0\r\n"), std::wstring::npos);
    engine.CloseLog(true);
}

TEST_F(ZipTest, UnZipFileFailuresAreLogged)
{
    CUpdateEngine engine;
    engine.InitLogSystem();
    EXPECT_FALSE(engine.UnZipFile(Zip("missing.zip"), L"out\\", false, 0, 1));
    EXPECT_NE(Log().find(L"Error: cannot open file " + Zip("missing.zip") + L",ErrorCode:"), std::wstring::npos);
    EXPECT_FALSE(engine.UnZipFile(Zip("crc.zip"), L"out\\", false, 0, 1));
    EXPECT_NE(Log().find(L"Error:unzip bad.txt to out\\bad.txt failed,ErrorCode:"), std::wstring::npos);
    EXPECT_TRUE(fs::exists("out/good.txt")) << "entries before the failure stay";
    engine.CloseLog(true);
}

TEST_F(ZipTest, ArchivesWithUnsafeNamesAreRefusedWholeAndWriteNothing)
{
    CUpdateEngine engine;
    engine.InitLogSystem();
    fs::create_directories("deep/inside/target");
    for (const char* name : {"parent.zip", "inner.zip", "backslash.zip", "absolute.zip", "drive.zip", "stream.zip"}) {
        EXPECT_FALSE(engine.UnZipFile(Zip(name), L"deep\\inside\\target\\", false, 0, 1)) << name;
        EXPECT_NE(Log().find(L"Error:unzip " + Zip(name) + L" refused, unsafe entry name"), std::wstring::npos)
            << name;
    }
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator("."); it != fs::end(it); ++it)
        if (it->is_regular_file() && it->path().filename() != "Tidewell.log") ++count;
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(fs::exists("C:/evil.txt"));
    engine.CloseLog(true);
}

TEST(Md5Test, FilesHashWholeAcrossMappingWindows)
{
    ScopedTestDir dir;
    std::string data = PatternBytes(3 * 65536 + 4097);
    WriteBytes("data.bin", data);
    CMd5 reference;
    reference.Update(data.data(), data.size());
    unsigned char expected[16];
    reference.Final(expected);

    unsigned char digest[16];
    ASSERT_TRUE(ComputeFileMd5(L"data.bin", digest, 65536));
    EXPECT_EQ(Md5Hex(digest), Md5Hex(expected));
    const char* hex = MD5ToHex(MD5File("data.bin"));
    EXPECT_EQ(std::string(hex), Md5Hex(expected));
    for (const char* p = hex; *p; ++p) EXPECT_TRUE((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'));

    WriteBytes("empty.bin", "");
    EXPECT_STREQ(MD5ToHex(MD5File(L"empty.bin")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5File(L"missing.bin"), nullptr);
    EXPECT_STREQ(MD5ToHex(nullptr), "");
}

// Opt-in: TW_LARGE_TESTS=1 (a file and an archive entry over 4 GiB).
TEST(LargeFileTest, FilesAndEntriesOver4GiB)
{
    const char* large = std::getenv("TW_LARGE_TESTS");
    if (large == nullptr || std::string(large) != "1") GTEST_SKIP() << "set TW_LARGE_TESTS=1";
    ScopedTestDir dir;
    const std::uint64_t size = (4ull << 30) + 3;
    {
        HANDLE h = CreateFileW(L"sparse.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(size);
        SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
    CMd5 zeros;
    std::string block(1 << 20, '\0');
    for (std::uint64_t left = size; left > 0;) {
        size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
        zeros.Update(block.data(), n);
        left -= n;
    }
    unsigned char expected[16];
    zeros.Final(expected);
    EXPECT_EQ(FileMd5Hex(L"sparse.bin"), Md5Hex(expected));
    fs::remove("sparse.bin");

    CZipWrapper zip((FixtureDir("TW_ZIP_DIR") / "large.zip").wstring().c_str(), CZipWrapper::MODE_READ);
    ASSERT_TRUE(zip.ExtractFile(L"huge.bin", L"huge.bin"));
    EXPECT_EQ(fs::file_size("huge.bin"), size);
    EXPECT_EQ(FileMd5Hex(L"huge.bin"), Md5Hex(expected));
}

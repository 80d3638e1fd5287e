#include <gtest/gtest.h>
#include <windows.h>

#include "TestUtil.h"
#include "transfer/Md5.h"
#include "transfer/Md5File.h"
#include "transfer/ZipWrapper.h"

using FileIO::CZipWrapper;

namespace {

std::uint64_t WriteTimeUtc(const fs::path& p)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(p.wstring().c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

std::uint64_t LocalFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st = {year, month, 0, day, hour, minute, second, 0};
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return (static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

class ZipTest : public ::testing::Test {
protected:
    std::wstring Zip(const char* name) { return (zips / name).wstring(); }
    fs::path zips = FixtureDir("TW_ZIP_DIR");
    ScopedTestDir dir;
};

}  // namespace

TEST_F(ZipTest, ListsFilesInArchiveOrderAndFindsThemWhateverTheCaseAndSlashes)
{
    CZipWrapper zip(Zip("deflated.zip").c_str(), CZipWrapper::MODE_READ);
    ASSERT_FALSE(zip.IsReaderClosed());
    EXPECT_EQ(zip.ListFiles(), (std::vector<std::wstring>{L"Empty.dat", L"Readme.TXT", L"Data/Sub/File1.txt",
                                                            L"Data/Deep/A/B/c.bin"}));
    EXPECT_EQ(zip.EntryCount(), 10u);
    ASSERT_TRUE(zip.ExtractFile(L"data\\SUB\\file1.TXT", L"x\\y\\one.txt"));
    EXPECT_TRUE(ReadBytes("x/y/one.txt") == ReadBytes(zips / "src" / "Data" / "Sub" / "File1.txt"));
    ASSERT_TRUE(zip.ExtractFile(L"Readme.TXT", L"readme.txt"));
    EXPECT_EQ(WriteTimeUtc("readme.txt"), LocalFileTime(2024, 3, 4, 5, 6, 8)) << "the entry's time";
    EXPECT_FALSE(zip.ExtractFile(L"Data/Sub", L"m.txt"));  // directories are no files
    EXPECT_FALSE(zip.ExtractFile(L"missing.txt", L"m.txt"));
    EXPECT_FALSE(zip.ExtractFile(nullptr, L"m.txt"));
    EXPECT_FALSE(fs::exists("m.txt"));
    zip.Close();
    EXPECT_TRUE(zip.ListFiles().empty());
    EXPECT_FALSE(zip.Open(nullptr, CZipWrapper::MODE_READ));
    EXPECT_FALSE(zip.Open(Zip("notazip.zip").c_str(), CZipWrapper::MODE_READ));

    CZipWrapper crc(Zip("crc.zip").c_str(), CZipWrapper::MODE_READ);
    EXPECT_TRUE(crc.ExtractFile(L"good.txt", L"good.txt"));
    EXPECT_FALSE(crc.ExtractFile(L"bad.txt", L"bad.txt")) << "only the CRC tells";
}

TEST(Md5FileTest, FilesHashWholeAcrossMappingWindows)
{
    ScopedTestDir dir;
    const std::string data = PatternBytes(3 * 65536 + 4097);
    WriteBytes("data.bin", data);
    unsigned char digest[16];
    ASSERT_TRUE(ComputeFileMd5(L"data.bin", digest, 65536));
    EXPECT_EQ(Md5Hex(digest), Md5HexOf(data));
    EXPECT_EQ(std::string(MD5ToHex(MD5File("data.bin"))), Md5HexOf(data));
    WriteBytes("empty.bin", "");
    EXPECT_STREQ(MD5ToHex(MD5File(L"empty.bin")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5File(L"missing.bin"), nullptr);
    EXPECT_STREQ(MD5ToHex(nullptr), "");
}

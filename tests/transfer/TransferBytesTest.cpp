// Platform-neutral pieces of the transfer code; built for the host too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "transfer/Md5.h"
#include "transfer/PathCheck.h"
#include "transfer/ProgressFigures.h"

TEST(Md5Test, Rfc1321Vectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& v : vectors) {
        CMd5 whole;
        whole.Update(v.first, std::strlen(v.first));
        unsigned char d[16];
        whole.Final(d);
        EXPECT_EQ(Md5Hex(d), v.second) << v.first;
        // Byte by byte gives the same digest.
        CMd5 bytes;
        for (const char* p = v.first; *p; ++p) bytes.Update(p, 1);
        bytes.Final(d);
        EXPECT_EQ(Md5Hex(d), v.second) << v.first;
    }
}

TEST(Md5Test, SplitUpdatesMatchOneUpdate)
{
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
    CMd5 one;
    one.Update(data.data(), data.size());
    unsigned char a[16], b[16];
    one.Final(a);
    for (size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 129u, 999u}) {
        CMd5 two;
        two.Update(data.data(), split);
        two.Update(data.data() + split, data.size() - split);
        two.Final(b);
        EXPECT_EQ(Md5Hex(a), Md5Hex(b)) << split;
    }
}

TEST(PathCheckTest, OnlyPlainRelativePathsPass)
{
    for (const char* ok : {"a.txt", "Data/Sub/x.bin", "Data\\Sub\\x.bin", "a..b/c", "..a", "./x", "a./b"})
        EXPECT_TRUE(IsSafeRelativePath(std::string(ok))) << ok;
    for (const char* bad : {"", "../x", "a/../../x", "a\\..\\x", "..", "a/..", "/abs", "\\abs", "\\\\server\\share\\x",
                            "C:/x", "c:x", "C:\\x", "a/b:stream", "x:", "dir/.../x", "a/. ./b", "a/.. "})
        EXPECT_FALSE(IsSafeRelativePath(std::string(bad))) << bad;
    EXPECT_FALSE(IsSafeRelativePath(std::wstring(L"ok\\..\\..\\evil.txt")));
    EXPECT_TRUE(IsSafeRelativePath(std::wstring(L"\x4E2D\\x.txt")));
}

TEST(PathCheckTest, IndexKeysIgnoreCaseAndSlashDirection)
{
    EXPECT_EQ(ZipIndexKey("Data\\SUB/File.TXT"), "data/sub/file.txt");
    EXPECT_EQ(ZipIndexKey("\xC4\xE3" "Abc"), "\xC4\xE3" "abc");  // bytes above 0x7F stay
}

TEST(ProgressFiguresTest, SpeedUnits)
{
    SDownloadFigures f = ComputeDownloadFigures(100, 0, 1048576);
    EXPECT_FALSE(f.megabytes);
    EXPECT_FLOAT_EQ(f.speed, 1024.0f);
    f = ComputeDownloadFigures(100, 0, 1048577);
    EXPECT_TRUE(f.megabytes);
    EXPECT_NEAR(f.speed, 1.0f, 1e-5);
}

TEST(ProgressFiguresTest, LargeDownloadsShowPiecesOf256MiB)
{
    const std::uint32_t MiB = 1048576;
    SDownloadFigures f = ComputeDownloadFigures(2048u * MiB, 3 * 256 * MiB + 128 * MiB, 0);
    EXPECT_EQ(f.pieceIndex, 3);
    EXPECT_EQ(f.pieceCount, 8);
    EXPECT_FLOAT_EQ(f.total, 256.0f);
    EXPECT_FLOAT_EQ(f.received, 128.0f);
    EXPECT_FLOAT_EQ(f.single, 0.5f);
}

TEST(ProgressFiguresTest, SmallAndMidSizeDownloadsAreOnePieceWithoutNaN)
{
    const std::uint32_t MiB = 1048576;
    // 300 MiB: the received figure keeps counting past 256 MiB.
    SDownloadFigures f = ComputeDownloadFigures(300 * MiB, 256 * MiB, 0);
    EXPECT_EQ(f.pieceIndex, 0);
    EXPECT_EQ(f.pieceCount, 1);
    EXPECT_FLOAT_EQ(f.received, 256.0f);
    EXPECT_FLOAT_EQ(f.total, 300.0f);
    f = ComputeDownloadFigures(300 * MiB, 300 * MiB, 0);
    EXPECT_EQ(f.pieceIndex, 1);
    EXPECT_FLOAT_EQ(f.single, 1.0f);

    for (std::uint32_t total : {1u, 512u, 1024u, 700000u, MiB}) {
        f = ComputeDownloadFigures(total, total / 2, 0);
        EXPECT_TRUE(std::isfinite(f.single)) << total;
        EXPECT_NEAR(f.single, static_cast<float>(total / 2) / total, 1e-6) << total;
        EXPECT_EQ(f.pieceCount, 1);
    }
    // Unknown total: only what has arrived.
    f = ComputeDownloadFigures(0, 5 * MiB, 0);
    EXPECT_FLOAT_EQ(f.single, 0.0f);
    EXPECT_FLOAT_EQ(f.received, 5.0f);
    EXPECT_FLOAT_EQ(f.total, 0.0f);
    // More than announced never shows over 100 %.
    EXPECT_FLOAT_EQ(ComputeDownloadFigures(100, 150, 0).single, 1.0f);
}

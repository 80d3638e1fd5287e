// Platform-neutral pieces of the transfer code; built for the host too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "transfer/Md5.h"
#include "transfer/PathCheck.h"
#include "transfer/ProgressFigures.h"

TEST(Md5Test, Rfc1321VectorsWholeAndInPieces)
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
        EXPECT_EQ(Md5HexOf(v.first), v.second) << v.first;
        // Every split point gives the same digest.
        for (size_t split = 0; split <= std::strlen(v.first); ++split) {
            CMd5 two;
            two.Update(v.first, split);
            two.Update(v.first + split, std::strlen(v.first) - split);
            unsigned char d[16];
            two.Final(d);
            ASSERT_EQ(Md5Hex(d), v.second) << v.first << " split at " << split;
        }
    }
}

TEST(PathCheckTest, OnlyPlainRelativePathsPass)
{
    for (const char* ok : {"a.txt", "Data/Sub/x.bin", "Data\\Sub\\x.bin", "a..b/c", "..a", "./x", "a./b"})
        EXPECT_TRUE(IsSafeRelativePath(std::string(ok))) << ok;
    for (const char* bad : {"", "../x", "a/../../x", "a\\..\\x", "..", "a/..", "/abs", "\\abs", "\\\\server\\share\\x",
                            "C:/x", "c:x", "C:\\x", "a/b:stream", "x:", "dir/.../x", "a/. ./b", "a/.. "})
        EXPECT_FALSE(IsSafeRelativePath(std::string(bad))) << bad;
    EXPECT_TRUE(IsSafeRelativePath(std::wstring(L"\x4E2D\\x.txt")));
    const std::vector<std::wstring> names = {L"a.txt", L"ok\\..\\..\\evil.txt", L"C:\\x"};
    ASSERT_NE(FirstUnsafePath(names), nullptr);
    EXPECT_EQ(*FirstUnsafePath(names), names[1]);
    EXPECT_EQ(FirstUnsafePath({L"a", L"b/c"}), nullptr);
    EXPECT_EQ(ZipIndexKey("Data\\SUB/File.TXT"), "data/sub/file.txt");
    EXPECT_EQ(ZipIndexKey("\xC4\xE3" "Abc"), "\xC4\xE3" "abc");  // bytes above 0x7F stay
}

TEST(ProgressFiguresTest, PiecesOf256MiBOverOneGiBOnePieceBelowNeverNaN)
{
    const std::uint32_t MiB = 1048576;
    const struct {
        std::uint32_t total, received, speed;
        int index, count;
        float receivedMiB, totalMiB, single, speedFigure;
        bool megabytes;
    } cases[] = {
        {2048 * MiB, 3 * 256 * MiB + 128 * MiB, 3 * MiB, 3, 8, 128, 256, 0.5f, 3, true},
        {300 * MiB, 256 * MiB, MiB, 0, 1, 256, 300, 256.0f / 300, 1024, false},  // no restart at 256 MiB
        {300 * MiB, 300 * MiB, MiB + 1, 1, 1, 300, 300, 1, 1, true},
        {512, 256, 2048, 0, 1, 256.0f / MiB, 512.0f / MiB, 0.5f, 2, false},
        {0, 5 * MiB, 0, 0, 1, 5, 0, 0, 0, false},  // unknown total: only what has arrived
        {100, 150, 0, 1, 1, 150.0f / MiB, 100.0f / MiB, 1, 0, false},  // never over 100 %
    };
    for (const auto& c : cases) {
        const SDownloadFigures f = ComputeDownloadFigures(c.total, c.received, c.speed);
        EXPECT_EQ(f.pieceIndex, c.index) << c.total;
        EXPECT_EQ(f.pieceCount, c.count) << c.total;
        EXPECT_FLOAT_EQ(f.received, c.receivedMiB) << c.total;
        EXPECT_FLOAT_EQ(f.total, c.totalMiB) << c.total;
        EXPECT_TRUE(std::isfinite(f.single));
        EXPECT_NEAR(f.single, c.single, 1e-6) << c.total;
        EXPECT_NEAR(f.speed, c.speedFigure, 1e-5) << c.total;
        EXPECT_EQ(f.megabytes, c.megabytes) << c.total;
    }
}

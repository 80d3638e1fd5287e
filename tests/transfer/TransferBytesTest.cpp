// Platform-neutral pieces of the transfer code; built for the host too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "transfer/Md5.h"
#include "transfer/PathFence.h"
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

TEST(PathFenceTest, OnlyPlainRelativeNamesPassAndPackagesKeepOutOfTheEnginesFiles)
{
    const struct {
        const char* name;
        ENameKind kind;
        ENameVerdict verdict;
    } cases[] = {
        {"a.txt", NAME_PLAIN_FILE, NAME_OK}, {"Data/Sub/x.bin", NAME_RELATIVE_PATH, NAME_OK},
        {"a..b\\..c", NAME_RELATIVE_PATH, NAME_OK}, {"launcher.exe", NAME_PACKAGE_TARGET, NAME_OK},
        {"PatchCfg\\Revision.xml", NAME_PACKAGE_TARGET, NAME_OK}, {"PatchCfg\\PatchTempo", NAME_PACKAGE_TARGET, NAME_OK},
        {"", NAME_RELATIVE_PATH, NAME_EMPTY}, {"Data\\x.bin", NAME_PLAIN_FILE, NAME_NOT_PLAIN},
        {"..\\..\\x.exe", NAME_PLAIN_FILE, NAME_NOT_PLAIN}, {"../x", NAME_RELATIVE_PATH, NAME_DOT_COMPONENT},
        {"a/./b", NAME_RELATIVE_PATH, NAME_DOT_COMPONENT}, {"a/. ./b", NAME_RELATIVE_PATH, NAME_DOT_COMPONENT},
        {"...", NAME_PLAIN_FILE, NAME_DOT_COMPONENT}, {"a//b", NAME_RELATIVE_PATH, NAME_EMPTY_COMPONENT},
        {"a\\", NAME_RELATIVE_PATH, NAME_EMPTY_COMPONENT}, {"/abs", NAME_RELATIVE_PATH, NAME_ROOTED},
        {"\\\\server\\share\\x", NAME_RELATIVE_PATH, NAME_ROOTED}, {"\\\\?\\C:\\x", NAME_RELATIVE_PATH, NAME_ROOTED},
        {"C:x", NAME_PLAIN_FILE, NAME_COLON}, {"a/b:stream", NAME_RELATIVE_PATH, NAME_COLON},
        {"a\x01" "b", NAME_PLAIN_FILE, NAME_BAD_CHARACTER}, {"a*b", NAME_PLAIN_FILE, NAME_BAD_CHARACTER},
        {"a.", NAME_PLAIN_FILE, NAME_TRAILING_DOT_OR_BLANK}, {"dir /x", NAME_RELATIVE_PATH, NAME_TRAILING_DOT_OR_BLANK},
        {"COM1", NAME_PLAIN_FILE, NAME_DEVICE}, {"Data/nul.xml", NAME_RELATIVE_PATH, NAME_DEVICE},
        {"con .txt", NAME_PLAIN_FILE, NAME_DEVICE}, {"LPT9.log", NAME_PLAIN_FILE, NAME_DEVICE},
        {"COM\xB9", NAME_PLAIN_FILE, NAME_DEVICE}, {"CONOUT$", NAME_PLAIN_FILE, NAME_DEVICE},
        {"COM10", NAME_PLAIN_FILE, NAME_OK}, {"console", NAME_PLAIN_FILE, NAME_OK},
        {"PATCHC~1\\x", NAME_RELATIVE_PATH, NAME_SHORT_ALIAS},
        {"PatchCfg\\NewUpdateCfg.xml", NAME_PACKAGE_TARGET, NAME_ENGINE_OWNED},
        {"patchcfg/newupdatecfg.EML", NAME_PACKAGE_TARGET, NAME_ENGINE_OWNED},
        {"PatchCfg/PatchTemp", NAME_PACKAGE_TARGET, NAME_ENGINE_OWNED},
        {"PatchCfg\\PatchBackup\\journal.txt", NAME_PACKAGE_TARGET, NAME_ENGINE_OWNED},
        {"PatchCfg\\NewUpdateCfg.xml", NAME_RELATIVE_PATH, NAME_OK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FenceName(std::string(c.name), c.kind), c.verdict) << c.name;
        std::wstring wide;
        for (const char* p = c.name; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
        EXPECT_EQ(FenceName(wide, c.kind), c.verdict) << c.name;
    }
    EXPECT_EQ(FenceName(std::string(kMaxNameLength + 1, 'a'), NAME_PLAIN_FILE), NAME_TOO_LONG);
    std::wstring normalised;
    EXPECT_EQ(FenceName(std::wstring(L"\x4E2D/x.txt"), NAME_RELATIVE_PATH, &normalised), NAME_OK);
    EXPECT_EQ(normalised, L"\x4E2D\\x.txt");
    const std::vector<std::wstring> names = {L"a.txt", L"ok\\..\\..\\evil.txt", L"C:\\x"};
    ENameVerdict verdict = NAME_OK;
    ASSERT_NE(FirstRefusedName(names, NAME_RELATIVE_PATH, &verdict), nullptr);
    EXPECT_EQ(*FirstRefusedName(names, NAME_RELATIVE_PATH), names[1]);
    EXPECT_EQ(verdict, NAME_DOT_COMPONENT);
    EXPECT_EQ(ZipIndexKey("Data\\SUB/File.TXT"), "data/sub/file.txt");
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

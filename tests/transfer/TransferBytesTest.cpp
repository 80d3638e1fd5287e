// Platform-neutral pieces of the transfer code; built for the host too.
#include <gtest/gtest.h>


#include "TestUtil.h"
#include "transfer/Md5.h"
#include "transfer/PathFence.h"
#include "transfer/ProgressFigures.h"
#include "transfer/ResumeRecord.h"

TEST(Md5Test, Rfc1321VectorsWholeAndInPieces)
{
    const auto a = [](size_t n) { return std::string(n, 'a'); };
    const std::pair<std::string, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"}, {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"}, {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Lengths around the padding: from 56 bytes on, the 0x80 and the length
        // need a block of their own (digests of n letters 'a', from md5sum).
        {a(55), "ef1772b6dff9a122358552954ad0df65"}, {a(56), "3b0c8ac703f828b04c6c197006d17218"},
        {a(57), "652b906d60af96844ebd21b674f35e93"}, {a(63), "b06521f39153d618550606be297466d5"},
        {a(64), "014842d480b571495a4a0363793f7367"}, {a(119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {a(120), "5f61c0ccad4cac44c75ff505e1f1e537"},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(Md5HexOf(v.first), v.second) << v.first;
        // Every split point gives the same digest.
        for (size_t split = 0; split <= v.first.size(); ++split) {
            CMd5 two;
            two.Update(v.first.data(), split);
            two.Update(v.first.data() + split, v.first.size() - split);
            unsigned char d[16];
            two.Final(d);
            ASSERT_EQ(Md5Hex(d), v.second) << v.first << " split at " << split;
        }
    }
}

TEST(PathFenceTest, OnlyPlainRelativeNamesPassAndPackagesKeepOutOfTheEnginesFiles)
{
    const struct { const char* name; ENameKind kind; ENameVerdict verdict; } cases[] = {
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
    EXPECT_EQ(FirstRefusedName(names, NAME_RELATIVE_PATH, &verdict), &names[1]);
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
        EXPECT_NEAR(f.single, c.single, 1e-6) << c.total;  // fails on NaN too
        EXPECT_NEAR(f.speed, c.speedFigure, 1e-5) << c.total;
        EXPECT_EQ(f.megabytes, c.megabytes) << c.total;
    }
}

TEST(ResumeRecordTest, OnlyAStrongValidatorAndAWholeLengthMakeAFileResumableAndRangesAreReadStrictly)
{
    const struct { const char *etag, *date; std::uint64_t length; const char* validator; } cases[] = {
        {"\"5f-1a\"", "Mon, 07 Dec 2026 05:00:00 GMT", 100, "\"5f-1a\""},
        {"W/\"5f-1a\"", "Mon, 07 Dec 2026 05:00:00 GMT", 100, "Mon, 07 Dec 2026 05:00:00 GMT"},  // weak: the date
        {"W/\"5f-1a\"", "", 100, ""},
        {"unquoted", "", 100, ""},
        {"\"5f-1a\"", "", 0, ""},  // no length: nothing to ask the rest of
        {"\"a\nb\"", "", 100, ""},
    };
    for (const auto& c : cases) {
        const SResumeRecord r = ResumeRecordOf(c.etag, c.date, c.length);
        EXPECT_EQ(r.Validator(), c.validator) << c.etag;
        SResumeRecord back;
        const bool stored = ReadResumeRecord(ResumeRecordText(r), &back);
        EXPECT_EQ(stored, !r.Validator().empty()) << c.etag;
        EXPECT_EQ(ResumeRecordText(back), ResumeRecordText(stored ? r : SResumeRecord())) << c.etag;
    }
    // A damaged record is never trusted.
    const std::string good = ResumeRecordText(ResumeRecordOf("\"x\"", "", 5000));
    SResumeRecord out;
    ASSERT_TRUE(ReadResumeRecord(good, &out));
    for (const std::string& bad : {good.substr(0, good.size() - 1), good + "more\n", std::string("x") + good,
                                   Replaced(good, "5000", "50a0"), Replaced(good, "5000", "99999999999999999999"),
                                   Replaced(good, "5000", "-5"), Replaced(good, "length", "size"), std::string()})
        EXPECT_FALSE(ReadResumeRecord(bad, &out)) << bad;

    // Content-Range is read strictly.
    const std::pair<const char*, SContentRange> ranges[] = {{"bytes 100-199/200", {100, 199, 200}},
                                                             {"bytes 0-0/1", {0, 0, 1}},
                                                             {"bytes 4294967296-8589934591/8589934592",
                                                              {4294967296ull, 8589934591ull, 8589934592ull}}};
    SContentRange range;
    for (const auto& g : ranges) {
        ASSERT_TRUE(ParseContentRange(g.first, &range)) << g.first;
        EXPECT_EQ(std::make_tuple(range.first, range.last, range.total),
                  std::make_tuple(g.second.first, g.second.last, g.second.total)) << g.first;
    }
    for (const char* bad : {"bytes 100-199/*", "bytes */200", "bytes 100-99/200", "bytes 100-200/200", "bytes 100-199/200 ",
                            "items 100-199/200", "bytes -100-199/200", "bytes 1-99999999999999999999/200", ""})
        EXPECT_FALSE(ParseContentRange(bad, &range)) << bad;
}

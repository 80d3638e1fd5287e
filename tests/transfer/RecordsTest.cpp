// The platform-neutral readers of the journal and of what servers send.
#include <gtest/gtest.h>

#include <tinyxml.h>

#include "transfer/JournalText.h"
#include "transfer/PackageFileList.h"
#include "transfer/RevisionRecords.h"
#include "update/UpdateCfgRecord.h"
#include "update/UpdateInfoRecord.h"

TEST(JournalTextTest, OnlyAWholeWellFormedJournalProvesAnything)
{
    const std::string h = kJournalHeader;
    const struct { std::string bytes; bool ok; size_t lines; bool committed; } cases[] = {
        {h + "D\tData\nB\tData\\a.txt\nN\tb/c.txt\n", true, 3, false},
        {h + "B\tx.txt\nC\n", true, 1, true},
        {h + "B\tx.txt\nK\ty.t", true, 1, false},  // a last line cut short: its move never happened
        {h, true, 0, false},
        {"", false, 0, false},                      // empty, as an unflushed file after a power cut
        {"B\tx.txt\n", false, 0, false},            // no header
        {h + "B\tx.txt\r\n", false, 0, false},      // CR LF
        {h + "\x7F\x45LF garbage\n", false, 0, false}, {h + "X\tx.txt\n", false, 0, false},
        {h + "B\t..\\..\\x.exe\n", false, 0, false}, {h + "B\tx.txt\nC\nN\ty.txt\n", false, 0, false},
        {h + "N\tb.txt\t0123456789abcdef0123456789abcdef\n", true, 1, false},  // the digest of what was written
        {h + "B\tb.txt\t0123456789abcdef0123456789abcdef\n", false, 0, false},
        {h + "N\tb.txt\t0123456789ABCDEF0123456789abcdef\n", false, 0, false},
        {h + "N\tb.txt\t\n", false, 0, false},
    };
    for (const auto& c : cases) {
        SJournalText j;
        std::string why;
        EXPECT_EQ(ParseJournal(c.bytes, &j, &why), c.ok) << c.bytes;
        EXPECT_EQ(why.empty(), c.ok) << c.bytes;
        if (!c.ok) continue;
        EXPECT_EQ(j.lines.size(), c.lines) << c.bytes;
        EXPECT_EQ(j.committed, c.committed) << c.bytes;
    }
    SJournalText j;
    ASSERT_TRUE(ParseJournal(h + JournalLine('B', "Data/Sub/x.bin"), &j, nullptr));
    EXPECT_EQ(j.lines[0].path, "Data\\Sub\\x.bin");
}

TEST(RecordsTest, CountsOfServersAddressesAndRevisionsAreBounded)
{
    auto repeat = [](const std::string& item, size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += item;
        return s;
    };
    const struct { std::string xml; EUpdateInfoResult result; } infos[] = {
        {"<Root><LatestVersion>1</LatestVersion>" + repeat("<PatchServer url=\"u\"/>", kMaxPatchServers) + "</Root>",
         UPDATEINFO_OK},
        {"<Root>" + repeat("<PatchServer/>", kMaxPatchServers + 1) + "</Root>", UPDATEINFO_TOO_MANY_SERVERS},
        {"<Root><InternetUpdate2>" + repeat("<UpdateInfoURL>u</UpdateInfoURL>", kMaxUpdateInfoUrls + 1) +
             "</InternetUpdate2></Root>",
         UPDATEINFO_TOO_MANY_URLS},
        {"<Root><LinkServerConn port=\"" + repeat("1;", kMaxUpdateInfoUrls + 1) + "\"/></Root>",
         UPDATEINFO_TOO_MANY_URLS},
    };
    for (const auto& c : infos) {
        TiXmlDocument doc;
        doc.Parse(c.xml.c_str());
        SUpdateInfoRecord r;
        EXPECT_EQ(ReadUpdateInfoRecord(doc, &r), c.result) << c.xml.substr(0, 60);
    }
    for (size_t n : {kMaxRevisionRecords, kMaxRevisionRecords + 1}) {
        TiXmlDocument doc;
        doc.Parse(("<R>" + repeat("<r interversion=\"1\"/>", n) + "</R>").c_str());
        std::vector<SRevision> records;
        EXPECT_EQ(ReadRevisionRecords(doc, &records), n > kMaxRevisionRecords ? REVISION_TOO_MANY : REVISION_OK);
    }
}

TEST(RecordsTest, TransferSettingsOfTheLocalConfigurationKeepTheirDefaultsUnlessSane)
{
    const struct { const char* attributes; std::uint32_t stallSeconds, rateLimitKiB; } cases[] = {
        {"", 30, 0}, {"StallSeconds=\"5\" RateLimitKiB=\"512\"", 5, 512},
        {"StallSeconds=\"0\" RateLimitKiB=\"0\"", 30, 0}, {"StallSeconds=\"3601\"", 30, 0},
        // 4 GiB/s in bytes would not fit the downloader's 32 bits.
        {"RateLimitKiB=\"4194303\"", 30, 4194303}, {"RateLimitKiB=\"4194304\"", 30, 0},
        {"RateLimitKiB=\"99999999999999999999\"", 30, 0},
    };
    for (const auto& c : cases) {
        TiXmlDocument doc;
        doc.Parse((std::string("<Root><Version><DownloadedFileVersion>1</DownloadedFileVersion></Version><Download ") +
                   c.attributes + "/></Root>")
                      .c_str());
        SUpdateCfgRecord r;
        ReadUpdateCfgRecord(doc, true, &r);
        EXPECT_EQ(r.stallSeconds, c.stallSeconds) << c.attributes;
        EXPECT_EQ(r.rateLimitKiB, c.rateLimitKiB) << c.attributes;
    }
}

// The result of a delta entry may pass 4 GiB; a 32-bit reading would clamp or
// wrap its size and refuse every such delta.
TEST(RecordsTest, FileListSizesPast4GiBAreReadWhole)
{
    const struct { const char* text; std::uint64_t size; } cases[] = {
        {"0", 0}, {"4294967295", 0xFFFFFFFFull}, {"4294967296", 0x100000000ull}, {"4298113024", 4298113024ull},
        {"1099511627779", (1ull << 40) + 3},
    };
    for (const auto& c : cases) {
        TiXmlDocument doc;
        const std::string xml = std::string("<root><Installer version=\"1.1.0\"/><Version internal=\"2\" from=\"1\"/>"
                                            "<FileList><add name=\"a\" path=\"a\" delta=\"zstd\" size=\"") +
                                c.text + "\"/></FileList></root>";
        doc.Parse(xml.c_str());
        SPackageFileList list;
        ASSERT_EQ(ReadPackageFileList(doc, &list), FILELIST_OK) << c.text;
        ASSERT_EQ(list.items.size(), 1u);
        EXPECT_EQ(list.items[0].size, c.size) << c.text;
        // A revision table's package sizes too.
        TiXmlDocument revisions;
        revisions.Parse(("<R><r interversion=\"2\"><upgrade filename=\"p.exe\" size=\"" + std::string(c.text) +
                         "\"/></r></R>").c_str());
        std::vector<SRevision> records;
        ASSERT_EQ(ReadRevisionRecords(revisions, &records), REVISION_OK);
        EXPECT_EQ(records.at(0).upgrade.size, c.size) << c.text;
    }
}

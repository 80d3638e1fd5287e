// The host-built patchtool, run as an operator runs it.
#include <gtest/gtest.h>

#include <iconv.h>

#include <map>
#include <vector>

#include <tinyxml.h>
#include <unzip.h>

#include "ToolTestUtil.h"
#include "base/utility/Scramble.h"
#include "base/utility/XmlLoad.h"
#include "transfer/ByteSource.h"
#include "transfer/Md5.h"
#include "transfer/PeResource.h"
#include "transfer/ZipRangeIo.h"
#include "transfer/ZstdDelta.h"

namespace {

// Entries of the zip inside a package: name -> bytes.
std::map<std::string, std::string> PackageEntries(const std::string& image)
{
    std::map<std::string, std::string> entries;
    CMemoryByteSource src(image.data(), image.size());
    SResourceLocation where;
    std::string why;
    if (!FindPeResource(src, "RT_RCDATA", 135, &where, &why)) return entries;
    SZipRange range = {&src, where.offset, where.size};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    unzFile z = unzOpen2_64(&range, &funcs);
    for (int r = unzGoToFirstFile(z); r == UNZ_OK; r = unzGoToNextFile(z)) {
        char name[512], buf[4096];
        unzGetCurrentFileInfo64(z, nullptr, name, sizeof name, nullptr, 0, nullptr, 0);
        unzOpenCurrentFile(z);
        for (int n; (n = unzReadCurrentFile(z, buf, sizeof buf)) > 0;) entries[name].append(buf, n);
        unzCloseCurrentFile(z);
    }
    unzClose(z);
    return entries;
}

// The file list of a package: its root and its items by path.
struct SFileList {
    TiXmlDocument doc;
    std::map<std::string, const TiXmlElement*> items;
    explicit SFileList(const std::string& xml)
    {
        doc.Parse(xml.c_str());
        if (Root())
            for (const TiXmlElement* e = Root()->FirstChildElement("FileList")->FirstChildElement(); e; e = e->NextSiblingElement())
                items[e->Attribute("path")] = e;
    }
    const TiXmlElement* Root() const { return doc.FirstChildElement("root"); }
    const TiXmlElement* Item(const std::string& path) const { return items.count(path) ? items.at(path) : nullptr; }
};

}  // namespace

TEST(PatchToolScramble, TheKeyIsGbkAndTheOutputLoadsAsTheSameDocument)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    char in[] = "\xE5\xBD\x93\xE6\x9C\x88\xE5\x85\x89\xE7\x85\xA7\xE8\xBF\x9B"
                "\xE6\x97\xA7\xE5\x9F\x8E\xE7\x9A\x84\xE9\x82\xA3\xE5\xA4\x9C";  // 当月光照进旧城的那夜
    char out[64], *pin = in, *pout = out;
    size_t inLeft = sizeof in - 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &pin, &inLeft, &pout, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    EXPECT_EQ(std::string(out, pout - out), std::string(reinterpret_cast<const char*>(Scramble::kKey), Scramble::kKeyLength));

    ScopedTestDir dir;
    const std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<Root>\r\n<Version><CurVersion>0000100"
                            "</CurVersion></Version>\r\n<Text>\xB5\xB1\xD4\xC2</Text>\r\n</Root>\r\n";
    WriteBytes("NewUpdateCfg.xml", xml);
    ASSERT_EQ(Tool("scramble NewUpdateCfg.xml shipped.eml"), 0);
    TiXmlDocument scrambled;
    ASSERT_TRUE(LoadXmlDocument(scrambled, "shipped.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_STREQ(scrambled.RootElement()->FirstChildElement("Text")->GetText(), "\xB5\xB1\xD4\xC2");
    ASSERT_EQ(Tool("scramble shipped.eml back.xml"), 0);
    EXPECT_EQ(ReadBytes("back.xml"), xml);
    EXPECT_EQ(Tool("scramble missing.xml out.eml"), 1);
    EXPECT_FALSE(fs::exists("out.eml"));
    EXPECT_EQ(Tool("scramble back.xml back.xml"), 2);
    EXPECT_EQ(ReadBytes("back.xml"), xml);
}

TEST(PatchToolPack, WritesChangedAndAddedFilesWholeOrAsSmallerDeltasWithDigestsAndDeletesTheRest)
{
    ScopedTestDir dir;
    std::string big(3u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::string bigNew = big;
    bigNew.replace(1000000, 5, "patch");
    const std::map<std::string, std::string> files = {
        {"old/same.txt", "unchanged"}, {"new/same.txt", "unchanged"}, {"old/gone.txt", "removed"},
        {"old/Data/changed.bin", "before"}, {"new/Data/changed.bin", "after!"},  // its delta is larger than the file
        {"new/Data/Sub/added.txt", "new file"}, {"old/Data/big.pak", big}, {"new/Data/big.pak", bigNew}};
    for (const auto& f : files) WriteBytes(f.first, f.second);
    ASSERT_EQ(Tool("pack --old old --new new --from 0000100 --to 0000200 -o pkg.exe"), 0);
    std::map<std::string, std::string> entries = PackageEntries(ReadBytes("pkg.exe"));
    EXPECT_EQ(entries.size(), 4u) << "identical files are left out";
    EXPECT_EQ(entries["Data/changed.bin"], "after!");
    EXPECT_EQ(entries["Data/Sub/added.txt"], "new file");
    EXPECT_EQ(entries["Data/big.pak"], bigNew) << "without --delta, whole files";
    {
        const SFileList list(entries["filelist.xml"]);
        ASSERT_NE(list.Root(), nullptr);
        EXPECT_STREQ(list.Root()->FirstChildElement("Installer")->Attribute("version"), "1.0.0");
        EXPECT_STREQ(list.Root()->FirstChildElement("Version")->Attribute("from"), "0000100");
        ASSERT_EQ(list.items.size(), 4u);
        const TiXmlElement* changed = list.Item("Data\\changed.bin");
        ASSERT_NE(changed, nullptr);
        EXPECT_STREQ(changed->Value(), "add");
        EXPECT_STREQ(changed->Attribute("name"), "changed.bin");
        EXPECT_STREQ(changed->Attribute("size"), "6");
        EXPECT_EQ(changed->Attribute("checksum"), Md5HexOf("after!"));
        ASSERT_NE(list.Item("gone.txt"), nullptr);
        EXPECT_STREQ(list.Item("gone.txt")->Value(), "delete");
    }

    ASSERT_EQ(Tool("pack --old old --new new --from 0000100 --to 0000200 -o delta.exe --delta"), 0);
    entries = PackageEntries(ReadBytes("delta.exe"));
    const SFileList list(entries["filelist.xml"]);
    ASSERT_NE(list.Root(), nullptr);
    EXPECT_STREQ(list.Root()->FirstChildElement("Installer")->Attribute("version"), "1.1.0") << "older launchers refuse it";
    const TiXmlElement* delta = list.Item("Data\\big.pak");
    ASSERT_NE(delta, nullptr);
    EXPECT_STREQ(delta->Attribute("delta"), "zstd");
    EXPECT_EQ(delta->Attribute("basechecksum"), Md5HexOf(big));
    EXPECT_EQ(delta->Attribute("checksum"), Md5HexOf(bigNew));
    EXPECT_EQ(delta->Attribute("size"), std::to_string(bigNew.size()));
    EXPECT_LT(entries["Data/big.pak"].size(), 20000u);
    for (const char* whole : {"Data\\changed.bin", "Data\\Sub\\added.txt"}) {
        ASSERT_NE(list.Item(whole), nullptr) << whole;
        EXPECT_EQ(list.Item(whole)->Attribute("delta"), nullptr) << whole;
    }
    EXPECT_EQ(entries["Data/changed.bin"], "after!");
    struct SString : IDeltaSink {
        std::string bytes;
        bool Write(const void* d, size_t n) override { return bytes.append(static_cast<const char*>(d), n), true; }
    } result;
    CMemoryByteSource d(entries["Data/big.pak"].data(), entries["Data/big.pak"].size()), b(big.data(), big.size());
    ASSERT_EQ(ApplyDelta(d, b, bigNew.size(), result), DELTA_OK);
    EXPECT_TRUE(result.bytes == bigNew);

    EXPECT_EQ(Tool("pack --new new --from 0000100 --to 0000100 -o p.exe"), 2);
    EXPECT_EQ(Tool("pack --new new --from 0000100 -o p.exe"), 2);
    EXPECT_EQ(Tool("pack --new missing --from 0000100 --to 0000101 -o p.exe"), 1);
    EXPECT_FALSE(fs::exists("p.exe"));
    ASSERT_EQ(Tool("pack --new new --from 0000100 --to 0000101 -o p.exe"), 0);  // without --old everything is new
    EXPECT_EQ(PackageEntries(ReadBytes("p.exe"))["same.txt"], "unchanged");
}

TEST(PatchToolRevision, AppendsRecordsAndRefusesARepeatedStep)
{
    ScopedTestDir dir;
    WriteBytes("up.exe", "upgrade package");
    WriteBytes("down.exe", "degrade");
    ASSERT_EQ(Tool("revision add Revision.xml --prev 0000100 --inter 0000200 --upgrade up.exe --degrade down.exe"), 0);
    ASSERT_EQ(Tool("revision add Revision.xml --prev 0000200 --inter 0000300 --upgrade up.exe"), 0);
    EXPECT_EQ(Tool("revision add Revision.xml --prev 0000150 --inter 0000200 --upgrade up.exe"), 1);
    EXPECT_EQ(Tool("revision add Revision.xml --prev 0000100 --inter 0000400 --upgrade missing.exe"), 1);
    EXPECT_EQ(Tool("revision add Revision.xml --prev 0000100 --inter 0000400"), 2);
    TiXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile("Revision.xml"));
    const TiXmlElement* first = doc.RootElement()->FirstChildElement();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->Attribute("interversion"), "0000200");
    EXPECT_STREQ(first->Attribute("prevversion"), "0000100");
    const TiXmlElement* up = first->FirstChildElement("upgrade");
    EXPECT_STREQ(up->Attribute("size"), "15");
    EXPECT_EQ(up->Attribute("checksum"), Md5HexOf("upgrade package"));
    EXPECT_STREQ(first->FirstChildElement("degrade")->Attribute("filename"), "down.exe");
    const TiXmlElement* second = first->NextSiblingElement();
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->Attribute("interversion"), "0000300");
    EXPECT_EQ(second->NextSiblingElement(), nullptr);
}

// Nothing published may fail on a player's machine for its names: pack
// refuses what the installer would refuse, names the file and says why, and
// reports what a package cannot carry.
TEST(PatchToolPack, NamesInAnyLanguageArePackedFlaggedUtf8AndNamesTheLauncherRefusesAreNot)
{
    ScopedTestDir dir;
    WriteBytes(u8"new/Donn\u00e9es/caf\u00e9/r\u00e9sum\u00e9.txt", "latin");
    WriteBytes(u8"new/\u6570\u636e/\u6587\u4ef6.txt", "cjk");
    WriteBytes(u8"new/\U0001F600/emoji\U0001F600.txt", "emoji");
    fs::create_directories("new/Empty");
    fs::create_symlink("Empty", "new/Link");
    std::string out;
    ASSERT_EQ(Tool("pack --new new --from 0000100 --to 0000200 -o pkg.exe", &out), 0) << out;
    EXPECT_NE(out.find("Link is a symbolic link: not packed"), std::string::npos) << out;
    EXPECT_NE(out.find("Empty is an empty folder: not packed"), std::string::npos) << out;
    const std::map<std::string, std::string> entries = PackageEntries(ReadBytes("pkg.exe"));
    EXPECT_EQ(entries.at(u8"\u6570\u636e/\u6587\u4ef6.txt"), "cjk");
    EXPECT_EQ(entries.at(u8"\U0001F600/emoji\U0001F600.txt"), "emoji");
    // Every entry says it is UTF-8.
    std::string image = ReadBytes("pkg.exe");
    for (size_t at = image.find("PK\x01\x02"); at != std::string::npos; at = image.find("PK\x01\x02", at + 4))
        EXPECT_TRUE(static_cast<unsigned char>(image[at + 9]) & 0x08) << "central entry at " << at;

    const struct { std::vector<std::string> names; const char* why; } refused[] = {
        {{"Data/a.txt", "Data/A.TXT"}, "only in case"},
        {{u8"\u00c9t\u00e9.txt", u8"\u00e9T\u00c9.txt"}, "only in case"},
        {{"Data/CON.txt"}, "device name"},
        {{"Data/trailing."}, "trailing dot"},
        {{"Data/tab\there.txt"}, "control or reserved character"},
        {{"Data/bad\xff.txt"}, "not valid UTF-8"},
        {{"PatchCfg/NewUpdateCfg.xml"}, "the updater's own file"},
        {{std::string(201, 'n')}, "too long"},
    };
    for (const auto& c : refused) {
        fs::remove_all("bad");
        for (const std::string& name : c.names) WriteBytes("bad/" + name, "x");
        EXPECT_EQ(Tool("pack --new bad --from 0000100 --to 0000200 -o bad.exe", &out), 7) << c.names[0];
        EXPECT_NE(out.find(c.why), std::string::npos) << c.names[0] << ": " << out;
        EXPECT_FALSE(fs::exists("bad.exe")) << c.names[0];
    }
}

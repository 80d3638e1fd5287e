// patchtool pack and revision add, run as an operator runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include <tinyxml.h>
#include <unzip.h>

#include "TestDir.h"
#include "transfer/ByteSource.h"
#include "transfer/Md5.h"
#include "transfer/PeResource.h"
#include "transfer/ZipRangeIo.h"

namespace {

int Tool(const std::string& args)
{
    const std::string cmd = std::string(PATCHTOOL_PATH) + " " + args + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
        char name[512];
        unz_file_info64 info;
        unzGetCurrentFileInfo64(z, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        std::string data;
        unzOpenCurrentFile(z);
        char buf[4096];
        int n;
        while ((n = unzReadCurrentFile(z, buf, sizeof buf)) > 0) data.append(buf, n);
        unzCloseCurrentFile(z);
        entries[name] = data;
    }
    unzClose(z);
    return entries;
}

}  // namespace

TEST(PatchToolPack, WritesAddAndDeleteEntriesWithDigests)
{
    ScopedTestDir dir;
    WriteBytes("old/same.txt", "unchanged");
    WriteBytes("old/Data/changed.bin", "before");
    WriteBytes("old/gone.txt", "removed");
    WriteBytes("new/same.txt", "unchanged");
    WriteBytes("new/Data/changed.bin", "after!");
    WriteBytes("new/Data/Sub/added.txt", "new file");
    WriteBytes("new/launcher.exe", "MZ new launcher");
    ASSERT_EQ(Tool("pack --old old --new new --from 0000100 --to 0000200 -o pkg.exe"), 0);

    std::map<std::string, std::string> entries = PackageEntries(ReadBytes("pkg.exe"));
    ASSERT_EQ(entries.count("filelist.xml"), 1u);
    EXPECT_EQ(entries["Data/changed.bin"], "after!");
    EXPECT_EQ(entries["Data/Sub/added.txt"], "new file");
    EXPECT_EQ(entries["launcher.exe"], "MZ new launcher");
    EXPECT_EQ(entries.count("same.txt"), 0u) << "identical files are left out";
    EXPECT_EQ(entries.size(), 4u);

    TiXmlDocument doc;
    doc.Parse(entries["filelist.xml"].c_str());
    const TiXmlElement* root = doc.FirstChildElement("root");
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->FirstChildElement("Installer")->Attribute("version"), "1.0.0");
    EXPECT_STREQ(root->FirstChildElement("Version")->Attribute("internal"), "0000200");
    EXPECT_STREQ(root->FirstChildElement("Version")->Attribute("from"), "0000100");
    std::map<std::string, const TiXmlElement*> items;
    for (const TiXmlElement* e = root->FirstChildElement("FileList")->FirstChildElement(); e; e = e->NextSiblingElement())
        items[e->Attribute("path")] = e;
    ASSERT_EQ(items.size(), 4u);
    const TiXmlElement* changed = items["Data\\changed.bin"];
    ASSERT_NE(changed, nullptr);
    EXPECT_STREQ(changed->Value(), "add");
    EXPECT_STREQ(changed->Attribute("name"), "changed.bin");
    EXPECT_STREQ(changed->Attribute("size"), "6");
    EXPECT_STREQ(changed->Attribute("checktype"), "md5");
    EXPECT_EQ(changed->Attribute("checksum"), Md5HexOf("after!"));
    ASSERT_NE(items["gone.txt"], nullptr);
    EXPECT_STRNE(items["gone.txt"]->Value(), "add");
}

TEST(PatchToolPack, RefusesBadArguments)
{
    ScopedTestDir dir;
    WriteBytes("new/a.txt", "a");
    EXPECT_EQ(Tool("pack --new new --from 0000100 --to 0000100 -o p.exe"), 2);
    EXPECT_EQ(Tool("pack --new new --from 0000100 -o p.exe"), 2);
    EXPECT_EQ(Tool("pack --new missing --from 0000100 --to 0000101 -o p.exe"), 1);
    EXPECT_FALSE(fs::exists("p.exe"));
    // Without --old everything is new.
    ASSERT_EQ(Tool("pack --new new --from 0000100 --to 0000101 -o p.exe"), 0);
    EXPECT_EQ(PackageEntries(ReadBytes("p.exe"))["a.txt"], "a");
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
    EXPECT_STREQ(up->Attribute("filename"), "up.exe");
    EXPECT_STREQ(up->Attribute("size"), "15");
    EXPECT_EQ(up->Attribute("checksum"), Md5HexOf("upgrade package"));
    EXPECT_STREQ(first->FirstChildElement("degrade")->Attribute("filename"), "down.exe");
    const TiXmlElement* second = first->NextSiblingElement();
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->Attribute("interversion"), "0000300");
    EXPECT_EQ(second->NextSiblingElement(), nullptr);
}

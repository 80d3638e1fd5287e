#include <gtest/gtest.h>

#include <tinyxml.h>

#include "EngineTestUtil.h"
#include "base/utility/StringTable.h"

namespace {

class StringTableTest : public ::testing::Test {
protected:
    std::wstring AppDir() { return dir.Path().wstring() + L"\\"; }
    TiXmlDocument skin;
    ScopedTestDir dir;
};

const char kSkin[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Launcher><stringtable>"
    "<string code=\"X\" text=\"a\\nb\"/>"
    "<string code=\"CN\" text=\"\xE6\x9B\xB4\xE6\x96\xB0\"/>"
    "<string code=\"X\" text=\"later\\nwins\"/>"
    "</stringtable></Launcher>";

}  // namespace

TEST_F(StringTableTest, TextFileWinsOverTheSkin)
{
    WriteStringTable(dir.Path(), {{L"UPDATE_COMPLETE", L"Update finished"}, {L"CN", L"\x4E2D\x6587"}});
    skin.Parse(kSkin);
    LoadStringTable(AppDir(), skin.FirstChildElement()->FirstChildElement("stringtable"));
    EXPECT_STREQ(LocalText(L"UPDATE_COMPLETE"), L"Update finished");
    EXPECT_STREQ(LocalText(L"CN"), L"\x4E2D\x6587");
    EXPECT_STREQ(LocalText(L"X"), L"");
    EXPECT_STREQ(LocalText(L"MISSING"), L"");
    EXPECT_STREQ(LocalText(nullptr), L"");
    EXPECT_EQ(CStringTable::Instance().Tags(), (std::vector<std::wstring>{L"UPDATE_COMPLETE", L"CN"}));
}

TEST_F(StringTableTest, SkinFallbackTurnsBackslashNIntoLineBreaks)
{
    skin.Parse(kSkin);
    LoadStringTable(AppDir(), skin.FirstChildElement()->FirstChildElement("stringtable"));
    EXPECT_STREQ(LocalText(L"X"), L"later\r\nwins");
    EXPECT_STREQ(LocalText(L"CN"), L"\x66F4\x65B0");
}

TEST_F(StringTableTest, ReloadWithNeitherSourceLeavesEveryTextEmpty)
{
    WriteStringTable(dir.Path(), {{L"A", L"a"}});
    LoadStringTable(AppDir(), nullptr);
    EXPECT_STREQ(LocalText(L"A"), L"a");
    fs::remove(dir.Path() / "data" / "string.txt");
    LoadStringTable(AppDir(), nullptr);
    EXPECT_STREQ(LocalText(L"A"), L"");
}

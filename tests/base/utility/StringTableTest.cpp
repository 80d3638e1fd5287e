// The text table and XML saves (Windows).
#include <gtest/gtest.h>
#include <windows.h>

#include <tinyxml.h>

#include "EngineTestUtil.h"
#include "base/utility/StringTable.h"
#include "base/utility/XmlSave.h"
#include "base/utility/XmlText.h"

namespace {

const char kSkin[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Launcher><stringtable>"
    "<string code=\"X\" text=\"a\\nb\"/><string code=\"CN\" text=\"\xE6\x9B\xB4\xE6\x96\xB0\"/>"
    "<string code=\"X\" text=\"later\\nwins\"/></stringtable></Launcher>";

}  // namespace

TEST(StringTableTest, TextFileFirstThenTheSkinThenNothingAndForeignFormatsVerbatim)
{
    ScopedTestDir dir;
    const std::wstring appDir = dir.Path().wstring() + L"\\";
    TiXmlDocument skin;
    skin.Parse(kSkin);
    const TiXmlElement* table = skin.RootElement()->FirstChildElement("stringtable");
    WriteStringTable(dir.Path(), {{L"UPDATE_COMPLETE", L"Update finished"}, {L"CN", L"\x4E2D\x6587"}});
    LoadStringTable(appDir, table);
    EXPECT_STREQ(LocalText(L"CN"), L"\x4E2D\x6587");
    EXPECT_STREQ(LocalText(L"X"), L"");
    EXPECT_STREQ(LocalText(nullptr), L"");
    EXPECT_EQ(CStringTable::Instance().Tags(), (std::vector<std::wstring>{L"UPDATE_COMPLETE", L"CN"}));

    fs::remove(dir.Path() / "data" / "string.txt");
    LoadStringTable(appDir, table);
    EXPECT_STREQ(LocalText(L"X"), L"later\r\nwins");
    EXPECT_STREQ(LocalText(L"CN"), L"\x66F4\x65B0");
    LoadStringTable(appDir, nullptr);
    EXPECT_STREQ(LocalText(L"CN"), L"");

    // A format with foreign conversions is shown verbatim.
    WriteStringTable(dir.Path(), {{L"GOOD", L"Get %s now"}, {L"BAD", L"Get %s%n%s now"}});
    LoadStringTable(appDir, nullptr);
    EXPECT_EQ(FormatLocalText(L"GOOD", L"s", L"10"), L"Get 10 now");
    EXPECT_EQ(FormatLocalText(L"BAD", L"s", L"10"), L"Get %s%n%s now 10");
    EXPECT_EQ(FormatLocalText(L"MISSING", L"s", L"10"), L" 10");
}

TEST(XmlSaveTest, ReplacesAReadOnlyFile)
{
    ScopedTestDir dir;
    TiXmlDocument doc;
    doc.Parse("<Root><V>2</V></Root>");
    WriteBytes("cfg.xml", "<Root><V>1</V></Root>");
    SetFileAttributesW(L"cfg.xml", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SaveXmlDocument(doc, "cfg.xml"));
    TiXmlDocument back;
    ASSERT_TRUE(back.LoadFile("cfg.xml"));
    EXPECT_EQ(XmlElementText(back.RootElement()->FirstChildElement("V")), "2");
    EXPECT_FALSE(fs::exists("cfg.xml.tmp"));
}

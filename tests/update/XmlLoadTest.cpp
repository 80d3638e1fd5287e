#include <gtest/gtest.h>

#include "TestDir.h"
#include "base/utility/Scramble.h"
#include "base/utility/XmlLoad.h"

namespace {

std::string Scrambled(std::string bytes)
{
    Scramble::Apply(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
    return bytes;
}

std::string Printed(const TiXmlDocument& doc)
{
    TiXmlPrinter printer;
    doc.Accept(&printer);
    return printer.Str();
}

const char kConfig[] =
    "<?xml version=\"1.0\"?>\r\n<Root>\r\n  <Version>\r\n    <CurVersion>0000123</CurVersion>\r\n"
    "  </Version>\r\n  <Note><![CDATA[line one\r\nline two\rline three]]></Note>\r\n</Root>\r\n";

class XmlLoadTest : public ::testing::Test {
protected:
    ScopedTestDir dir;
};

}  // namespace

TEST(ScrambleTest, SiblingNameReplacesFirstExtensionLetter)
{
    EXPECT_EQ(Scramble::SiblingName("PatchCfg\\NewUpdateCfg.xml"), "PatchCfg\\NewUpdateCfg.eml");
    EXPECT_EQ(Scramble::SiblingName("Revision.xml"), "Revision.eml");
    EXPECT_EQ(Scramble::SiblingName("abcde"), "abede");
    EXPECT_EQ(Scramble::SiblingName("ab.c"), "ab.c");
    EXPECT_EQ(Scramble::SiblingName(""), "");
}

TEST(ScrambleTest, IsItsOwnInverseAtAnyOffset)
{
    std::string text(100, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    std::string whole = Scrambled(text);
    EXPECT_NE(whole, text);
    // Scrambling in pieces must match one pass over the file.
    std::string pieces = text;
    auto* p = reinterpret_cast<unsigned char*>(&pieces[0]);
    Scramble::Apply(p, 13, 0);
    Scramble::Apply(p + 13, 50, 13);
    Scramble::Apply(p + 63, 37, 63);
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(Scrambled(whole), text);
    EXPECT_EQ(static_cast<unsigned char>(whole[20]), static_cast<unsigned char>(text[20]) ^ Scramble::kKey[0]);
}

TEST_F(XmlLoadTest, PlainOnly)
{
    WriteBytes("a.xml", "<Root><V>1</V></Root>");
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "a.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_STREQ(doc.FirstChildElement("Root")->FirstChildElement("V")->GetText(), "1");
    EXPECT_STREQ(doc.Value(), "a.xml");
}

TEST_F(XmlLoadTest, ScrambledOnlyLoadsLikeThePlainFileWithLineEndsNormalised)
{
    WriteBytes("plain.xml", kConfig);
    WriteBytes("only.eml", Scrambled(kConfig));
    TiXmlDocument plain, scrambled;
    ASSERT_TRUE(LoadXmlDocument(plain, "plain.xml", TIXML_ENCODING_UNKNOWN));
    ASSERT_TRUE(LoadXmlDocument(scrambled, "only.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_FALSE(scrambled.Error());
    EXPECT_EQ(Printed(scrambled), Printed(plain));
    EXPECT_STREQ(scrambled.Value(), "only.eml");
    EXPECT_STREQ(scrambled.FirstChildElement("Root")->FirstChildElement("Note")->GetText(),
                 "line one\nline two\nline three");
}

TEST_F(XmlLoadTest, WellFormedPlainWinsOverSibling)
{
    WriteBytes("a.xml", "<Root>plain</Root>");
    WriteBytes("a.eml", Scrambled("<Root>scrambled</Root>"));
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "a.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_STREQ(doc.FirstChildElement("Root")->GetText(), "plain");
}

TEST_F(XmlLoadTest, MalformedOrEmptyPlainFallsBackToSiblingWithoutError)
{
    for (const char* plain : {"<Root><unclosed></Root>", ""}) {
        WriteBytes("a.xml", plain);
        WriteBytes("a.eml", Scrambled("<Root>scrambled</Root>"));
        TiXmlDocument doc;
        ASSERT_TRUE(LoadXmlDocument(doc, "a.xml", TIXML_ENCODING_UNKNOWN)) << plain;
        EXPECT_FALSE(doc.Error());
        EXPECT_STREQ(doc.FirstChildElement("Root")->GetText(), "scrambled");
        EXPECT_STREQ(doc.Value(), "a.eml");
    }
}

TEST_F(XmlLoadTest, ErrorStateWhenBothAttemptsFail)
{
    TiXmlDocument missing;
    EXPECT_FALSE(LoadXmlDocument(missing, "none.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(missing.ErrorId(), TiXmlBase::TIXML_ERROR_OPENING_FILE);
    EXPECT_STREQ(missing.Value(), "none.eml");

    // The plain file's parse error is the first one and stays.
    WriteBytes("bad.xml", "<Root><unclosed></Root>");
    TiXmlDocument malformed;
    EXPECT_FALSE(LoadXmlDocument(malformed, "bad.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_NE(malformed.ErrorId(), TiXmlBase::TIXML_ERROR_OPENING_FILE);
    EXPECT_TRUE(malformed.Error());

    // An empty file records nothing; the missing sibling does.
    WriteBytes("empty.xml", "");
    TiXmlDocument empty;
    EXPECT_FALSE(LoadXmlDocument(empty, "empty.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(empty.ErrorId(), TiXmlBase::TIXML_ERROR_OPENING_FILE);
    EXPECT_STREQ(empty.ErrorDesc(), "Failed to open file");
}

TEST_F(XmlLoadTest, ShortNameIsRetriedUnderTheSameNameScrambled)
{
    WriteBytes("ab.c", Scrambled("<Root>short</Root>"));
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "ab.c", TIXML_ENCODING_UNKNOWN));
    EXPECT_STREQ(doc.FirstChildElement("Root")->GetText(), "short");
    EXPECT_STREQ(doc.Value(), "ab.c");
}

TEST_F(XmlLoadTest, DecodedNulEndsTheText)
{
    // A byte equal to its key byte decodes to NUL: what follows is not parsed.
    std::string plain = std::string("<Root>x</Root>") + '\0' + "<<< not xml";
    WriteBytes("n.eml", Scrambled(plain));
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "n.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_STREQ(doc.FirstChildElement("Root")->GetText(), "x");
}

TEST_F(XmlLoadTest, ReloadReplacesEarlierContent)
{
    WriteBytes("a.xml", "<First/>");
    WriteBytes("b.xml", "<Second/>");
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "a.xml", TIXML_ENCODING_UNKNOWN));
    ASSERT_TRUE(LoadXmlDocument(doc, "b.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(doc.FirstChildElement("First"), nullptr);
    EXPECT_NE(doc.FirstChildElement("Second"), nullptr);
}

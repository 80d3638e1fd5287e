#include <gtest/gtest.h>

#include "TestUtil.h"
#include "base/utility/Scramble.h"
#include "base/utility/XmlLoad.h"

namespace {

std::string Scrambled(std::string bytes)
{
    Scramble::Apply(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
    return bytes;
}

// The text of the root element, or what went wrong.
std::string Load(const char* name, std::string* source = nullptr)
{
    TiXmlDocument doc;
    const bool ok = LoadXmlDocument(doc, name, TIXML_ENCODING_UNKNOWN);
    if (source) *source = doc.Value();
    if (!ok) return "<error " + std::to_string(doc.ErrorId()) + ">";
    const TiXmlElement* root = doc.RootElement();
    return root && root->GetText() ? root->GetText() : "";
}

std::string Repeat(const std::string& item, unsigned n)
{
    std::string text;
    for (unsigned i = 0; i < n; ++i) text += item;
    return text;
}

std::string Nest(unsigned levels, const std::string& open, const std::string& close)
{
    return Repeat(open, levels) + Repeat(close, levels);
}

}  // namespace

TEST(ScrambleTest, SiblingNamesAndAnInverseThatWorksInPieces)
{
    const std::pair<const char*, const char*> names[] = {{"PatchCfg\\NewUpdateCfg.xml", "PatchCfg\\NewUpdateCfg.eml"},
                                                         {"abcde", "abede"}, {"ab.c", "ab.c"}, {"", ""}};
    for (const auto& n : names) EXPECT_EQ(Scramble::SiblingName(n.first), n.second);

    std::string text(100, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    const std::string whole = Scrambled(text);
    EXPECT_EQ(static_cast<unsigned char>(whole[20]), static_cast<unsigned char>(text[20]) ^ Scramble::kKey[0]);
    std::string pieces = text;
    auto* p = reinterpret_cast<unsigned char*>(&pieces[0]);
    Scramble::Apply(p, 13, 0);
    Scramble::Apply(p + 13, 87, 13);
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(Scrambled(whole), text);
}

// When both attempts fail, the first error stays.
TEST(XmlLoadTest, PlainFileFirstThenTheScrambledSiblingElseTheFirstError)
{
    ScopedTestDir dir;
    const std::string good = "<Root>scrambled</Root>";
    WriteBytes("plain.xml", "<Root>plain</Root>");
    WriteBytes("plain.eml", Scrambled(good));
    WriteBytes("broken.xml", "<Root><unclosed></Root>");
    WriteBytes("broken.eml", Scrambled(good));
    WriteBytes("empty.xml", "");
    WriteBytes("empty.eml", Scrambled(good));
    WriteBytes("only.eml", Scrambled("<?xml version=\"1.0\"?>\r\n<Root><![CDATA[one\r\ntwo\rthree]]></Root>\r\n"));
    WriteBytes("ab.c", Scrambled("<Root>short</Root>"));
    // A byte equal to its key byte decodes to NUL: what follows is not parsed.
    WriteBytes("zero.eml", Scrambled(std::string("<Root>x</Root>") + '\0' + "<<< not xml"));
    WriteBytes("bad.xml", "<Root><unclosed></Root>");
    WriteBytes("blank.xml", "");
    const std::string opening = "<error " + std::to_string(TiXmlBase::TIXML_ERROR_OPENING_FILE) + ">";
    const struct { const char* name; std::string text; const char* source; } cases[] = {
        {"plain.xml", "plain", "plain.xml"},   {"broken.xml", "scrambled", "broken.eml"},
        {"empty.xml", "scrambled", "empty.eml"}, {"only.xml", "one\ntwo\nthree", "only.eml"},
        {"ab.c", "short", "ab.c"},               {"zero.xml", "x", "zero.eml"},
        {"none.xml", opening, nullptr},
        {"bad.xml", "<error " + std::to_string(TiXmlBase::TIXML_ERROR_READING_END_TAG) + ">", nullptr},
        {"blank.xml", opening, nullptr}};  // an empty file records nothing; the missing sibling does
    for (const auto& c : cases) {
        std::string source;
        EXPECT_EQ(Load(c.name, &source), c.text) << c.name;
        if (!c.source) continue;
        EXPECT_EQ(source, c.source) << c.name;
    }
    // A reload replaces what an earlier load read.
    WriteBytes("second.xml", "<Second/>");
    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "plain.xml", TIXML_ENCODING_UNKNOWN));
    ASSERT_TRUE(LoadXmlDocument(doc, "second.xml", TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(doc.FirstChildElement("Root"), nullptr);
}

TEST(XmlLoadTest, TextsPastTheSizeOrDepthBoundsAreRefusedBeforeTheParserSeesThem)
{
    const struct { std::string text; bool refused; } cases[] = {
        {Nest(kMaxXmlDepth, "<a>", "</a>"), false},
        {Nest(kMaxXmlDepth + 1, "<a>", "</a>"), true},
        {Nest(15000, "<a>", "</a>"), true},  // a stack overflow in the parser before
        {"<r>" + Repeat("<add path=\"a/b\" x='/>'/>", 5000) + "</r>", false},
        // Nothing that looks like a close inside a value or a comment counts as one.
        {Nest(kMaxXmlDepth + 1, "<a v=\"/>\">", "</a>"), true},
        {Nest(kMaxXmlDepth + 1, "<a><!-- </a> --><![CDATA[</a>]]>", "</a>"), true},
        {"<r v=\"<\"/>", true},
        {Nest(kMaxXmlDepth + 1, "<?x v=\"\"?><a>", "</a>"), true},
        {"<r><!-- <a><a><a> --></r>", false},
    };
    for (const auto& c : cases) {
        TiXmlDocument doc;
        std::string refused;
        const bool ok = ParseXmlBytes(doc, c.text, false, TIXML_ENCODING_UNKNOWN, &refused);
        EXPECT_EQ(!refused.empty(), c.refused) << c.text.substr(0, 60);
        EXPECT_TRUE(ok || c.refused) << c.text.substr(0, 60) << doc.ErrorDesc();
    }
    ScopedTestDir dir;
    WriteBytes("big.xml", "<r>" + std::string(kMaxXmlBytes, ' ') + "</r>");
    TiXmlDocument doc;
    std::string refused;
    EXPECT_FALSE(LoadXmlDocument(doc, "big.xml", TIXML_ENCODING_UNKNOWN, &refused));
    EXPECT_NE(refused.find("larger than"), std::string::npos);
}

TEST(XmlLoadTest, WhatTheParserWouldReadPastIsMendedFirst)
{
    // Found by fuzzing: the parser stepped over the text's end inside a UTF-8
    // sequence (a heap overflow under ASan).
    for (const char* tail : {"\xF1\x99", "\xF1", "\xE4\xB8", "\xF1\x99\x00\x00@a"}) {
        TiXmlDocument doc;
        ParseXmlBytes(doc, std::string("<?xml version=\"1.0\"?>\n<r>\n  ") + tail, false, TIXML_ENCODING_UNKNOWN);
        EXPECT_TRUE(doc.Error());
    }
    // Found by fuzzing: a numeric reference read to a far ';', or a cut UTF-8
    // sequence, made the parser skip ends of tags the depth scan had counted,
    // nesting deeper than the bound. Mended, the elements are siblings.
    const unsigned n = 2 * kMaxXmlDepth;
    for (const std::string& text : {"<r>" + Repeat("<a>&#x9</a>x9;", n) + "</r>",
                                    "<?xml version=\"1.0\"?><r>" + Repeat("<a>\xE4\xB8</a>", n) + "</r>"}) {
        TiXmlDocument doc;
        std::string refused;
        ASSERT_TRUE(ParseXmlBytes(doc, text, false, TIXML_ENCODING_UNKNOWN, &refused)) << doc.ErrorDesc() << refused;
        unsigned children = 0;
        for (const TiXmlElement* e = doc.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement()) ++children;
        EXPECT_EQ(children, n);
    }
    // Well-formed references and a declared legacy encoding stay as they are.
    TiXmlDocument doc;
    ASSERT_TRUE(ParseXmlBytes(doc, "<?xml version=\"1.0\" encoding=\"gb2312\"?><r>&#65;&#x42;\xD6\xD0</r>", false,
                              TIXML_ENCODING_UNKNOWN));
    EXPECT_EQ(std::string(doc.RootElement()->GetText()), "AB\xD6\xD0");
}

#include <gtest/gtest.h>

#include "base/utility/TextTableFile.h"

using namespace TextTable;

namespace {

std::wstring Latin1(const std::string& bytes)
{
    std::wstring out;
    for (unsigned char c : bytes) out.push_back(c);
    return out;
}

std::string Utf16Le(const std::wstring& text, bool bom = true)
{
    std::string out;
    if (bom) out += "\xFF\xFE";
    for (wchar_t ch : text) {
        out.push_back(static_cast<char>(ch & 0xFF));
        out.push_back(static_cast<char>((ch >> 8) & 0xFF));
    }
    return out;
}

typedef std::vector<std::wstring> Tokens;

}  // namespace

TEST(TextTableTokens, BlanksAndControlCharactersSeparate)
{
    EXPECT_EQ(Tokenize(L"TAG text"), (Tokens{L"TAG", L"text"}));
    EXPECT_EQ(Tokenize(L"\tTAG\ttext\r\n"), (Tokens{L"TAG", L"text"}));
    EXPECT_EQ(Tokenize(L"a\x01" L"b"), (Tokens{L"a", L"b"}));
    EXPECT_EQ(Tokenize(L"   "), Tokens{});
}

TEST(TextTableTokens, QuotesKeepBlanksAndEndTheirToken)
{
    EXPECT_EQ(Tokenize(L"UPDATE_COMPLETE \"Update finished\""),
              (Tokens{L"UPDATE_COMPLETE", L"Update finished"}));
    EXPECT_EQ(Tokenize(L"\"a b\"c"), (Tokens{L"a b", L"c"}));
    EXPECT_EQ(Tokenize(L"ab\"c d\""), (Tokens{L"abc d"}));
    EXPECT_EQ(Tokenize(L"\"tab\tinside\""), (Tokens{L"tab\tinside"}));
    // An empty pair of quotes gives no token.
    EXPECT_EQ(Tokenize(L"\"word\" \"\""), (Tokens{L"word"}));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(Tokenize(L"T \"open text\n"), (Tokens{L"T", L"open text\n"}));
}

TEST(TextTableParse, OnlyTwoTokenLinesAreEntriesAndLaterTagsWin)
{
    Entries e;
    ParseText(L"# comment line here\n"
              L"ONE \"first text\"\n"
              L"three unquoted words\n"
              L"\n"
              L"lonely\n"
              L"\"quoted\" \"\"\n"
              L"TWO\tsecond\n"
              L"ONE replaced\n",
              e);
    EXPECT_EQ(e.texts.size(), 2u);
    EXPECT_EQ(e.texts[L"ONE"], L"replaced");
    EXPECT_EQ(e.texts[L"TWO"], L"second");
    EXPECT_EQ(e.order, (Tokens{L"ONE", L"TWO", L"ONE"}));
}

TEST(TextTableParse, LongLinesAreReadInPiecesOf1022)
{
    std::wstring longText(2100, L'x');
    std::vector<std::wstring> pieces = SplitReads(L"A " + longText + L"\nB b\n");
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].size(), 1022u);
    EXPECT_EQ(pieces[1].size(), 1022u);
    EXPECT_EQ(pieces[2], std::wstring(2102 - 2044, L'x') + L"\n");
    EXPECT_EQ(pieces[3], L"B b\n");

    // A piece that happens to hold two tokens is an entry of its own.
    Entries e;
    ParseText(std::wstring(1020, L'y') + L" z" + L"tail words here\nC c\n", e);
    EXPECT_EQ(e.texts[std::wstring(1020, L'y')], L"z");
    EXPECT_EQ(e.texts[L"C"], L"c");
    EXPECT_EQ(e.texts.size(), 2u);
}

TEST(TextTableDecode, ByteOrderMarkSelectsEncoding)
{
    EXPECT_EQ(DecodeTextFile(Utf16Le(L"K \x4E2D\r\nL v\r\n"), &Latin1), L"K \x4E2D\nL v\n");
    EXPECT_EQ(DecodeTextFile(std::string("\xFE\xFF\x00K\x4E\x2D", 6), &Latin1), L"K\x4E2D");
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBFK \xE4\xB8\xAD\r\n", &Latin1), L"K \x4E2D\n");
    EXPECT_EQ(DecodeTextFile("K \xE9\r\n", &Latin1), L"K \xE9\n");
    // A lone CR is kept by the text mode; it still separates tokens.
    EXPECT_EQ(DecodeTextFile(Utf16Le(L"a\rb"), &Latin1), L"a\rb");
    EXPECT_EQ(DecodeTextFile("", &Latin1), L"");
}

TEST(TextTableDecode, MalformedUtf8DoesNotReadPastTheEnd)
{
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF" "a\xE4\xB8", &Latin1), L"a\xFFFD");
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF\xFF" "b", &Latin1), L"\xFFFD" L"b");
    EXPECT_EQ(DecodeTextFile(std::string("\xFF\xFE" "a", 3), &Latin1), L"");
}

TEST(TextTableSkin, BackslashNBecomesLineBreak)
{
    EXPECT_EQ(ExpandLineBreaks(L"a\\nb"), L"a\r\nb");
    EXPECT_EQ(ExpandLineBreaks(L"end\\"), L"end\\");
    EXPECT_EQ(ExpandLineBreaks(L"\\\\n"), L"\\\r\n");
}

TEST(TextTableFormat, OnlyTheExpectedConversionsPass)
{
    EXPECT_TRUE(FormatMatches(L"Downloading %s", L"s"));
    EXPECT_TRUE(FormatMatches(L"100%% of %-20.5s", L"s"));
    EXPECT_TRUE(FormatMatches(L"%s to %s", L"ss"));
    EXPECT_FALSE(FormatMatches(L"Downloading", L"s"));
    EXPECT_FALSE(FormatMatches(L"%s %s", L"s"));
    EXPECT_FALSE(FormatMatches(L"%d", L"s"));
    EXPECT_FALSE(FormatMatches(L"%n%s", L"s"));
    EXPECT_FALSE(FormatMatches(L"%*s", L"s"));
    EXPECT_FALSE(FormatMatches(L"%ls", L"s"));
    EXPECT_FALSE(FormatMatches(L"trailing %", L""));
}

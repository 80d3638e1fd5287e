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

std::string Utf16Le(const std::wstring& text)
{
    std::string out = "\xFF\xFE";
    for (wchar_t ch : text) out += {static_cast<char>(ch & 0xFF), static_cast<char>((ch >> 8) & 0xFF)};
    return out;
}

typedef std::vector<std::wstring> Tokens;

}  // namespace

TEST(TextTableParse, BlanksSeparateQuotesKeepBlanksAndOnlyTwoTokenLinesAreEntriesReadInPieces)
{
    const std::pair<const wchar_t*, Tokens> cases[] = {
        {L"\tTAG\ttext\r\n", {L"TAG", L"text"}},
        {L"a\x01" L"b", {L"a", L"b"}},
        {L"   ", {}},
        {L"UPDATE_COMPLETE \"Update finished\"", {L"UPDATE_COMPLETE", L"Update finished"}},
        {L"\"a b\"c", {L"a b", L"c"}},
        {L"ab\"c d\"", {L"abc d"}},
        {L"\"word\" \"\"", {L"word"}},            // empty quotes give no token
        {L"T \"open text\n", {L"T", L"open text\n"}},  // an unclosed quote runs to the end
    };
    for (const auto& c : cases) EXPECT_EQ(Tokenize(c.first), c.second) << testing::PrintToString(c.first);

    // Only two-token lines are entries, read in pieces of 1022.
    Entries e;
    ParseText(L"# comment line here\nONE \"first text\"\nthree unquoted words\n\nlonely\n\"q\" \"\"\nTWO\tsecond\n"
              L"ONE replaced\n",
              e);
    EXPECT_EQ(e.texts.size(), 2u);
    EXPECT_EQ(e.texts[L"ONE"], L"replaced");
    EXPECT_EQ(e.texts[L"TWO"], L"second");
    EXPECT_EQ(e.order, (Tokens{L"ONE", L"TWO", L"ONE"}));

    const std::vector<std::wstring> pieces = SplitReads(L"A " + std::wstring(2100, L'x') + L"\nB b\n");
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].size(), 1022u);
    EXPECT_EQ(pieces[2], std::wstring(58, L'x') + L"\n");
    Entries cut;  // a piece that happens to hold two tokens is an entry of its own
    ParseText(std::wstring(1020, L'y') + L" ztail words here\nC c\n", cut);
    EXPECT_EQ(cut.texts[std::wstring(1020, L'y')], L"z");
    EXPECT_EQ(cut.texts.size(), 2u);
}

TEST(TextTableDecode, ByteOrderMarkSelectsTheEncodingBadBytesStayInsideAndFormatsAreChecked)
{
    const std::pair<std::string, std::wstring> cases[] = {
        {Utf16Le(L"K \x4E2D\r\nL v\r\n"), L"K \x4E2D\nL v\n"}, {std::string("\xFE\xFF\x00K\x4E\x2D", 6), L"K\x4E2D"},
        {"\xEF\xBB\xBFK \xE4\xB8\xAD\r\n", L"K \x4E2D\n"}, {"K \xE9\r\n", L"K \xE9\n"},
        {Utf16Le(L"a\rb"), L"a\rb"},  // a lone CR is kept by the text mode
        {"", L""}, {"\xEF\xBB\xBF" "a\xE4\xB8", L"a\xFFFD"}, {"\xEF\xBB\xBF\xFF" "b", L"\xFFFD" L"b"},
        {std::string("\xFF\xFE" "a", 3), L""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeTextFile(c.first, &Latin1), c.second) << testing::PrintToString(c.first);

    // Backslash n, and only the expected conversions in a format.
    EXPECT_EQ(ExpandLineBreaks(L"a\\nb"), L"a\r\nb");
    EXPECT_EQ(ExpandLineBreaks(L"end\\"), L"end\\");
    EXPECT_EQ(ExpandLineBreaks(L"\\\\n"), L"\\\r\n");
    for (const wchar_t* ok : {L"Downloading %s", L"100%% of %-20.5s"}) EXPECT_TRUE(FormatMatches(ok, L"s")) << ok;
    EXPECT_TRUE(FormatMatches(L"%s to %s", L"ss"));
    for (const wchar_t* bad : {L"Downloading", L"%s %s", L"%d", L"%n%s", L"%*s", L"%ls"})
        EXPECT_FALSE(FormatMatches(bad, L"s")) << bad;
    EXPECT_FALSE(FormatMatches(L"trailing %", L""));
}

// Reading of the text table file data\string.txt, byte-level and
// platform-neutral. Texts are UTF-16 code units held in wide strings.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace TextTable {

// Converts bytes without a byte-order mark (the local code page on Windows).
typedef std::wstring (*AnsiDecoder)(const std::string& bytes);

// The file as the runtime's text mode with "ccs=UNICODE" delivers it: the
// byte-order mark selects UTF-16LE, UTF-16BE or UTF-8, no mark means the
// local code page; CR LF becomes LF.
std::wstring DecodeTextFile(const std::string& bytes, AnsiDecoder ansi);

// Splits the text into the pieces that line reads with a buffer of
// bufferSize characters deliver: up to and including a line feed, at most
// bufferSize - 2 characters each.
std::vector<std::wstring> SplitReads(const std::wstring& text, std::size_t bufferSize = 1024);

// Characters up to 0x20 separate tokens outside double quotes; quotes are
// dropped, a closing quote ends its token, empty tokens are not produced.
std::vector<std::wstring> Tokenize(const std::wstring& line);

struct Entries {
    std::map<std::wstring, std::wstring> texts;
    std::vector<std::wstring> order;  // tags as met, repeats included
};

// Lines of exactly two tokens are entries (tag, text); others are ignored.
void ParseText(const std::wstring& text, Entries& entries);

// The skin's texts write a line break as backslash and n.
std::wstring ExpandLineBreaks(const std::wstring& text);

}  // namespace TextTable

namespace TextTable {

// True when the printf-style format's conversions are exactly those listed in
// expected, in order (e.g. L"s"); "%%" is a literal. Formats from the table
// are data: '*' and 'n' are never accepted.
bool FormatMatches(const std::wstring& format, const std::wstring& expected);

}  // namespace TextTable

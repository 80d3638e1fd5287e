#include "XmlLoad.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "Scramble.h"
#include "Utf8.h"

namespace {

// Paths are UTF-8; on Windows they open through the wide API.
std::FILE* OpenUtf8Path(const char* path)
{
#ifdef _WIN32
    std::wstring wide;
    if (Base::Utility::Utf16FromUtf8(path, &wide)) return _wfopen(wide.c_str(), L"rb");
#endif
    return std::fopen(path, "rb");
}

// TinyXML keeps the parse cursor protected; a derived type may name it.
struct DocumentAccess : TiXmlDocument {
    static void ResetLocation(TiXmlDocument& doc)
    {
        (doc.*(&DocumentAccess::location)).Clear();
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void SetOpenError(TiXmlDocument& doc)
{
    doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
}

bool StartsWith(const std::string& text, size_t at, const char* prefix)
{
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool EqualsNoCase(const std::string& text, size_t at, const char* word)
{
    for (size_t k = 0; word[k]; ++k) {
        if (at + k >= text.size()) return false;
        char c = text[at + k];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[k]) return false;
    }
    return true;
}

// A declaration that names an encoding other than UTF-8, in the plainest
// form: "<?xml" and quoted version, encoding, standalone, then "?>".
bool DeclaresLegacyEncoding(const std::string& text, size_t at)
{
    size_t i = at + 5;
    bool legacy = false;
    for (;;) {
        const size_t before = i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (text.compare(i, 2, "?>") == 0) return legacy;
        if (i == before) return false;
        const char* names[] = {"version", "encoding", "standalone"};
        size_t which = 3;
        for (size_t k = 0; k < 3; ++k)
            if (EqualsNoCase(text, i, names[k]) && i + std::strlen(names[k]) < text.size() &&
                text[i + std::strlen(names[k])] == '=')
                which = k;
        if (which == 3) return false;
        i += std::strlen(names[which]) + 1;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
        const size_t end = text.find(text[i], i + 1);
        if (end == std::string::npos) return false;
        if (which == 1) {
            const std::string value = text.substr(i + 1, end - i - 1);
            legacy = !value.empty() && !EqualsNoCase(value, 0, "utf-8") && !EqualsNoCase(value, 0, "utf8");
            if (value.size() != 5 && value.size() != 4) legacy = !value.empty();
        }
        i = end + 1;
    }
}

// Where TinyXML would read past the structure the bounds scan sees, the
// text is mended first. (1) A numeric reference is taken to the next ';'
// wherever that is, skipping tags and ends of tags: a "&#" that does not
// start a whole "&#x41;" or "&#65;" becomes "?#". (2) In UTF-8 (after a
// byte-order mark, or a declaration without an encoding or with UTF-8) a
// multi-byte sequence is stepped over by its first byte, also when it is cut
// short, swallowing a '<', a quote or the text's end: such a first byte
// becomes '?'.
void RepairForTheParser(std::string& text)
{
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    for (size_t at = 0; (at = text.find("&#", at)) != std::string::npos; at += 2) {
        size_t i = at + 2;
        const bool isHex = i < text.size() && text[i] == 'x';
        if (isHex) ++i;
        const size_t digits = i;
        while (i < text.size() && (isHex ? hex(text[i]) : text[i] >= '0' && text[i] <= '9')) ++i;
        if (i == digits || i >= text.size() || text[i] != ';') text[at] = '?';
    }
    bool utf8 = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    for (size_t at = 0; !utf8 && (at = text.find("<?", at)) != std::string::npos; at += 2)
        if (EqualsNoCase(text, at + 2, "xml")) utf8 = !DeclaresLegacyEncoding(text, at);
    if (!utf8) return;
    for (size_t i = 0; i < text.size(); ++i) {
        const int length = TiXmlBase::utf8ByteTable[static_cast<unsigned char>(text[i])];
        bool whole = i + length <= text.size();
        for (int k = 1; whole && k < length; ++k) whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!whole)
            text[i] = '?';
        else
            i += length - 1;
    }
}

bool LoadFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, bool scrambled, std::string* refused)
{
    doc.Clear();
    DocumentAccess::ResetLocation(doc);
    doc.SetValue(fileName);

    std::unique_ptr<std::FILE, FileCloser> file(OpenUtf8Path(fileName));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        SetOpenError(doc);
        return false;
    }
    const long length = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    // An empty file records no error, so that the sibling's result decides.
    if (length == 0) return false;
    if (length < 0) {
        SetOpenError(doc);
        return false;
    }
    if (static_cast<unsigned long>(length) > kMaxXmlBytes) {
        if (refused) *refused = "larger than " + std::to_string(kMaxXmlBytes) + " bytes";
        doc.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    if (std::fread(&bytes[0], 1, bytes.size(), file.get()) != bytes.size()) {
        SetOpenError(doc);
        return false;
    }
    file.reset();
    return ParseXmlBytes(doc, bytes, scrambled, encoding, refused);
}

}  // namespace

std::string XmlBoundsProblem(const std::string& text, std::size_t maxBytes, unsigned maxDepth)
{
    if (text.size() > maxBytes) return "larger than " + std::to_string(maxBytes) + " bytes";
    const std::string tooDeep = "nested deeper than " + std::to_string(maxDepth) + " levels";
    unsigned depth = 0;
    size_t i = 0;
    const size_t n = text.size();
    while ((i = text.find('<', i)) != std::string::npos) {
        if (StartsWith(text, i, "<!--") || StartsWith(text, i, "<![CDATA[")) {
            const char* end = text[i + 2] == '-' ? "-->" : "]]>";
            const size_t close = text.find(end, i + 4);
            if (close == std::string::npos) return "";
            i = close + 3;
            continue;
        }
        const char next = i + 1 < n ? text[i + 1] : '\0';
        const bool endTag = next == '/';
        const bool element = !endTag && next != '!' && next != '?';
        if (endTag && depth > 0) --depth;
        if (element && ++depth > maxDepth) return tooDeep;
        // To the '>' outside quotes. A '<' before it is refused: the parser
        // and this scan could then disagree on where the tag ends.
        char quote = 0;
        size_t j = i + 1;
        for (; j < n; ++j) {
            const char c = text[j];
            if (c == '<') return "a '<' inside a tag";
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (j >= n) return "";
        if (element && text[j - 1] == '/' && j - 1 > i) --depth;
        i = j + 1;
    }
    return "";
}

bool ParseXmlBytes(TiXmlDocument& doc, const std::string& bytes, bool scrambled, TiXmlEncoding encoding,
                   std::string* refused)
{
    std::string raw = bytes;
    if (scrambled && !raw.empty()) Scramble::Apply(reinterpret_cast<unsigned char*>(&raw[0]), raw.size());
    // CR LF and lone CR become LF; the text ends at the first NUL.
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size() && raw[i] != '\0';) {
        if (raw[i] == '\r') {
            text.push_back('\n');
            if (++i < raw.size() && raw[i] == '\n') ++i;
        } else {
            text.push_back(raw[i++]);
        }
    }
    RepairForTheParser(text);
    const std::string problem = XmlBoundsProblem(text);
    if (!problem.empty()) {
        if (refused) *refused = problem;
        doc.SetError(TiXmlBase::TIXML_ERROR, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    // TinyXML steps over a multi-byte sequence whole, also when the text ends
    // inside it: NULs after the end keep it from reading past the buffer.
    text.append(4, '\0');
    doc.Parse(text.c_str(), nullptr, encoding);
    return !doc.Error();
}

bool LoadPlainFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, std::string* refused)
{
    return LoadFile(doc, fileName, encoding, false, refused);
}

bool LoadScrambledFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, std::string* refused)
{
    return LoadFile(doc, fileName, encoding, true, refused);
}

bool LoadXmlDocument(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, std::string* refused)
{
    if (LoadPlainFile(doc, fileName, encoding, refused)) return true;
    const std::string sibling = Scramble::SiblingName(fileName);
    return LoadScrambledFile(doc, sibling.c_str(), encoding, refused);
}

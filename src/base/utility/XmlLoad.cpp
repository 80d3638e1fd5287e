#include "XmlLoad.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "Scramble.h"

namespace {

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

bool LoadFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, bool scrambled, std::string* refused)
{
    doc.Clear();
    DocumentAccess::ResetLocation(doc);
    doc.SetValue(fileName);

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
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

#include "XmlLoad.h"

#include <cstdio>
#include <memory>
#include <string>

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

bool LoadFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, bool scrambled)
{
    doc.Clear();
    DocumentAccess::ResetLocation(doc);
    doc.SetValue(fileName);

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
    if (!file) {
        doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    // An empty file records no error, so that the sibling's result decides.
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    const long length = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    if (length == 0) return false;
    if (length < 0) {
        doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }

    const std::size_t size = static_cast<std::size_t>(length);
    std::unique_ptr<unsigned char[]> buf(new unsigned char[size + 1]);
    if (std::fread(buf.get(), 1, size, file.get()) != size) {
        doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    file.reset();

    if (scrambled) Scramble::Apply(buf.get(), size);
    buf[size] = 0;

    // CR LF and lone CR become LF; the text ends at the first NUL.
    std::string text;
    text.reserve(size);
    for (const unsigned char* p = buf.get(); *p;) {
        if (*p == '\r') {
            text.push_back('\n');
            if (*++p == '\n') ++p;
        } else {
            text.push_back(static_cast<char>(*p++));
        }
    }
    buf.reset();

    doc.Parse(text.c_str(), nullptr, encoding);
    return !doc.Error();
}

}  // namespace

bool LoadPlainFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding)
{
    return LoadFile(doc, fileName, encoding, false);
}

bool LoadScrambledFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding)
{
    return LoadFile(doc, fileName, encoding, true);
}

bool LoadXmlDocument(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding)
{
    if (LoadPlainFile(doc, fileName, encoding)) return true;
    const std::string sibling = Scramble::SiblingName(fileName);
    return LoadScrambledFile(doc, sibling.c_str(), encoding);
}

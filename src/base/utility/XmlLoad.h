// The one way the program loads an XML file: the plain file first, then its
// scrambled ".eml" sibling. Every text is held to a size and a nesting depth
// before TinyXML, which recurses once per level, sees it.
#pragma once

#include <cstddef>
#include <string>

#include <tinyxml.h>

const std::size_t kMaxXmlBytes = 16u << 20;
const unsigned kMaxXmlDepth = 32;

// Empty when the text keeps to the bounds, else why not. The depth counted
// is never below the parser's (anything it cannot tell apart is refused).
std::string XmlBoundsProblem(const std::string& text, std::size_t maxBytes = kMaxXmlBytes,
                             unsigned maxDepth = kMaxXmlDepth);

// The bytes of a file (scrambled ones undone first) parsed into doc. False
// on a parse error or when the bounds refuse the text (then *refused says
// why, when given, and the document records a generic error).
bool ParseXmlBytes(TiXmlDocument& doc, const std::string& bytes, bool scrambled, TiXmlEncoding encoding,
                   std::string* refused = nullptr);

// File names are UTF-8 (ASCII reads the same in any code page).
// True when a document was parsed without error from the plain file or,
// failing that, from the scrambled sibling. After a false result the
// document's error state tells why (TinyXML keeps the first error), and
// *refused the bounds that refused a file.
bool LoadXmlDocument(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding,
                     std::string* refused = nullptr);

bool LoadPlainFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding, std::string* refused = nullptr);
bool LoadScrambledFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding,
                       std::string* refused = nullptr);

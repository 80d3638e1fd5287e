// The one way the program loads an XML file: the plain file first, then its
// scrambled ".eml" sibling.
#pragma once

#include <tinyxml.h>

// True when a document was parsed without error from the plain file or,
// failing that, from the scrambled sibling. After a false result the
// document's error state tells why (TinyXML keeps the first error).
bool LoadXmlDocument(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding);

bool LoadPlainFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding);
bool LoadScrambledFile(TiXmlDocument& doc, const char* fileName, TiXmlEncoding encoding);

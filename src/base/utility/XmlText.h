// The one reader of XML attributes and element texts. Wide results are
// decoded as UTF-8 when the document declares it, else in the local code page.
#pragma once

#include <string>

class TiXmlElement;
class TiXmlText;

std::string XmlAttribute(const TiXmlElement* element, const char* name);  // bytes as stored, "" if absent
std::string XmlElementText(const TiXmlElement* element);                   // "" if absent or empty
bool XmlDeclaresUtf8(const TiXmlElement* element);
#ifdef _WIN32
std::wstring XmlAttributeW(const TiXmlElement* element, const char* name);
#endif

// The element's text node, created empty when the element has no child, so
// that a value can be written into it; null when its first child is no text.
TiXmlText* XmlTextNode(TiXmlElement* element);

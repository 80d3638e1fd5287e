// Texts of XML attributes and elements as wide strings: UTF-8 when the
// document declares it, else the local code page.
#pragma once

#include <string>

class TiXmlElement;

std::wstring XmlAttributeW(const TiXmlElement* element, const char* name);
std::string XmlAttribute(const TiXmlElement* element, const char* name);  // bytes as stored, "" if absent

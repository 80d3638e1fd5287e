#include "XmlText.h"

#include <tinyxml.h>

#ifdef _WIN32
#include "StrConv.h"
#endif

bool XmlDeclaresUtf8(const TiXmlElement* element)
{
    const TiXmlDocument* doc = element ? element->GetDocument() : nullptr;
    const TiXmlNode* first = doc ? doc->FirstChild() : nullptr;
    const TiXmlDeclaration* decl = first ? first->ToDeclaration() : nullptr;
    if (decl == nullptr) return false;
    std::string enc = decl->Encoding();
    for (char& c : enc)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return enc == "utf-8";
}

std::string XmlAttribute(const TiXmlElement* element, const char* name)
{
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : "";
}

#ifdef _WIN32
std::wstring XmlAttributeW(const TiXmlElement* element, const char* name)
{
    const char* value = element ? element->Attribute(name) : nullptr;
    if (value == nullptr) return std::wstring();
    return XmlDeclaresUtf8(element) ? Base::Utility::Utf8ToWide(value) : Base::Utility::AnsiToWide(value);
}
#endif

std::string XmlElementText(const TiXmlElement* element)
{
    const char* text = element ? element->GetText() : nullptr;
    return text ? text : "";
}

TiXmlText* XmlTextNode(TiXmlElement* element)
{
    if (element == nullptr) return nullptr;
    if (element->FirstChild() == nullptr) element->LinkEndChild(new TiXmlText(""));
    return element->FirstChild()->ToText();
}

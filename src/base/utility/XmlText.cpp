#include "XmlText.h"

#include <cstring>

#include <tinyxml.h>

#include "StrConv.h"

namespace {

bool DeclaresUtf8(const TiXmlElement* element)
{
    const TiXmlDocument* doc = element->GetDocument();
    const TiXmlNode* first = doc ? doc->FirstChild() : nullptr;
    const TiXmlDeclaration* decl = first ? first->ToDeclaration() : nullptr;
    return decl && _stricmp(decl->Encoding(), "utf-8") == 0;
}

}  // namespace

std::string XmlAttribute(const TiXmlElement* element, const char* name)
{
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : "";
}

std::wstring XmlAttributeW(const TiXmlElement* element, const char* name)
{
    const char* value = element ? element->Attribute(name) : nullptr;
    if (value == nullptr) return std::wstring();
    return DeclaresUtf8(element) ? Base::Utility::Utf8ToWide(value) : Base::Utility::AnsiToWide(value);
}

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

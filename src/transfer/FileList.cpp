#include "FileList.h"

#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "base/utility/XmlText.h"

namespace {

std::uint32_t CheckType(const std::string& text)
{
    if (text == "md5") return 0;
    if (text == "crc32") return 1;
    if (text == "sh1") return 2;
    return 3;
}

std::uint32_t Number(const std::string& text) { return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10)); }

}  // namespace

void CFileList::Read(const TiXmlElement* fileList)
{
    if (fileList == nullptr) return;
    for (const TiXmlElement* e = fileList->FirstChildElement(); e; e = e->NextSiblingElement()) {
        SFileListItem* item = new SFileListItem;
        item->operation = std::strcmp(e->Value(), "add") == 0 ? SFileListItem::OP_COPY : SFileListItem::OP_DELETE;
        item->checkType = CheckType(XmlAttribute(e, "checktype"));
        item->compressed = Number(XmlAttribute(e, "Compressed"));
        item->name = XmlAttributeW(e, "name");
        item->path = XmlAttributeW(e, "path");
        item->checksum = XmlAttribute(e, "checksum");
        item->size = Number(XmlAttribute(e, "size"));
        item->next = m_head;
        m_head = item;
        ++m_count;
    }
}

std::unique_ptr<SFileListItem> CFileList::TakeHead()
{
    SFileListItem* item = m_head;
    if (item == nullptr) return nullptr;
    m_head = item->next;
    item->next = nullptr;
    return std::unique_ptr<SFileListItem>(item);
}

void CFileList::Clear()
{
    while (TakeHead()) {
    }
    m_count = 0;
}

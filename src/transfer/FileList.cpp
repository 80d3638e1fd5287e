#include "FileList.h"

#include "PackageFileList.h"
#include "base/utility/StrConv.h"

namespace {

std::uint32_t CheckType(const std::string& text)
{
    if (text == "md5") return 0;
    if (text == "crc32") return 1;
    if (text == "sh1") return 2;
    return 3;
}

}  // namespace

void CFileList::Read(const SPackageFileList& list)
{
    auto decode = [&list](const std::string& text) {
        return list.utf8 ? Base::Utility::Utf8ToWide(text) : Base::Utility::AnsiToWide(text);
    };
    for (const SFileListRecord& r : list.items) {
        SFileListItem* item = new SFileListItem;
        item->operation = r.add ? SFileListItem::OP_COPY : SFileListItem::OP_DELETE;
        item->checkType = CheckType(r.checktype);
        item->compressed = r.compressed;
        item->name = decode(r.name);
        item->path = decode(r.path);
        item->checksum = r.checksum;
        item->size = r.size;
        item->delta = r.delta;
        item->hasSlice = r.hasSlice;
        item->sliceOffset = r.sliceOffset;
        item->sliceSize = r.sliceSize;
        item->baseChecksum = r.baseChecksum;
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

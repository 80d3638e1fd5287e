// The file list of a patch package (filelist.xml), as the installer works it
// off: each item read is put at the head, so the last child comes first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SPackageFileList;

struct SFileListItem {
    enum { OP_COPY = 0, OP_DELETE = 1 };
    std::uint32_t operation = OP_COPY;
    std::uint32_t checkType = 3;  // md5 0, crc32 1, sh1 2, other 3
    std::uint32_t compressed = 0;
    std::wstring name;
    std::wstring path;
    std::string checksum;
    std::uint64_t size = 0;
    std::string delta, baseChecksum;  // of a delta entry (PackageFileList.h)
    bool hasSlice = false;
    std::uint64_t sliceOffset = 0, sliceSize = 0;
    SFileListItem* next = nullptr;
};

class CFileList {
public:
    CFileList() = default;
    ~CFileList() { Clear(); }
    CFileList(const CFileList&) = delete;
    CFileList& operator=(const CFileList&) = delete;

    // Every record of the list, names and paths decoded as the document declares.
    void Read(const SPackageFileList& list);
    std::unique_ptr<SFileListItem> TakeHead();
    const SFileListItem* Head() const { return m_head; }
    std::uint32_t Count() const { return m_count; }
    void Clear();

private:
    SFileListItem* m_head = nullptr;
    std::uint32_t m_count = 0;
};

// filelist.xml of a patch package read into plain records: the package's
// format and versions and its FileList in file order. Bytes as stored;
// names and paths are decoded by the installer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TiXmlDocument;

// More items than this refuse the list.
const std::size_t kMaxFileListItems = 100000;

struct SFileListRecord {
    bool add = true;  // "add", else delete
    std::string checktype, name, path, checksum;
    std::uint32_t size = 0;
    std::uint32_t compressed = 0;
};

struct SPackageFileList {
    std::string installer;  // "root"/"Installer" version
    std::string internal, from;
    bool utf8 = false;      // the document declares UTF-8
    std::vector<SFileListRecord> items;
};

enum EFileListResult {
    FILELIST_OK,
    FILELIST_NOT_1_0_0,  // no root, no Installer, or another format
    FILELIST_NO_VERSIONS,
    FILELIST_TOO_MANY_ITEMS,
};

EFileListResult ReadPackageFileList(const TiXmlDocument& doc, SPackageFileList* out);

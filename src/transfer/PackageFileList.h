// filelist.xml of a patch package read into plain records: the package's
// format and versions and its FileList in file order. Bytes as stored;
// names and paths are decoded by the installer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TiXmlDocument;

// The format of packages with delta entries; older launchers refuse it.
const char kDeltaInstallerVersion[] = "1.1.0";

// More items than this refuse the list.
const std::size_t kMaxFileListItems = 100000;

struct SFileListRecord {
    bool add = true;  // "add", else delete
    std::string checktype, name, path, checksum;
    std::uint64_t size = 0;  // files of a delta entry may pass 4 GiB
    std::uint32_t compressed = 0;
    // A delta entry: its kind ("zstd", "zstd-x86", "diff-lzma", "diff-solid")
    // and the MD5 of the old file it applies to; a "diff-solid" delta lies in
    // the package's solid bundle at "deltaslice" ("OFFSET:SIZE").
    std::string delta, baseChecksum;
    bool hasSlice = false;
    std::uint64_t sliceOffset = 0, sliceSize = 0;
};

struct SPackageFileList {
    std::string installer;  // "root"/"Installer" version
    std::string internal, from;
    bool utf8 = false;      // the document declares UTF-8
    std::vector<SFileListRecord> items;
};

enum EFileListResult {
    FILELIST_OK,
    FILELIST_NOT_1_0_0,  // no root, no Installer, or a format other than 1.0.0 and 1.1.0
    FILELIST_NO_VERSIONS,
    FILELIST_TOO_MANY_ITEMS,
};

EFileListResult ReadPackageFileList(const TiXmlDocument& doc, SPackageFileList* out);

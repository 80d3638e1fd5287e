// What a patch package says of itself, read as the launcher reads it: its
// file list's format and versions, and the names of its entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/PackageFileList.h"

struct SPackageInfo {
    SPackageFileList list;             // filelist.xml
    std::vector<std::wstring> names;   // the zip's entries, decoded as the launcher decodes them
    bool undecodable = false;          // a name flagged UTF-8 that is not
};

// False with why when the file is no package the launcher can read.
bool ReadPackageInfo(const std::string& path, SPackageInfo* out, std::string* why);

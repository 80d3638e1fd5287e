#include "RevisionRecord.h"

#include <filesystem>

#include <tinyxml.h>

#include "TreeDiff.h"
#include "base/utility/PathText.h"

bool AddPackageElement(TiXmlElement* record, const char* kind, const std::string& path, bool lowerName,
                       std::string* error)
{
    std::uint64_t size = 0;
    const std::string md5 = Md5OfFile(path, &size);
    if (md5.empty()) {
        *error = "cannot read the package " + path;
        return false;
    }
    if (size > 0xFFFFFFFFull) {
        *error = path + " is larger than the 32-bit size field";
        return false;
    }
    std::string name = std::filesystem::u8path(path).filename().u8string();
    if (lowerName) name = Base::Utility::AsciiLower(name);
    TiXmlElement* e = new TiXmlElement(kind);
    e->SetAttribute("filename", name.c_str());
    e->SetAttribute("size", std::to_string(size).c_str());
    e->SetAttribute("checktype", "md5");
    e->SetAttribute("checksum", md5.c_str());
    record->LinkEndChild(e);
    return true;
}

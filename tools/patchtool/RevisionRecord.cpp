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

bool AddDeltaAttributes(TiXmlElement* record, const char* kind, const std::string& path, bool lowerName,
                        std::string* error)
{
    TiXmlElement* e = nullptr;
    for (TiXmlElement* k = record->FirstChildElement(kind); k; k = k->NextSiblingElement(kind)) e = k;
    std::uint64_t size = 0;
    const std::string md5 = Md5OfFile(path, &size);
    if (e == nullptr || md5.empty() || size > 0xFFFFFFFFull) {
        *error = e == nullptr ? std::string("a delta package needs its whole-file package") : "cannot use the package " + path;
        return false;
    }
    std::string name = std::filesystem::u8path(path).filename().u8string();
    if (lowerName) name = Base::Utility::AsciiLower(name);
    e->SetAttribute("delta", name.c_str());
    e->SetAttribute("deltasize", std::to_string(size).c_str());
    e->SetAttribute("deltachecksum", md5.c_str());
    return true;
}

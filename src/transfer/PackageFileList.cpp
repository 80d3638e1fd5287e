#include "PackageFileList.h"

#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "base/utility/XmlText.h"

namespace {

std::uint32_t Number(const std::string& text) { return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10)); }

// strtoul is 32 bits wide on Windows and would clamp a size past 4 GiB.
std::uint64_t Size(const std::string& text) { return std::strtoull(text.c_str(), nullptr, 10); }

}  // namespace

EFileListResult ReadPackageFileList(const TiXmlDocument& doc, SPackageFileList* out)
{
    *out = SPackageFileList();
    const TiXmlElement* root = doc.FirstChildElement("root");
    const TiXmlElement* installer = root ? root->FirstChildElement("Installer") : nullptr;
    out->installer = XmlAttribute(installer, "version");
    if (out->installer != "1.0.0" && out->installer != kDeltaInstallerVersion) return FILELIST_NOT_1_0_0;
    out->utf8 = XmlDeclaresUtf8(root);
    const TiXmlElement* version = root->FirstChildElement("Version");
    out->internal = XmlAttribute(version, "internal");
    out->from = XmlAttribute(version, "from");
    if (out->internal.empty() || out->from.empty()) return FILELIST_NO_VERSIONS;
    const TiXmlElement* list = root->FirstChildElement("FileList");
    for (const TiXmlElement* e = list ? list->FirstChildElement() : nullptr; e; e = e->NextSiblingElement()) {
        if (out->items.size() >= kMaxFileListItems) return FILELIST_TOO_MANY_ITEMS;
        SFileListRecord r;
        r.add = std::strcmp(e->Value(), "add") == 0;
        r.checktype = XmlAttribute(e, "checktype");
        r.compressed = Number(XmlAttribute(e, "Compressed"));
        r.name = XmlAttribute(e, "name");
        r.path = XmlAttribute(e, "path");
        r.checksum = XmlAttribute(e, "checksum");
        r.size = Size(XmlAttribute(e, "size"));
        r.delta = XmlAttribute(e, "delta");
        r.baseChecksum = XmlAttribute(e, "basechecksum");
        const std::string slice = XmlAttribute(e, "deltaslice");
        const size_t colon = slice.find(':');
        if (colon != std::string::npos && colon > 0 && colon + 1 < slice.size() &&
            slice.find_first_not_of("0123456789:") == std::string::npos && colon < 20 && slice.size() - colon - 1 < 20) {
            r.hasSlice = true;
            r.sliceOffset = std::strtoull(slice.c_str(), nullptr, 10);
            r.sliceSize = std::strtoull(slice.c_str() + colon + 1, nullptr, 10);
        }
        out->items.push_back(r);
    }
    return FILELIST_OK;
}

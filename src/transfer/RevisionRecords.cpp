#include "RevisionRecords.h"

#include <cstdlib>

#include <tinyxml.h>

#include "base/utility/XmlText.h"

namespace {

SPackageFile ReadPackage(const TiXmlElement* e)
{
    SPackageFile p;
    if (e == nullptr) return p;
    p.filename = XmlAttribute(e, "filename");
    p.hasSize = e->Attribute("size") != nullptr;
    // Packages past 4 GiB are stated whole.
    p.size = std::strtoull(XmlAttribute(e, "size").c_str(), nullptr, 10);
    p.checktype = XmlAttribute(e, "checktype");
    p.checksum = XmlAttribute(e, "checksum");
    p.deltaFilename = XmlAttribute(e, "delta");
    p.hasDeltaSize = e->Attribute("deltasize") != nullptr;
    p.deltaSize = std::strtoull(XmlAttribute(e, "deltasize").c_str(), nullptr, 10);
    p.deltaChecksum = XmlAttribute(e, "deltachecksum");
    return p;
}

}  // namespace

ERevisionResult ReadRevisionRecords(const TiXmlDocument& doc, std::vector<SRevision>* out)
{
    out->clear();
    const TiXmlElement* root = doc.RootElement();
    if (root == nullptr) return REVISION_NO_ROOT;
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (out->size() >= kMaxRevisionRecords) return REVISION_TOO_MANY;
        SRevision r;
        r.interversion = XmlAttribute(e, "interversion");
        r.prevversion = XmlAttribute(e, "prevversion");
        r.MicroBaseVersion =
            static_cast<std::uint32_t>(std::strtoul(XmlAttribute(e, "MicroBaseVersion").c_str(), nullptr, 10));
        r.upgrade = ReadPackage(e->FirstChildElement("upgrade"));
        r.degrade = ReadPackage(e->FirstChildElement("degrade"));
        out->push_back(r);
    }
    return REVISION_OK;
}

#include "RevisionXml.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "Version.h"
#include "base/utility/StrConv.h"
#include "base/utility/XmlLoad.h"
#include "base/utility/XmlText.h"

namespace {

SPackageFile ReadPackage(const TiXmlElement* e)
{
    SPackageFile p;
    if (e == nullptr) return p;
    p.filename = XmlAttribute(e, "filename");
    p.size = static_cast<std::uint32_t>(std::strtoul(XmlAttribute(e, "size").c_str(), nullptr, 10));
    p.checktype = XmlAttribute(e, "checktype");
    p.checksum = XmlAttribute(e, "checksum");
    return p;
}

}  // namespace

bool CRevisionXml::Load(const char* path, const LogSink& log)
{
    auto fail = [&](const std::wstring& line) {
        if (log) log(line);
        return false;
    };
    m_records.clear();
    std::unique_ptr<TiXmlDocument> doc(new (std::nothrow) TiXmlDocument);
    if (!doc) return fail(L"CRevisionXml::TiXmlDocument new ERROR!");
    if (!LoadXmlDocument(*doc, path, TIXML_ENCODING_UNKNOWN))
        return fail(L"CRevisionXml::Load " + Base::Utility::AnsiToWide(path) + L" ERROR!");
    const TiXmlElement* root = doc->RootElement();
    if (root == nullptr) return fail(L"CRevisionXml::can't find root element");
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        SRevision r;
        r.interversion = XmlAttribute(e, "interversion");
        r.prevversion = XmlAttribute(e, "prevversion");
        r.MicroBaseVersion =
            static_cast<std::uint32_t>(std::strtoul(XmlAttribute(e, "MicroBaseVersion").c_str(), nullptr, 10));
        r.upgrade = ReadPackage(e->FirstChildElement("upgrade"));
        r.degrade = ReadPackage(e->FirstChildElement("degrade"));
        m_records.emplace(r.interversion, r);  // a repeated interversion is dropped
    }
    return true;
}

void CRevisionXml::FindUpgrade(SRevision& query) const
{
    for (const auto& entry : m_records) {
        const SRevision& r = entry.second;
        if (r.prevversion == query.prevversion && CompareVersion(r.interversion, query.interversion) <= 0) {
            query.upgrade = r.upgrade;
            query.interversion = r.interversion;
            return;
        }
    }
}

void CRevisionXml::FindDegrade(SRevision& query) const
{
    for (const auto& entry : m_records) {
        const SRevision& r = entry.second;
        if (r.interversion == query.prevversion && CompareVersion(r.prevversion, query.interversion) >= 0) {
            query.degrade = r.degrade;
            query.prevversion = r.prevversion;
            return;
        }
    }
}

CRevisionXml& RevisionTable()
{
    static CRevisionXml* s_table = new CRevisionXml;
    return *s_table;
}

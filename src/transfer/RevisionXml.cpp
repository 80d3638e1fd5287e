#include "RevisionXml.h"

#include <memory>
#include <new>

#include "RevisionRecords.h"
#include "Version.h"
#include "base/utility/StrConv.h"
#include "base/utility/XmlLoad.h"

bool CRevisionXml::Load(const char* path, const LogSink& log)
{
    auto fail = [&](const std::wstring& line) {
        if (log) log(line);
        return false;
    };
    m_records.clear();
    m_bBoundExceeded = false;
    std::unique_ptr<TiXmlDocument> doc(new (std::nothrow) TiXmlDocument);
    if (!doc) return fail(L"CRevisionXml::TiXmlDocument new ERROR!");
    std::string refused;
    if (!LoadXmlDocument(*doc, path, TIXML_ENCODING_UNKNOWN, &refused)) {
        m_bBoundExceeded = !refused.empty();
        if (m_bBoundExceeded)
            return fail(L"Error:bound exceeded: " + Base::Utility::AnsiToWide(path) + L" " +
                        Base::Utility::AnsiToWide(refused));
        return fail(L"CRevisionXml::Load " + Base::Utility::AnsiToWide(path) + L" ERROR!");
    }
    std::vector<SRevision> records;
    switch (ReadRevisionRecords(*doc, &records)) {
    case REVISION_NO_ROOT: return fail(L"CRevisionXml::can't find root element");
    case REVISION_TOO_MANY:
        m_bBoundExceeded = true;
        return fail(L"Error:bound exceeded: " + Base::Utility::AnsiToWide(path) + L" has more than " +
                    std::to_wstring(kMaxRevisionRecords) + L" records");
    case REVISION_OK: break;
    }
    for (const SRevision& r : records) m_records.emplace(r.interversion, r);  // a repeated interversion is dropped
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

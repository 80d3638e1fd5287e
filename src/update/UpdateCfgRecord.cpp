#include "UpdateCfgRecord.h"

#include <cstdlib>

#include <tinyxml.h>

#include "UpdateInfoRecord.h"
#include "base/utility/XmlText.h"

namespace {

TiXmlText* VersionNode(TiXmlElement* e, std::string& field)
{
    TiXmlText* text = XmlTextNode(e);
    field = text ? text->Value() : "";
    return text;
}

bool IsDecimal(const std::string& text)
{
    if (text.empty() || text.size() > 19) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Every reading of the keys that could be taken two ways fails: a second
// section (in any Root), a section without keys, a time that is no number.
EUpdateCfgResult ReadTrustedKeys(const TiXmlElement* root, SUpdateCfgRecord* out)
{
    auto bad = [out](const std::string& why) {
        out->keysProblem = why;
        return UPDATECFG_BAD_KEYS;
    };
    int sections = 0;
    for (const TiXmlElement* r = root; r; r = r->NextSiblingElement("Root"))
        for (const TiXmlElement* k = r->FirstChildElement("TrustedKeys"); k; k = k->NextSiblingElement("TrustedKeys"))
            ++sections;
    const TiXmlElement* keys = root->FirstChildElement("TrustedKeys");
    if (sections > 1) return bad("more than one TrustedKeys section");
    if (sections == 1 && keys == nullptr) return bad("a TrustedKeys section in a second Root element");
    if (keys == nullptr) return UPDATECFG_OK;
    out->hasKeysSection = true;
    const char* stamp = keys->Attribute("InfoTimestamp");
    if (stamp != nullptr && !IsDecimal(stamp)) return bad("InfoTimestamp is not a number");
    out->infoTimestamp = stamp ? std::strtoull(stamp, nullptr, 10) : 0;
    const char* qa = keys->Attribute("QaInfoTimestamp");
    if (qa != nullptr && !IsDecimal(qa)) return bad("QaInfoTimestamp is not a number");
    out->qaInfoTimestamp = qa ? std::strtoull(qa, nullptr, 10) : 0;
    for (const auto& field : {std::make_pair("Sequence", &out->sequence), std::make_pair("QaSequence", &out->qaSequence)}) {
        const char* value = keys->Attribute(field.first);
        if (value != nullptr && !IsDecimal(value)) return bad(std::string(field.first) + " is not a number");
        *field.second = value ? std::strtoull(value, nullptr, 10) : 0;
    }
    for (const TiXmlElement* key = keys->FirstChildElement("Key"); key; key = key->NextSiblingElement("Key")) {
        if (out->trustedKeys.size() >= kMaxTrustedKeys) return UPDATECFG_TOO_MANY_KEYS;
        out->trustedKeys.push_back(XmlElementText(key));
    }
    if (out->trustedKeys.empty()) return bad("a TrustedKeys section without a Key");
    return UPDATECFG_OK;
}

}  // namespace

EUpdateCfgResult ReadUpdateCfgRecord(TiXmlDocument& doc, bool internet, SUpdateCfgRecord* out)
{
    *out = SUpdateCfgRecord();
    TiXmlElement* root = doc.FirstChildElement("Root");
    if (root == nullptr) return UPDATECFG_NO_ROOT;
    TiXmlElement* version = root->FirstChildElement("Version");
    if (version == nullptr) return UPDATECFG_NO_VERSION;
    if (TiXmlElement* e = version->FirstChildElement("LastVersion")) out->lastVersionNode = VersionNode(e, out->lastVersion);
    if (TiXmlElement* e = version->FirstChildElement("CurVersion")) out->curVersionNode = VersionNode(e, out->curVersion);
    if (TiXmlElement* e = version->FirstChildElement("ClientVer")) out->clientVerNode = VersionNode(e, out->clientVer);
    TiXmlElement* downloaded = version->FirstChildElement("DownloadedFileVersion");
    if (downloaded == nullptr) return UPDATECFG_NO_DOWNLOADED_VERSION;
    out->downloadedFileVersionNode = VersionNode(downloaded, out->downloadedFileVersion);

    if (const TiXmlElement* limits = root->FirstChildElement("Download")) {
        const unsigned long mib = std::strtoul(XmlAttribute(limits, "MaxUnsizedMiB").c_str(), nullptr, 10);
        const unsigned long stall = std::strtoul(XmlAttribute(limits, "StallSeconds").c_str(), nullptr, 10);
        if (mib > 0 && mib <= (1ul << 20)) out->maxUnsizedBytes = static_cast<std::uint64_t>(mib) << 20;
        if (stall > 0 && stall <= 3600) out->stallSeconds = static_cast<std::uint32_t>(stall);
        const unsigned long rate = std::strtoul(XmlAttribute(limits, "RateLimitKiB").c_str(), nullptr, 10);
        if (rate < (1ul << 22)) out->rateLimitKiB = static_cast<std::uint32_t>(rate);
        const std::string minRate = XmlAttribute(limits, "MinRateKiB");
        const unsigned long min = std::strtoul(minRate.c_str(), nullptr, 10);
        if (!minRate.empty() && min < (1ul << 22)) out->minRateKiB = static_cast<std::uint32_t>(min);
        out->proxy = XmlAttribute(limits, "Proxy");
    }

    const EUpdateCfgResult keys = ReadTrustedKeys(root, out);
    if (keys != UPDATECFG_OK) return keys;

    const TiXmlElement* manual = root->FirstChildElement("ManualUpdateURL");
    if (manual == nullptr) return UPDATECFG_NO_MANUAL_URL;
    out->normalURL = XmlAttribute(manual, "NormalURL");
    out->testUpdateURL = XmlAttribute(manual, "TestUpdateURL");
    out->testRollbackURL = XmlAttribute(manual, "TestRollbackURL");

    const TiXmlElement* holder = root->FirstChildElement(internet ? "InternetUpdate" : "RDTest");
    if (holder == nullptr) return internet ? UPDATECFG_NO_HOLDER : UPDATECFG_NO_RDTEST;
    const TiXmlElement* url = holder->FirstChildElement("UpdateInfoURL");
    if (url == nullptr) return UPDATECFG_NO_URL;
    for (; url; url = url->NextSiblingElement("UpdateInfoURL")) {
        if (out->infoUrls.size() >= kMaxUpdateInfoUrls) return UPDATECFG_TOO_MANY_URLS;
        out->infoUrls.push_back(XmlElementText(url));
    }
    return UPDATECFG_OK;
}

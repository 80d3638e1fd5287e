#include "UpdateInfoRecord.h"

#include <cstdlib>

#include <tinyxml.h>

#include "base/utility/XmlText.h"

unsigned long VersionOrPortNumber(const std::string& text)
{
    const bool hex = text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    return std::strtoul(text.c_str() + (hex ? 2 : 0), nullptr, hex ? 16 : 10);
}

EUpdateInfoResult ReadUpdateInfoRecord(const TiXmlDocument& doc, SUpdateInfoRecord* out)
{
    *out = SUpdateInfoRecord();
    const TiXmlElement* root = doc.FirstChildElement("Root");
    if (root == nullptr) return UPDATEINFO_NO_ROOT;
    if (const TiXmlElement* latest = root->FirstChildElement("LatestVersion")) {
        out->hasLatest = true;
        out->latestVersion = XmlElementText(latest);
    }
    for (const TiXmlElement* e = root->FirstChildElement("PatchServer"); e; e = e->NextSiblingElement("PatchServer")) {
        if (out->servers.size() >= kMaxPatchServers) return UPDATEINFO_TOO_MANY_SERVERS;
        SPatchServer s;
        s.Clientdir = XmlAttribute(e, "Clientdir");
        s.Xmlfiledir = XmlAttribute(e, "Xmlfiledir");
        s.maxsize = std::atoi(XmlAttribute(e, "maxsize").c_str());
        s.url = XmlAttribute(e, "url");
        s.unicomurl = XmlAttribute(e, "unicomurl");
        s.port = XmlAttribute(e, "port");
        s.Version = XmlAttribute(e, "Version");
        out->servers.push_back(s);
    }
    if (const TiXmlElement* holder = root->FirstChildElement("InternetUpdate2")) {
        out->hasInternetUpdate2 = true;
        for (const TiXmlElement* p = holder->FirstChildElement("UpdateInfoURL"); p;
             p = p->NextSiblingElement("UpdateInfoURL")) {
            if (out->infoUrls.size() >= kMaxUpdateInfoUrls) return UPDATEINFO_TOO_MANY_URLS;
            out->infoUrls.push_back(XmlElementText(p));
        }
    }
    for (const char* name : {"PatchClientZip1", "PatchClientZip2"}) {
        if (const TiXmlElement* p = root->FirstChildElement(name)) {
            out->basePackUrls.push_back(XmlAttribute(p, "url"));
            out->basePackFiles.push_back(XmlAttribute(p, "filename"));
        }
    }
    if (const TiXmlElement* link = root->FirstChildElement("LinkServerConn")) {
        out->hasLink = true;
        out->linkIp = XmlAttribute(link, "ip");
        const std::string ports = XmlAttribute(link, "port");
        for (size_t start = 0; start <= ports.size();) {
            size_t end = ports.find(';', start);
            if (end == std::string::npos) end = ports.size();
            const std::string piece = ports.substr(start, end - start);
            // Empty pieces (a trailing ';') are no port 0.
            if (!piece.empty()) {
                if (out->linkPorts.size() >= kMaxUpdateInfoUrls) return UPDATEINFO_TOO_MANY_URLS;
                out->linkPorts.push_back(static_cast<int>(VersionOrPortNumber(piece)));
            }
            start = end + 1;
        }
    }
    if (const TiXmlElement* store = root->FirstChildElement("ChunkStore")) out->chunkStoreDir = XmlAttribute(store, "dir");
    return UPDATEINFO_OK;
}

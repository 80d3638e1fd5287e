// NewUpdateInfo.xml read into a plain record: the server's update
// information as the engine keeps it (latest version, patch servers) and the
// parts read at initialisation (more addresses, base packs, link server).
#pragma once

#include <string>
#include <vector>

class TiXmlDocument;

// More servers or addresses than these refuse the file.
const std::size_t kMaxPatchServers = 256;
const std::size_t kMaxUpdateInfoUrls = 32;

// One patch server of the update information.
struct SPatchServer {
    std::string Clientdir;
    std::string Xmlfiledir;
    int maxsize = 0;
    std::string url;        // Telecom line
    std::string unicomurl;  // Unicom line
    std::string port;
    std::string Version;
};

struct SUpdateInfoRecord {
    bool hasLatest = false;
    std::string latestVersion;
    std::vector<SPatchServer> servers;
    bool hasInternetUpdate2 = false;
    std::vector<std::string> infoUrls;  // of InternetUpdate2
    std::vector<std::string> basePackUrls, basePackFiles;  // PatchClientZip1, 2 as present
    bool hasLink = false;
    std::string linkIp;
    std::vector<int> linkPorts;
    // "ChunkStore": the folder of release manifests and chunk bundles, below
    // each patch server's address ("" when the release has none).
    std::string chunkStoreDir;
};

enum EUpdateInfoResult {
    UPDATEINFO_OK,
    UPDATEINFO_NO_ROOT,
    UPDATEINFO_TOO_MANY_SERVERS,
    UPDATEINFO_TOO_MANY_URLS,
};

EUpdateInfoResult ReadUpdateInfoRecord(const TiXmlDocument& doc, SUpdateInfoRecord* out);

// A number of a text: hexadecimal after "0x" or "0X" when it has at least
// 3 characters, decimal otherwise, up to the first character that does not fit.
unsigned long VersionOrPortNumber(const std::string& text);

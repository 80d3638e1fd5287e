// PatchCfg\NewUpdateCfg.xml read into a plain record. The document stays
// the engine's: the record points at the text nodes that later saves write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TiXmlDocument;
class TiXmlText;

struct SUpdateCfgRecord {
    // Text nodes of LastVersion, CurVersion, ClientVer, DownloadedFileVersion
    // (an empty element gains one); null when the element is missing.
    TiXmlText* lastVersionNode = nullptr;
    TiXmlText* curVersionNode = nullptr;
    TiXmlText* clientVerNode = nullptr;
    TiXmlText* downloadedFileVersionNode = nullptr;
    std::string lastVersion, curVersion, clientVer, downloadedFileVersion;
    std::string normalURL, testUpdateURL, testRollbackURL;
    std::vector<std::string> infoUrls;
    // Optional "Download" element: a body without a stated size is cut off
    // at MaxUnsizedMiB; a transfer stalls after StallSeconds without enough
    // bytes; RateLimitKiB caps the rate of every transfer (0: no limit); a
    // response slower than MinRateKiB on average is abandoned (0: never).
    std::uint64_t maxUnsizedBytes = 2048ull << 20;
    std::uint32_t stallSeconds = 30;
    std::uint32_t rateLimitKiB = 0;
    std::uint32_t minRateKiB = 1;
    // "Proxy": "system" (or none), "direct", or http://[USER[:PASSWORD]@]HOST[:PORT].
    std::string proxy;
    // Optional "TrustedKeys": the base64 lines of minisign public keys; with
    // the section, downloads are verified. Its "InfoTimestamp" attribute is
    // the signature time of the last accepted update information.
    bool hasKeysSection = false;
    std::vector<std::string> trustedKeys;
    std::uint64_t infoTimestamp = 0;
    // "QaInfoTimestamp": the same for the test server's information (-TS),
    // kept apart so that a test run never locks players out of production.
    std::uint64_t qaInfoTimestamp = 0;
    // "Sequence" and "QaSequence": the sequence number of the last accepted
    // publication; older update information and manifests are replays.
    std::uint64_t sequence = 0, qaSequence = 0;
    // Why the security settings cannot be read unambiguously (UPDATECFG_BAD_KEYS).
    std::string keysProblem;
};

// The step that failed, for the engine's log line.
enum EUpdateCfgResult {
    UPDATECFG_OK,
    UPDATECFG_NO_ROOT,
    UPDATECFG_NO_VERSION,
    UPDATECFG_NO_DOWNLOADED_VERSION,
    UPDATECFG_NO_MANUAL_URL,
    UPDATECFG_NO_RDTEST,
    UPDATECFG_NO_HOLDER,
    UPDATECFG_NO_URL,
    UPDATECFG_TOO_MANY_URLS,
    UPDATECFG_TOO_MANY_KEYS,
    UPDATECFG_BAD_KEYS,  // the keys fail closed: keysProblem says why
};

const std::size_t kMaxTrustedKeys = 16;

// internet: the addresses under InternetUpdate, else under RDTest. Fields
// read before a failure are kept.
EUpdateCfgResult ReadUpdateCfgRecord(TiXmlDocument& doc, bool internet, SUpdateCfgRecord* out);

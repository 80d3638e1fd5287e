#include "ChunkStoreClient.h"

#include <algorithm>

#include "UpdateEngine.h"
#include "base/utility/PathText.h"
#include "base/utility/StrConv.h"
#include "transfer/Directories.h"
#include "transfer/PathFence.h"

using Base::Utility::AnsiToWide;
using Base::Utility::Utf8ToWide;

namespace {

// What a check of a manifest needs to know of it.
class CHeaderOnly : public IManifestVisitor {
public:
    void Header(const std::string& v, std::uint64_t s, std::size_t b, std::size_t c, std::size_t) override
    {
        version = v;
        sequence = s;
        bundles = b;
        chunks = c;
    }
    void Bundle(const SBundle&) override {}
    void Chunk(const SChunkRef&) override {}
    void File(const std::string&, const SManifestFile&, const std::uint32_t*) override { ++files; }
    std::string version;
    std::uint64_t sequence = 0;
    std::size_t bundles = 0, chunks = 0, files = 0;
};

}  // namespace

CChunkStoreClient::CChunkStoreClient(CUpdateEngine& engine) : m_engine(engine) {}

bool CChunkStoreClient::Load()
{
    m_stores.clear();
    SUpdateInfoRecord r;
    if (!m_engine.LoadUpdateInfoRecord("PatchCfg\\NewUpdateInfo.xml", &r) || r.chunkStoreDir.empty()) return false;
    std::string dir = Base::Utility::AsciiLower(Base::Utility::WithSlashes(r.chunkStoreDir));
    if (dir.back() != '/') dir += '/';
    if (FenceName(dir.substr(0, dir.size() - 1), NAME_RELATIVE_PATH) != NAME_OK) {
        m_engine.SetLog(LOG_TO_FILE, L"Error:refused name %s (the chunk store's folder)", AnsiToWide(dir).c_str());
        return false;
    }
    // The chosen server first, then the others of the same version on its line.
    for (const std::string& base : m_engine.Route().Bases(m_engine.m_strPatchBaseURL)) {
        for (const SPatchServer& s : m_engine.m_vecPatchServer) {
            for (const std::string* line : {&s.url, &s.unicomurl}) {
                if (line->empty() || *line + s.Xmlfiledir != base) continue;
                std::string store = *line;
                if (store.back() != '/') store += '/';
                store += dir;
                if (std::find(m_stores.begin(), m_stores.end(), store) == m_stores.end()) m_stores.push_back(store);
            }
        }
    }
    return !m_stores.empty();
}

void CChunkStoreClient::Refuse(const std::string& what, EManifestResult result, const std::string& why)
{
    m_engine.SetLog(LOG_TO_FILE, L"Error:manifest refused: %s: %s (%s)", Utf8ToWide(what).c_str(),
                    AnsiToWide(ManifestResultText(result)).c_str(), Utf8ToWide(why).c_str());
    switch (result) {
    case MANIFEST_REFUSED_PATH: m_engine.Fault(FAULT_REFUSED_NAME); break;
    case MANIFEST_TOO_LARGE: m_engine.Fault(FAULT_BOUND_EXCEEDED); break;
    default: m_engine.Fault(FAULT_BAD_MANIFEST); break;
    }
}

EManifestFetch CChunkStoreClient::Fetch(const std::string& version, bool fresh, std::string* localPath, SManifest* out)
{
    const std::string name = version + ".manifest";
    if (FenceName(name, NAME_PLAIN_FILE) != NAME_OK) return MANIFEST_ABSENT;
    *localPath = Base::Utility::WideToUtf8(m_engine.m_strTempDir) + name;
    SDownloadLimits limits;
    limits.maxSize = kMaxManifestBytes;
    for (size_t i = 0; i < m_stores.size(); ++i) {
        const std::string url = m_stores[i] + "manifests/" + name;
        EDownloadResult code = DOWNLOAD_REQUEST_FAILED;
        if (m_engine.DownloadOneFile(url, false, "", "", "", *localPath, false, limits, &code) == 0 &&
            code != DOWNLOAD_OK) {
            if (code == DOWNLOAD_TOO_LARGE) return MANIFEST_REFUSED;
            continue;
        }
        if (!m_engine.VerifyDownload(url, Utf8ToWide(*localPath), false, fresh)) return MANIFEST_REFUSED;
        // Checked whole; kept only when asked for (a streamed reader reads it again).
        CHeaderOnly header;
        std::string why;
        EManifestResult result = out ? ReadManifestFile(*localPath, out, &why) : VisitManifestFile(*localPath, header, &why);
        if (out) {
            header.Header(out->version, out->sequence, out->bundles.size(), out->chunks.size(), 0);
            header.files = out->files.size();
        }
        if (result == MANIFEST_OK && header.version != version) {
            result = MANIFEST_MALFORMED;
            why = "it is the manifest of version " + header.version;
        }
        if (result != MANIFEST_OK) {
            Refuse(url, result, why);
            DeleteFileForced(Utf8ToWide(*localPath));
            return MANIFEST_REFUSED;
        }
        m_engine.SetLog(LOG_TO_FILE, L"manifest of %s: %u files, %u chunks in %u bundles (sequence %llu)",
                        AnsiToWide(version).c_str(), static_cast<unsigned>(header.files),
                        static_cast<unsigned>(header.chunks), static_cast<unsigned>(header.bundles),
                        static_cast<unsigned long long>(header.sequence));
        return MANIFEST_FETCHED;
    }
    return MANIFEST_ABSENT;
}

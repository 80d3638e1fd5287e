#include "InstalledManifest.h"

#include <algorithm>
#include <filesystem>

#include "InstallVerify.h"

namespace fs = std::filesystem;

long long LocalSize(const std::string& path)
{
    std::error_code ec;
    const auto status = fs::status(fs::u8path(path), ec);
    if (ec || !fs::is_regular_file(status)) return -1;
    const auto size = fs::file_size(fs::u8path(path), ec);
    return ec ? -1 : static_cast<long long>(size);
}

namespace {

// Target files by path, case ignored.
class CPathIndex {
public:
    explicit CPathIndex(const SManifest& m)
    {
        m_keys.reserve(m.files.size());
        for (std::uint32_t i = 0; i < m.files.size(); ++i) m_keys.emplace_back(ManifestPathKey(m.Path(m.files[i])), i);
        std::sort(m_keys.begin(), m_keys.end());
    }
    long long Find(const std::string& path) const
    {
        const std::uint64_t k = ManifestPathKey(path);
        auto it = std::lower_bound(m_keys.begin(), m_keys.end(), std::make_pair(k, std::uint32_t(0)));
        if (it == m_keys.end() || it->first != k) return -1;
        return it->second;
    }

private:
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_keys;
};

// First pass over the installed version's manifest: which target files are
// unchanged, which installed files the target drops.
class CInstalledFiles : public IManifestVisitor {
public:
    CInstalledFiles(const SManifest& target, const CPathIndex& index, std::vector<bool>* same,
                    std::vector<std::string>* deletions)
        : m_target(target), m_index(index), m_same(same), m_deletions(deletions)
    {
    }
    void Header(const std::string&, std::uint64_t, std::size_t, std::size_t, std::size_t) override {}
    void Bundle(const SBundle&) override {}
    void Chunk(const SChunkRef&) override {}
    void File(const std::string& path, const SManifestFile& f, const std::uint32_t*) override
    {
        const long long t = m_index.Find(path);
        if (t < 0) {
            m_deletions->push_back(path);
            return;
        }
        const SManifestFile& g = m_target.files[static_cast<std::size_t>(t)];
        (*m_same)[static_cast<std::size_t>(t)] = g.size == f.size && std::equal(g.blake2b, g.blake2b + 32, f.blake2b);
    }

private:
    const SManifest& m_target;
    const CPathIndex& m_index;
    std::vector<bool>* m_same;
    std::vector<std::string>* m_deletions;
};

// Second pass: the chunks the plan wants, where the installed files hold them.
class CInstalledChunks : public IManifestVisitor {
public:
    CInstalledChunks(CChunkPlan& plan, const std::string& gameDir) : m_plan(plan), m_gameDir(gameDir) {}
    void Header(const std::string&, std::uint64_t, std::size_t, std::size_t chunks, std::size_t) override
    {
        m_chunks.reserve(chunks);
    }
    void Bundle(const SBundle&) override {}
    void Chunk(const SChunkRef& c) override
    {
        SIdLength k;
        std::copy(c.id, c.id + kChunkIdBytes, k.id);
        k.length = c.length;
        m_chunks.push_back(k);
    }
    void File(const std::string& path, const SManifestFile& f, const std::uint32_t* chunks) override
    {
        std::vector<CChunkPlan::SPlace> places;
        std::uint64_t offset = 0;
        for (std::uint32_t i = 0; i < f.chunkCount; ++i) {
            const SIdLength& c = m_chunks[chunks[i]];
            if (m_plan.Wants(c.id)) places.push_back({c.id, offset, c.length});
            offset += c.length;
        }
        if (places.empty()) return;
        const std::string local = InstalledPath(m_gameDir, path);
        if (LocalSize(local) == static_cast<long long>(f.size)) m_plan.OfferPlaces(local, places);
    }

private:
    struct SIdLength {
        std::uint8_t id[kChunkIdBytes];
        std::uint32_t length;
    };
    CChunkPlan& m_plan;
    std::string m_gameDir;
    std::vector<SIdLength> m_chunks;
};

}  // namespace

void CompareInstalled(const std::string& installedManifest, const SManifest& target, std::vector<bool>* same,
                      std::vector<std::string>* deletions)
{
    CPathIndex index(target);
    CInstalledFiles files(target, index, same, deletions);
    VisitManifestFile(installedManifest, files, nullptr);
}

void OfferInstalled(const std::string& installedManifest, CChunkPlan& plan, const std::string& gameDir)
{
    CInstalledChunks chunks(plan, gameDir);
    VisitManifestFile(installedManifest, chunks, nullptr);
}

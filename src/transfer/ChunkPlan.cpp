#include "ChunkPlan.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <sodium.h>

#include "base/utility/Utf8Path.h"

namespace {

std::uint64_t Key(const std::uint8_t* id)
{
    std::uint64_t k = 0;
    std::memcpy(&k, id, sizeof k);
    return k;
}

typedef std::unique_ptr<std::FILE, int (*)(std::FILE*)> CFile;

CFile Open(const std::string& path) { return CFile(OpenUtf8(path, "rb"), &std::fclose); }

}  // namespace

void ChunkId(const void* data, std::size_t size, std::uint8_t id[kChunkIdBytes])
{
    crypto_generichash(id, kChunkIdBytes, static_cast<const unsigned char*>(data), size, nullptr, 0);
}

CChunkIndex::CChunkIndex(const SManifest& manifest) : m_manifest(manifest)
{
    m_keys.reserve(manifest.chunks.size());
    for (std::size_t i = 0; i < manifest.chunks.size(); ++i)
        m_keys.emplace_back(Key(manifest.chunks[i].id), static_cast<std::uint32_t>(i));
    std::sort(m_keys.begin(), m_keys.end());
}

long long CChunkIndex::Find(const std::uint8_t id[kChunkIdBytes]) const
{
    const std::uint64_t k = Key(id);
    auto it = std::lower_bound(m_keys.begin(), m_keys.end(), std::make_pair(k, std::uint32_t(0)));
    for (; it != m_keys.end() && it->first == k; ++it)
        if (std::memcmp(m_manifest.chunks[it->second].id, id, kChunkIdBytes) == 0) return it->second;
    return -1;
}

CChunkPlan::CChunkPlan(const SManifest& target)
    : m_target(target), m_index(target), m_need(target.chunks.size(), CHUNK_UNUSED)
{
}

void CChunkPlan::Rebuild(std::uint32_t file)
{
    const SManifestFile& f = m_target.files[file];
    m_rebuild.push_back(file);
    for (std::uint32_t i = 0; i < f.chunkCount; ++i) {
        std::uint8_t& need = m_need[m_target.Chunks(f)[i]];
        if (need == CHUNK_UNUSED) need = CHUNK_FETCH;
    }
}

bool CChunkPlan::Wants(const std::uint8_t id[kChunkIdBytes]) const
{
    const long long c = m_index.Find(id);
    return c >= 0 && m_need[static_cast<std::size_t>(c)] == CHUNK_FETCH;
}

void CChunkPlan::UseLocal(std::uint32_t chunk, const std::string& localPath, std::uint64_t offset)
{
    if (m_sourcePaths.empty() || m_sourcePaths.back() != localPath) m_sourcePaths.push_back(localPath);
    m_sources.push_back({chunk, static_cast<std::uint32_t>(m_sourcePaths.size() - 1), offset});
    m_need[chunk] = CHUNK_LOCAL;
    m_sorted = false;
}

void CChunkPlan::OfferManifestFile(const std::string& localPath, const SManifest& m, const SManifestFile& f)
{
    std::vector<SPlace> places;
    std::uint64_t offset = 0;
    for (std::uint32_t k = 0; k < f.chunkCount; ++k) {
        const SChunkRef& c = m.chunks[m.Chunks(f)[k]];
        places.push_back({c.id, offset, c.length});
        offset += c.length;
    }
    OfferPlaces(localPath, places);
}

void CChunkPlan::OfferPlaces(const std::string& localPath, const std::vector<SPlace>& places)
{
    CFile file(nullptr, &std::fclose);
    std::vector<std::uint8_t> bytes;
    for (const SPlace& p : places) {
        const long long c = m_index.Find(p.id);
        if (c < 0 || m_need[static_cast<std::size_t>(c)] != CHUNK_FETCH) continue;
        if (!file) file = Open(localPath);
        if (!file) return;
        // Only what the file really holds counts: it may have been damaged.
        bytes.resize(p.length);
        std::uint8_t id[kChunkIdBytes];
        if (!SeekUtf8File(file.get(), p.offset) || std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
            continue;
        ChunkId(bytes.data(), bytes.size(), id);
        if (std::memcmp(id, p.id, kChunkIdBytes) == 0) UseLocal(static_cast<std::uint32_t>(c), localPath, p.offset);
    }
}

void CChunkPlan::OfferFile(const std::string& localPath)
{
    CFile file = Open(localPath);
    if (!file) return;
    std::vector<std::uint8_t> block(1 << 20);
    CChunkCutter cutter;
    std::uint64_t offset = 0;
    for (bool more = true; more;) {
        const std::size_t n = std::fread(block.data(), 1, block.size(), file.get());
        more = n > 0;
        if (more)
            cutter.Feed(block.data(), n);
        else
            cutter.Finish();
        const std::uint8_t* data = nullptr;
        std::size_t length = 0;
        while (cutter.Next(&data, &length)) {
            std::uint8_t id[kChunkIdBytes];
            ChunkId(data, length, id);
            const long long c = m_index.Find(id);
            if (c >= 0 && m_need[static_cast<std::size_t>(c)] == CHUNK_FETCH)
                UseLocal(static_cast<std::uint32_t>(c), localPath, offset);
            offset += length;
        }
    }
}

const SChunkSource* CChunkPlan::Source(std::uint32_t chunk) const
{
    if (!m_sorted) {
        auto& sources = const_cast<std::vector<SChunkSource>&>(m_sources);
        std::sort(sources.begin(), sources.end(),
                  [](const SChunkSource& a, const SChunkSource& b) { return a.chunk < b.chunk; });
        m_sorted = true;
    }
    auto it = std::lower_bound(m_sources.begin(), m_sources.end(), chunk,
                               [](const SChunkSource& s, std::uint32_t c) { return s.chunk < c; });
    return it != m_sources.end() && it->chunk == chunk ? &*it : nullptr;
}

std::uint64_t CChunkPlan::FetchBytes() const
{
    std::uint64_t n = 0;
    for (std::size_t c = 0; c < m_need.size(); ++c)
        if (m_need[c] == CHUNK_FETCH) n += m_target.chunks[c].packed;
    return n;
}

std::size_t CChunkPlan::FetchChunks() const
{
    return static_cast<std::size_t>(std::count(m_need.begin(), m_need.end(), CHUNK_FETCH));
}

std::uint64_t CChunkPlan::LocalBytes() const
{
    std::uint64_t n = 0;
    for (std::size_t c = 0; c < m_need.size(); ++c)
        if (m_need[c] == CHUNK_LOCAL) n += m_target.chunks[c].length;
    return n;
}

std::uint64_t CChunkPlan::RebuildBytes() const
{
    std::uint64_t n = 0;
    for (std::uint32_t f : m_rebuild) n += m_target.files[f].size;
    return n;
}

std::vector<SChunkRange> CChunkPlan::Ranges(bool (*have)(void*, std::uint32_t), void* context) const
{
    std::vector<std::uint32_t> chunks;
    for (std::size_t c = 0; c < m_need.size(); ++c)
        if (m_need[c] == CHUNK_FETCH && !(have && have(context, static_cast<std::uint32_t>(c))))
            chunks.push_back(static_cast<std::uint32_t>(c));
    return MergeRanges(m_target, std::move(chunks));
}

std::vector<SChunkRange> MergeRanges(const SManifest& m, std::vector<std::uint32_t> chunks, std::uint64_t gap,
                                     std::uint64_t maxBytes)
{
    std::sort(chunks.begin(), chunks.end(), [&](std::uint32_t a, std::uint32_t b) {
        const SChunkRef &x = m.chunks[a], &y = m.chunks[b];
        return x.bundle != y.bundle ? x.bundle < y.bundle : x.offset < y.offset;
    });
    std::vector<SChunkRange> ranges;
    for (std::uint32_t c : chunks) {
        const SChunkRef& r = m.chunks[c];
        const std::uint64_t last = r.offset + r.packed - 1;
        if (!ranges.empty()) {
            SChunkRange& open = ranges.back();
            const std::uint64_t end = std::max(open.last, last);
            if (open.bundle == r.bundle && r.offset <= open.last + 1 + gap && end - open.first + 1 <= maxBytes) {
                open.last = end;
                open.chunks.push_back(c);
                continue;
            }
        }
        SChunkRange fresh;
        fresh.bundle = r.bundle;
        fresh.first = r.offset;
        fresh.last = last;
        fresh.chunks.push_back(c);
        ranges.push_back(std::move(fresh));
    }
    return ranges;
}

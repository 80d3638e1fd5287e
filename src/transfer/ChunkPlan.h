// What rebuilding some files of a manifest takes: which of their chunks the
// installation already holds (checked against its bytes, wherever they lie)
// and which must be fetched, grouped into ranges of the bundles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Manifest.h"

// Finds a chunk of a manifest by its id.
class CChunkIndex {
public:
    explicit CChunkIndex(const SManifest& manifest);
    // The index of the chunk, or -1.
    long long Find(const std::uint8_t id[kChunkIdBytes]) const;

private:
    const SManifest& m_manifest;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_keys;  // first 8 bytes of the id, index
};

// BLAKE2b-256 of bytes, as chunks are named.
void ChunkId(const void* data, std::size_t size, std::uint8_t id[kChunkIdBytes]);

enum EChunkNeed : std::uint8_t {
    CHUNK_UNUSED = 0,  // no file to rebuild has it
    CHUNK_LOCAL,       // read from a file of the installation
    CHUNK_FETCH,       // fetched from a bundle
};

struct SChunkSource {
    std::uint32_t chunk;   // of the target manifest
    std::uint32_t file;    // into SChunkPlan::sourcePaths
    std::uint64_t offset;  // of its bytes in that file
};

// A Range request: bytes first..last of a bundle and the chunks within.
struct SChunkRange {
    std::uint32_t bundle = 0;
    std::uint64_t first = 0, last = 0;
    std::vector<std::uint32_t> chunks;
};

// Ranges whose gap is below this go out as one request.
const std::uint64_t kRangeMergeGap = 64 * 1024;
// A merged request fetches at most this (a worker holds it in memory).
const std::uint64_t kMaxRangeBytes = 8u << 20;

class CChunkPlan {
public:
    explicit CChunkPlan(const SManifest& target);

    // The file (an index of the target manifest) is rebuilt: its chunks are needed.
    void Rebuild(std::uint32_t file);
    // Chunks that lie at known places of a local file (its manifest says
    // where): each that a rebuilt file needs is read and hashed, and used
    // from there when it matches. localPath is UTF-8.
    struct SPlace {
        const std::uint8_t* id;
        std::uint64_t offset;
        std::uint32_t length;
    };
    void OfferPlaces(const std::string& localPath, const std::vector<SPlace>& places);
    // Every chunk of file f of manifest m, at its place in the local file.
    void OfferManifestFile(const std::string& localPath, const SManifest& m, const SManifestFile& f);
    // The chunks of a local file of unknown contents, cut and hashed as the publisher cuts them.
    void OfferFile(const std::string& localPath);
    // Whether any rebuilt file still needs a chunk with this id from a bundle.
    bool Wants(const std::uint8_t id[kChunkIdBytes]) const;

    const std::vector<std::uint32_t>& Files() const { return m_rebuild; }
    EChunkNeed Need(std::uint32_t chunk) const { return static_cast<EChunkNeed>(m_need[chunk]); }
    // Where a local chunk is read from; null when it is not local.
    const SChunkSource* Source(std::uint32_t chunk) const;
    const std::string& SourcePath(std::uint32_t file) const { return m_sourcePaths[file]; }
    const CChunkIndex& Index() const { return m_index; }

    // Bytes: to fetch (compressed, each chunk once), read locally, written.
    std::uint64_t FetchBytes() const;
    std::uint64_t LocalBytes() const;
    std::uint64_t RebuildBytes() const;
    std::size_t FetchChunks() const;
    // The chunks to fetch, but those that have() already holds, as merged
    // ranges in bundle and offset order.
    std::vector<SChunkRange> Ranges(bool (*have)(void*, std::uint32_t) = nullptr, void* context = nullptr) const;

private:
    void UseLocal(std::uint32_t chunk, const std::string& localPath, std::uint64_t offset);

    const SManifest& m_target;
    CChunkIndex m_index;
    std::vector<std::uint32_t> m_rebuild;
    std::vector<std::uint8_t> m_need;
    std::vector<SChunkSource> m_sources;  // sorted by chunk when asked
    mutable bool m_sorted = true;
    std::vector<std::string> m_sourcePaths;
};

// Merges chunks (indexes of manifest, any order) into range requests.
std::vector<SChunkRange> MergeRanges(const SManifest& manifest, std::vector<std::uint32_t> chunks,
                                     std::uint64_t gap = kRangeMergeGap, std::uint64_t maxBytes = kMaxRangeBytes);

// Chunks fetched from bundles, kept in one file of the temp directory until
// the files they belong to are rebuilt. A run cut short keeps them: the next
// run reads the spool back (every record hashed again) and fetches only the
// rest. Records are appended by several fetchers at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ChunkPlan.h"
#include "Manifest.h"

class CChunkSpool {
public:
    CChunkSpool(const SManifest& manifest, const CChunkIndex& index);
    ~CChunkSpool();
    CChunkSpool(const CChunkSpool&) = delete;
    CChunkSpool& operator=(const CChunkSpool&) = delete;

    // Opens the spool at path (UTF-8), keeping the records of an earlier run
    // that are chunks of this manifest and still hash to their ids.
    bool Open(const std::string& path);
    void Close();
    // Checks packed, the compressed bytes of a chunk, against its id and
    // appends them; false (with *why) when they are not the chunk.
    bool Add(std::uint32_t chunk, const void* packed, std::size_t size, std::string* why);
    bool Has(std::uint32_t chunk) const;
    // The plain bytes of a held chunk.
    bool Read(std::uint32_t chunk, std::vector<std::uint8_t>* plain);
    std::size_t Held() const;

    // Whether packed are a chunk's bytes: they decompress to its length and hash to its id.
    static bool Check(const SChunkRef& chunk, const void* packed, std::size_t size, std::vector<std::uint8_t>* plain,
                      std::string* why);

private:
    const SManifest& m_manifest;
    const CChunkIndex& m_index;
    std::string m_path;
    std::FILE* m_file = nullptr;
    std::uint64_t m_end = 0;
    std::vector<std::uint64_t> m_offsets;  // per chunk, of its packed bytes + 1 (0: not held)
    mutable std::mutex m_lock;
};

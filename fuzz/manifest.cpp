// A release manifest as a server may send it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/Manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SManifest m;
    std::string why;
    if (ReadManifest(data, size, &m, &why) != MANIFEST_OK) return 0;
    // What is accepted holds together: files add up, chunks lie in their
    // bundles, and it writes back to the same bytes.
    for (const SManifestFile& f : m.files) {
        std::uint64_t total = 0;
        for (std::uint32_t i = 0; i < f.chunkCount; ++i) total += m.chunks.at(m.fileChunks.at(f.firstChunk + i)).length;
        if (total != f.size) std::abort();
    }
    for (const SChunkRef& c : m.chunks)
        if (c.offset + c.packed > m.bundles.at(c.bundle).size) std::abort();
    if (WriteManifest(m) != std::string(reinterpret_cast<const char*>(data), size)) std::abort();
    return 0;
}

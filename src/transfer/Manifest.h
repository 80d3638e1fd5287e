// A release manifest: every file of a version with its size, digests and the
// chunks it is made of, each chunk named by the BLAKE2b-256 of its bytes and
// stored zstd-compressed at an offset of a bundle file. A compact binary
// format of our own, read by a bounded parser: manifests come from servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Chunker.h"

struct SChunkRef {
    std::uint8_t id[kChunkIdBytes];
    std::uint32_t bundle;   // index into the manifest's bundles
    std::uint64_t offset;   // of its compressed bytes in the bundle
    std::uint32_t packed;   // compressed length
    std::uint32_t length;   // plain length
};

struct SManifestFile {
    std::string path;                 // UTF-8, backslashes
    std::uint64_t size = 0;
    std::uint8_t blake2b[32] = {};
    std::uint8_t md5[16] = {};
    std::vector<std::uint32_t> chunks;  // indexes into the manifest's chunks, in file order
};

struct SBundle {
    std::string name;  // a plain file name ending in ".bundle"
    std::uint64_t size = 0;
};

struct SManifest {
    std::string version;
    std::uint64_t sequence = 0;  // grows with every publication
    std::vector<SBundle> bundles;
    std::vector<SChunkRef> chunks;
    std::vector<SManifestFile> files;
};

// Bounds of what a manifest may hold.
const std::size_t kMaxManifestBytes = 512u << 20;
const std::size_t kMaxManifestFiles = 1000000;
const std::size_t kMaxManifestChunks = 16u << 20;  // 1 TiB of 64 KiB chunks
const std::size_t kMaxManifestBundles = 100000;

enum EManifestResult {
    MANIFEST_OK,
    MANIFEST_MALFORMED,        // not a manifest, cut short, or counts past the bytes
    MANIFEST_TOO_LARGE,        // counts past the bounds
    MANIFEST_REFUSED_PATH,     // a path outside the installation or of the engine's own
    MANIFEST_DUPLICATE_PATH,   // two files of one name (case ignored as Windows does)
    MANIFEST_BAD_CHUNKS,       // chunk lists that do not add up, indexes or offsets outside
};

const char* ManifestResultText(EManifestResult result);

std::string WriteManifest(const SManifest& manifest);
// On failure *why says where.
EManifestResult ReadManifest(const void* data, std::size_t size, SManifest* out, std::string* why);

// Lower-case hex of a chunk id (names it in logs and caches).
std::string ChunkIdHex(const std::uint8_t id[kChunkIdBytes]);

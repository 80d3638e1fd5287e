// A release manifest: every file of a version with its size, digests and the
// chunks it is made of, each chunk named by the BLAKE2b-256 of its bytes and
// stored zstd-compressed at an offset of a bundle file. A compact binary
// format of our own, read by a bounded parser: manifests come from servers.
// A manifest of 300,000 files is held in a few tens of MiB: paths share one
// buffer and chunk lists one array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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
    std::uint32_t pathOffset = 0;  // into SManifest::paths
    std::uint32_t pathLength = 0;
    std::uint64_t size = 0;
    std::uint8_t blake2b[32] = {};
    std::uint8_t md5[16] = {};
    std::uint32_t firstChunk = 0;  // into SManifest::fileChunks
    std::uint32_t chunkCount = 0;
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
    std::string paths;                     // every file's path (UTF-8, backslashes), back to back
    std::vector<std::uint32_t> fileChunks;  // every file's chunk indexes, in file order

    std::string Path(const SManifestFile& f) const { return paths.substr(f.pathOffset, f.pathLength); }
    const std::uint32_t* Chunks(const SManifestFile& f) const { return fileChunks.data() + f.firstChunk; }
    void AddFile(const std::string& path, SManifestFile f, const std::vector<std::uint32_t>& chunkIndexes);
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
    MANIFEST_DUPLICATE_PATH,   // two files of one name (case ignored as Windows does), or a file named as a folder
    MANIFEST_BAD_CHUNKS,       // chunk lists that do not add up, indexes or offsets outside
    MANIFEST_UNREADABLE,       // the file cannot be read
};

const char* ManifestResultText(EManifestResult result);

// What a streamed read hands over, in file order; a failed read may have
// handed over part of it.
class IManifestVisitor {
public:
    virtual ~IManifestVisitor() = default;
    virtual void Header(const std::string& version, std::uint64_t sequence, std::size_t bundles,
                        std::size_t chunks, std::size_t files) = 0;
    virtual void Bundle(const SBundle& bundle) = 0;
    virtual void Chunk(const SChunkRef& chunk) = 0;
    virtual void File(const std::string& path, const SManifestFile& file, const std::uint32_t* chunks) = 0;
};

std::string WriteManifest(const SManifest& manifest);
// On failure *why says where.
EManifestResult ReadManifest(const void* data, std::size_t size, SManifest* out, std::string* why);
EManifestResult ReadManifestFile(const std::string& path, SManifest* out, std::string* why);
// Streams a manifest file through visitor, holding little of it.
EManifestResult VisitManifestFile(const std::string& path, IManifestVisitor& visitor, std::string* why);

// A path's key where case is ignored as Windows ignores it (and '/' is '\\'):
// equal for the names of one file.
std::uint64_t ManifestPathKey(const std::string& utf8Path);

// Lower-case hex of a chunk id (names it in logs and caches).
std::string ChunkIdHex(const std::uint8_t id[kChunkIdBytes]);
std::string HexText(const std::uint8_t* bytes, std::size_t n);

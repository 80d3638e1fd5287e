// The chunk store of a published folder: each version's manifest and the
// bundles of compressed chunks its files are cut into. A new release adds
// only bundles of chunks no earlier release has; the rest it names where
// they already are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SChunkTree {
    std::string version;
    std::string dir;  // the version's whole tree
};

struct SStoreResult {
    std::vector<std::string> files;  // written below the staging store, relative ("bundles/x.bundle", ...)
    std::uint64_t newBundleBytes = 0;
    std::size_t newChunks = 0, reusedChunks = 0;
};

// Cuts the trees into chunks, writes the bundles of chunks that the manifests
// of existingStore (a published store folder, may be missing) lack and a
// manifest for every tree, all below stageStore, with the given sequence.
bool BuildChunkStore(const std::vector<SChunkTree>& trees, const std::string& existingStore,
                     const std::string& stageStore, std::uint64_t sequence, int level, SStoreResult* result,
                     std::string* error);

// The highest sequence number of the manifests of a store folder (0 for none).
std::uint64_t StoreSequence(const std::string& store);

// Every manifest of a store readable, every bundle there at its size, and
// every chunk's bytes hashing to its id; problems one line each.
std::vector<std::string> CheckChunkStore(const std::string& store);

// What the last chunk-store run found and did, for the console tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SChunkReport {
    // The way the last update took and why ("chunks: ..." or "steps: ...").
    std::string route;
    // Of the last verify or repair (paths as the manifest names them).
    std::vector<std::string> missing, damaged, unexpected;
    std::size_t checkedFiles = 0;
    unsigned restored = 0;
    std::uint64_t fetchedBytes = 0;  // chunk bytes over the wire
    std::uint64_t reusedBytes = 0;   // chunk bytes found in the installation
};

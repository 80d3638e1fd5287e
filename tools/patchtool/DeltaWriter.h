// Writing binary deltas (transfer/ZstdDelta.h) of a new file against its
// old version, segment by segment, for patchtool pack --delta.
#pragma once

#include <cstdint>
#include <string>

struct SDeltaOptions {
    std::uint32_t segmentBytes = 32u << 20;  // output of one segment
    std::uint32_t marginBytes = 16u << 20;   // old bytes before and after the segment's place
    int level = 19;
    bool x86 = false;  // the x86 branch filter first ("zstd-x86")
};

// The delta to outPath; false with error when a file cannot be read or written.
bool WriteDelta(const std::string& oldPath, const std::string& newPath, const std::string& outPath,
                const SDeltaOptions& options, std::uint64_t* deltaSize, std::string* error);

// What the file costs deflated as a whole (as the package's zip stores it).
std::uint64_t DeflatedSize(const std::string& path);

// Binary deltas of one file against its old version: zstd frames made with
// a window of the old file as reference, one frame per segment of the
// result, so that applying needs bounded memory whatever the file's size.
//
// Layout (little-endian): "TWDELTA1", u64 result size; then per segment
// "TWDS", u32 output size, u64 output offset, u64 reference offset,
// u32 reference size, u32 frame size, the frame. Segments follow each other
// in the result without gaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteSource.h"

const std::uint32_t kMaxDeltaSegment = 64u << 20;     // output of one segment
const std::uint32_t kMaxDeltaReference = 128u << 20;  // reference window of one segment
const std::size_t kDeltaHeaderBytes = 16;
const std::size_t kDeltaSegmentHeaderBytes = 32;

struct SDeltaSegmentHeader {
    std::uint32_t outSize = 0;
    std::uint64_t outOffset = 0;
    std::uint64_t refOffset = 0;
    std::uint32_t refSize = 0;
    std::uint32_t frameSize = 0;
};
void EncodeDeltaHeader(std::uint64_t resultSize, unsigned char out[kDeltaHeaderBytes]);
void EncodeDeltaSegmentHeader(const SDeltaSegmentHeader& h, unsigned char out[kDeltaSegmentHeaderBytes]);

// Receives the result in order.
class IDeltaSink {
public:
    virtual ~IDeltaSink() = default;
    virtual bool Write(const void* data, std::size_t size) = 0;
};

enum EDeltaResult {
    DELTA_OK,
    DELTA_MALFORMED,     // not a delta, a header cut short, or a segment past its bounds
    DELTA_PAST_SIZE,     // a segment writes past the stated size, leaves a gap, or the result is short
    DELTA_BAD_WINDOW,    // a reference window outside the old file
    DELTA_BAD_FRAME,     // a frame that does not decode to its segment
    DELTA_WRITE_FAILED,  // the sink refused
};
const char* DeltaResultText(EDeltaResult result);

// Applies delta to base, for a result of statedSize bytes (from the file
// list); nothing past it is ever written.
// x86: the segments were made after the x86 branch filter ("zstd-x86"): the
// reference window is filtered before use and each output restored.
EDeltaResult ApplyDelta(const IByteSource& delta, const IByteSource& base, std::uint64_t statedSize, IDeltaSink& out,
                        bool x86 = false);

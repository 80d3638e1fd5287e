// Applying a difference delta ("diff-lzma"): a control stream of
// (difference length, literal length, old seek) triples, the differences
// and the literal bytes, each raw LZMA2, read as they are applied: the
// private memory is a few buffers and the LZMA2 dictionary. With the x86
// flag the differences are between the files after the x86 branch filter:
// the old file and the result are then held whole (at most 64 MiB each), and
// the differences are decoded on a thread of their own: the delta's source
// must take reads from two threads.
//
// Layout (little-endian): "TWDIFF01", u64 result size, u64 old size,
// u64 control, difference and literal stream sizes, u32 dictionary size,
// u32 flags (1: x86, 2: stored); the three streams. A control triple is
// three signed numbers, zigzag varints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ByteSource.h"
#include "ZstdDelta.h"

const std::size_t kDiffHeaderBytes = 56;
const std::uint32_t kDiffX86 = 1;
// The streams are plain bytes: the delta lies in a solid bundle that is
// compressed as a whole ("diff-solid").
const std::uint32_t kDiffStored = 2;
const std::uint32_t kMaxDiffDictionary = 64u << 20;
// The writer's bound on the old and new file (its suffix array is in memory).
const std::uint64_t kMaxDiffOld = 64u << 20;

struct SDiffHeader {
    std::uint64_t resultSize = 0, oldSize = 0;
    std::uint64_t streamBytes[3] = {};  // control, differences, literals
    std::uint32_t dictionary = 0, flags = 0;
};
void EncodeDiffHeader(const SDiffHeader& h, unsigned char out[kDiffHeaderBytes]);

// The solid bundle of a package ("filelist.deltas"): "TWSOLID1", u64 plain
// size, u32 dictionary size, then one raw LZMA2 stream of the plain bytes,
// which hold the stored difference deltas of many files back to back.
const std::size_t kSolidHeaderBytes = 20;
const std::uint64_t kMaxSolidPlain = 1ull << 30;
void EncodeSolidHeader(std::uint64_t plainSize, std::uint32_t dictionary, unsigned char out[kSolidHeaderBytes]);
// Decompresses a solid bundle into out; false when it is not one or does not decode to its stated size.
bool UnpackSolid(const IByteSource& bundle, IDeltaSink& out, std::string* why);

EDeltaResult ApplyDiffDelta(const IByteSource& delta, const IByteSource& base, std::uint64_t statedSize,
                            IDeltaSink& out);

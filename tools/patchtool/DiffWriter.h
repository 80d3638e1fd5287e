// The difference delta of one file against its old version ("diff-lzma"):
// matches found through a suffix array of the old file, kept as byte
// differences where they are mostly equal (code and tables whose addresses
// moved a little differ by small constants), the bytes between them
// literal; the three streams LZMA2-compressed. x86: both files after the
// x86 branch filter. For patchtool pack --delta.
#pragma once

#include <cstdint>
#include <string>

// stored: the streams plain, for a solid bundle that is compressed whole.
bool WriteDiffDelta(const std::string& oldPath, const std::string& newPath, const std::string& outPath, bool x86,
                    std::uint64_t* deltaSize, std::string* error, bool stored = false);

// Raw LZMA2 at the strongest preset with the given dictionary (what the applier is told).
bool CompressLzma(const std::string& plain, std::uint32_t dictionary, std::string* packed, std::string* error);
// The smallest dictionary that holds bytes, 4 KiB to 4 MiB: an applier fills
// its dictionary as it decodes, and one as large as a 27 MiB stream cost it
// that much fresh memory and a third more decoding time, for 0.1 % of size.
std::uint32_t DictionaryFor(std::size_t bytes);

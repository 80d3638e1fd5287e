// Delta entries of a package, applied to an old file as the installer does:
// zstd segments (plain or after the x86 filter), difference deltas and the
// solid bundle, told apart by their magic.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transfer/DiffDelta.h"
#include "transfer/ZstdDelta.h"

namespace {

// Counts what arrives; nothing past the stated size may.
struct SCount : IDeltaSink {
    std::uint64_t stated = 0, got = 0;
    bool refuseBeyond = false;  // a bundle's plain size is not bounded by a caller
    bool Write(const void*, std::size_t size) override
    {
        got += size;
        if (got > stated && refuseBeyond) return false;
        if (got > stated) std::abort();
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The old file of the seeds: byte i is (7 i + 3) mod 256.
    static const std::string base = [] {
        std::string b(64 << 10, '\0');
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(7 * i + 3);
        return b;
    }();
    if (size < kDeltaHeaderBytes) return 0;
    // The stated size as the header has it, within what a test may allocate.
    std::uint64_t stated = 0;
    for (int i = 15; i >= 8; --i) stated = stated << 8 | data[i];
    if (stated > (4u << 20)) stated = 4u << 20;
    CMemoryByteSource delta(data, size), old(base.data(), base.size());
    SCount out;
    out.stated = stated;
    if (std::memcmp(data, "TWSOLID1", 8) == 0) {
        std::string why;
        out.refuseBeyond = true;
        if (UnpackSolid(delta, out, &why) && out.got != stated) std::abort();
        return 0;
    }
    const EDeltaResult r = std::memcmp(data, "TWDIFF01", 8) == 0 ? ApplyDiffDelta(delta, old, stated, out)
                                                                  : ApplyDelta(delta, old, stated, out, (data[size - 1] & 1) != 0);
    if (r == DELTA_OK && out.got != stated) std::abort();
    return 0;
}

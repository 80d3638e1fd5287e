// Delta entries of a package, applied to an old file as the installer does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/ZstdDelta.h"

namespace {

// Counts what arrives; nothing past the stated size may.
struct SCount : IDeltaSink {
    std::uint64_t stated = 0, got = 0;
    bool Write(const void*, std::size_t size) override
    {
        got += size;
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
    if (ApplyDelta(delta, old, stated, out) == DELTA_OK && out.got != stated) std::abort();
    return 0;
}

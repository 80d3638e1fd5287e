#include "Chunker.h"

namespace {

struct SGear {
    std::uint64_t table[256];
    SGear()
    {
        // splitmix64 from a fixed seed: every build cuts alike.
        std::uint64_t x = 0x7469646577656c6cull;
        for (std::uint64_t& v : table) {
            std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            v = z ^ (z >> 31);
        }
    }
};

const SGear kGear;
// Normalised chunking: a stricter mask before the average size, a looser
// one after, so that sizes gather around the average.
const std::uint64_t kMaskBefore = 0x555555550000ull;  // 16 bits
const std::uint64_t kMaskAfter = 0x155555550000ull;    // 15 bits

}  // namespace

std::size_t NextChunkLength(const std::uint8_t* data, std::size_t n)
{
    if (n <= kChunkMin) return n;
    const std::size_t end = n < kChunkMax ? n : kChunkMax;
    const std::size_t middle = end < kChunkAverage ? end : kChunkAverage;
    std::uint64_t hash = 0;
    std::size_t i = kChunkMin;
    for (; i < middle; ++i) {
        hash = (hash << 1) + kGear.table[data[i]];
        if ((hash & kMaskBefore) == 0) return i + 1;
    }
    for (; i < end; ++i) {
        hash = (hash << 1) + kGear.table[data[i]];
        if ((hash & kMaskAfter) == 0) return i + 1;
    }
    return end;
}

void CChunkCutter::Feed(const std::uint8_t* data, std::size_t n)
{
    // What was handed out goes before more comes in.
    if (m_start > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + n);
}

bool CChunkCutter::Next(const std::uint8_t** data, std::size_t* length)
{
    const std::size_t held = Held();
    if (held == 0 || (!m_finished && held < kChunkMax)) return false;
    const std::size_t n = NextChunkLength(Data(), held);
    *data = Data();
    *length = n;
    m_start += n;
    return true;
}

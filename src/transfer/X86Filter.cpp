#include "X86Filter.h"

#include <cstring>

namespace {

// A byte that can be the top of a displacement within +-16 MiB.
bool NearTop(std::uint8_t b) { return ((b + 1) & 0xFE) == 0; }

}  // namespace

void CX86Filter::Convert(std::uint8_t* data, std::size_t size, bool encoding)
{
    if (size < 5) return;
    const std::size_t limit = size - 4;
    std::uint32_t mask = m_state & 7;
    const std::uint32_t ip = m_position + 5;
    std::size_t pos = 0;
    while (pos < limit) {
        std::size_t p = pos;
        while (p < limit && (data[p] & 0xFE) != 0xE8) ++p;
        const std::size_t gap = p - pos;
        pos = p;
        if (p >= limit) {
            mask = gap > 2 ? 0 : mask >> gap;
            break;
        }
        if (gap > 2) {
            mask = 0;
        } else {
            mask >>= gap;
            // An opcode byte inside the last displacement seen is no branch.
            if (mask != 0 && (mask > 4 || mask == 3 || NearTop(data[p + (mask >> 1) + 1]))) {
                mask = (mask >> 1) | 4;
                ++pos;
                continue;
            }
        }
        if (NearTop(data[p + 4])) {
            std::uint32_t v = static_cast<std::uint32_t>(data[p + 1]) | static_cast<std::uint32_t>(data[p + 2]) << 8 |
                              static_cast<std::uint32_t>(data[p + 3]) << 16 | static_cast<std::uint32_t>(data[p + 4]) << 24;
            const std::uint32_t cur = ip + static_cast<std::uint32_t>(pos);
            pos += 5;
            v = encoding ? v + cur : v - cur;
            if (mask != 0) {
                const unsigned shift = (mask & 6) << 2;
                if (NearTop(static_cast<std::uint8_t>(v >> shift))) {
                    v ^= (static_cast<std::uint32_t>(0x100) << shift) - 1;
                    v = encoding ? v + cur : v - cur;
                }
                mask = 0;
            }
            data[p + 1] = static_cast<std::uint8_t>(v);
            data[p + 2] = static_cast<std::uint8_t>(v >> 8);
            data[p + 3] = static_cast<std::uint8_t>(v >> 16);
            data[p + 4] = static_cast<std::uint8_t>(0 - ((v >> 24) & 1));
        } else {
            mask = (mask >> 1) | 4;
            ++pos;
        }
    }
    m_state = mask;
    m_position += static_cast<std::uint32_t>(size);
}

bool LooksLikePe(const std::uint8_t* data, std::size_t size)
{
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return false;
    std::uint32_t at = 0;
    std::memcpy(&at, data + 0x3C, 4);
    return at <= size - 4 && std::memcmp(data + at, "PE\0\0", 4) == 0;
}

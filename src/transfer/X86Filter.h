// The x86 branch filter: the 32-bit displacements of relative calls and
// jumps (E8, E9) made absolute before diffing and relative again after
// applying, so that code that moved by a few bytes still diffs to almost
// nothing. Reversible: Decode(Encode(x)) == x for any bytes, when both start
// from the same position and state. Platform-neutral.
#pragma once

#include <cstddef>
#include <cstdint>

class CX86Filter {
public:
    // position: the offset of data[0] in the file (the filter's notion of the
    // instruction pointer).
    explicit CX86Filter(std::uint32_t position) : m_position(position) {}
    // Converts data in place; the last up to four bytes of a buffer are left
    // as they are (a branch may straddle them).
    void Encode(std::uint8_t* data, std::size_t size) { Convert(data, size, true); }
    void Decode(std::uint8_t* data, std::size_t size) { Convert(data, size, false); }

private:
    void Convert(std::uint8_t* data, std::size_t size, bool encoding);
    std::uint32_t m_position;
    std::uint32_t m_state = 0;
};

// Whether bytes look like a Windows executable or DLL ("MZ" with a PE header).
bool LooksLikePe(const std::uint8_t* data, std::size_t size);

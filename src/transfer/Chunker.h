// Content-defined chunks: a rolling gear hash cuts a file where its bytes say
// so, not at fixed offsets, so that an insertion moves no boundary but its
// own and every other chunk keeps its id. Sizes: at least 16 KiB, about 64 KiB
// on average, at most 256 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

const std::size_t kChunkMin = 16 * 1024;
const std::size_t kChunkAverage = 64 * 1024;
const std::size_t kChunkMax = 256 * 1024;
const std::size_t kChunkIdBytes = 32;  // BLAKE2b-256 of the chunk's bytes

// The length of the chunk that starts at data, of the n bytes that follow it
// (all of the rest of the file when n < kChunkMax); at most kChunkMax.
std::size_t NextChunkLength(const std::uint8_t* data, std::size_t n);

// Cuts a stream into chunks: feed it bytes as they are read, take chunks as
// they complete. Keeps at most kChunkMax bytes beyond what was taken.
class CChunkCutter {
public:
    // Adds bytes; chunks that are complete come out through Next.
    void Feed(const std::uint8_t* data, std::size_t n);
    // The end of the stream: what is left is cut too.
    void Finish() { m_finished = true; }
    // The next complete chunk (pointer into the cutter, valid until the next
    // call), false when none is complete yet.
    bool Next(const std::uint8_t** data, std::size_t* length);

private:
    std::uint8_t* Data() { return m_buffer.data() + m_start; }
    std::size_t Held() const { return m_buffer.size() - m_start; }
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_start = 0;
    bool m_finished = false;
};

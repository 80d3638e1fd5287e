// MD5 (RFC 1321), incremental.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMd5 {
public:
    CMd5();
    void Update(const void* data, std::size_t length);
    // Writes the 16-byte digest; the object must be reset before reuse.
    void Final(unsigned char digest[16]);
    void Reset();

private:
    void Blocks(const unsigned char* p, std::size_t count);

    std::uint32_t m_state[4];
    std::uint64_t m_length;
    unsigned char m_buffer[64];
    std::size_t m_buffered;
};

// 32 lower-case hexadecimal digits.
std::string Md5Hex(const unsigned char digest[16]);

// The digest of a block of bytes, as hex.
std::string Md5HexOf(const std::string& bytes);

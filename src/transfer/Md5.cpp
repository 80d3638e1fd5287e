#include "Md5.h"

#include <cstring>

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

inline std::uint32_t Load32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);  // both targets are little-endian
    return v;
}

// The round functions in the forms that need the fewest operations.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
    (a) += f((b), (c), (d)) + (x) + (t); \
    (a) = Rotl((a), (s));                \
    (a) += (b);

}  // namespace

CMd5::CMd5() { Reset(); }

void CMd5::Reset()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_length = 0;
    m_buffered = 0;
}

void CMd5::Blocks(const unsigned char* p, std::size_t count)
{
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    while (count--) {
        const std::uint32_t x0 = Load32(p), x1 = Load32(p + 4), x2 = Load32(p + 8), x3 = Load32(p + 12),
                            x4 = Load32(p + 16), x5 = Load32(p + 20), x6 = Load32(p + 24),
                            x7 = Load32(p + 28), x8 = Load32(p + 32), x9 = Load32(p + 36),
                            x10 = Load32(p + 40), x11 = Load32(p + 44), x12 = Load32(p + 48),
                            x13 = Load32(p + 52), x14 = Load32(p + 56), x15 = Load32(p + 60);
        const std::uint32_t sa = a, sb = b, sc = c, sd = d;

        MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478, 7)
        MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756, 12)
        MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070db, 17)
        MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceee, 22)
        MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0faf, 7)
        MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62a, 12)
        MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613, 17)
        MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501, 22)
        MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8, 7)
        MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7af, 12)
        MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1, 17)
        MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7be, 22)
        MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122, 7)
        MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193, 12)
        MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438e, 17)
        MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821, 22)

        MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562, 5)
        MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340, 9)
        MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51, 14)
        MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aa, 20)
        MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105d, 5)
        MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453, 9)
        MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681, 14)
        MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8, 20)
        MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6, 5)
        MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6, 9)
        MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87, 14)
        MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14ed, 20)
        MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905, 5)
        MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8, 9)
        MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9, 14)
        MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8a, 20)

        MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942, 4)
        MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681, 11)
        MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122, 16)
        MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380c, 23)
        MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44, 4)
        MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9, 11)
        MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60, 16)
        MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70, 23)
        MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6, 4)
        MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fa, 11)
        MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085, 16)
        MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05, 23)
        MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039, 4)
        MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5, 11)
        MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8, 16)
        MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665, 23)

        MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244, 6)
        MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97, 10)
        MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7, 15)
        MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039, 21)
        MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3, 6)
        MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92, 10)
        MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47d, 15)
        MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4f, 6)
        MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0, 10)
        MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314, 15)
        MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82, 6)
        MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235, 10)
        MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bb, 15)
        MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391, 21)

        a += sa;
        b += sb;
        c += sc;
        d += sd;
        p += 64;
    }
    m_state[0] = a;
    m_state[1] = b;
    m_state[2] = c;
    m_state[3] = d;
}

void CMd5::Update(const void* data, std::size_t length)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_length += length;
    if (m_buffered) {
        const std::size_t take = length < 64 - m_buffered ? length : 64 - m_buffered;
        std::memcpy(m_buffer + m_buffered, p, take);
        m_buffered += take;
        p += take;
        length -= take;
        if (m_buffered < 64) return;
        Blocks(m_buffer, 1);
        m_buffered = 0;
    }
    if (length >= 64) {
        Blocks(p, length / 64);
        p += length & ~static_cast<std::size_t>(63);
        length &= 63;
    }
    if (length) {
        std::memcpy(m_buffer, p, length);
        m_buffered = length;
    }
}

void CMd5::Final(unsigned char digest[16])
{
    const std::uint64_t bits = m_length * 8;
    static const unsigned char kPad[64] = {0x80};
    const std::size_t padLength = m_buffered < 56 ? 56 - m_buffered : 120 - m_buffered;
    Update(kPad, padLength);
    unsigned char tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (8 * i));
    Update(tail, 8);
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 4; ++k) digest[i * 4 + k] = static_cast<unsigned char>(m_state[i] >> (8 * k));
    }
}

std::string Md5Hex(const unsigned char digest[16])
{
    static const char kHex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 15];
    }
    return out;
}

std::string Md5HexOf(const std::string& bytes)
{
    CMd5 md5;
    md5.Update(bytes.data(), bytes.size());
    unsigned char digest[16];
    md5.Final(digest);
    return Md5Hex(digest);
}

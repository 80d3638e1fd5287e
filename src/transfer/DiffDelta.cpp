#include "DiffDelta.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <lzma.h>

#include "X86Filter.h"

namespace {

const char kMagic[] = "TWDIFF01";
const std::size_t kPiece = 64 * 1024;

std::uint64_t Get64(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

void Put64(unsigned char* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// One raw LZMA2 stream of the delta, decompressed as it is read.
class CStreamReader {
public:
    CStreamReader(const IByteSource& source, std::uint64_t offset, std::uint64_t size, std::uint32_t dictionary,
                  bool stored = false)
        : m_source(source), m_at(offset), m_end(offset + size), m_in(kPiece), m_stored(stored)
    {
        if (stored) {
            m_ok = true;
            return;
        }
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 6);
        options.dict_size = dictionary;
        const lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        m_ok = lzma_raw_decoder(&m_stream, filters) == LZMA_OK;
    }
    ~CStreamReader() { lzma_end(&m_stream); }
    CStreamReader(const CStreamReader&) = delete;
    CStreamReader& operator=(const CStreamReader&) = delete;

    // Exactly n bytes, or false (the stream ended, is damaged, or the source failed).
    bool Read(unsigned char* out, std::size_t n)
    {
        if (m_stored) {
            // Served from a buffered piece: a control number is read a byte at a time.
            while (n > 0) {
                if (m_inAt == m_inEnd) {
                    if (m_at == m_end) return false;
                    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, m_end - m_at));
                    if (!m_source.Read(m_at, m_in.data(), piece)) return false;
                    m_at += piece;
                    m_inAt = 0;
                    m_inEnd = piece;
                }
                const std::size_t k = std::min(n, m_inEnd - m_inAt);
                std::memcpy(out, m_in.data() + m_inAt, k);
                m_inAt += k;
                out += k;
                n -= k;
            }
            return true;
        }
        // A control number is read a byte at a time: small reads are served
        // from a decoded piece, not by a call into the decoder per byte.
        while (n > 0 && m_outAt < m_out.size()) {
            const std::size_t k = std::min(n, m_out.size() - m_outAt);
            std::memcpy(out, m_out.data() + m_outAt, k);
            m_outAt += k;
            out += k;
            n -= k;
        }
        if (n == 0) return true;
        if (n >= kSmallRead) return Decode(out, n, true) == n;
        m_out.resize(kSmallRead);
        m_out.resize(Decode(m_out.data(), m_out.size(), false));
        m_outAt = 0;
        return m_out.size() >= n && Read(out, n);
    }
    // The stream was read to its end and nothing follows it.
    bool Finished()
    {
        if (m_stored) return m_at == m_end && m_inAt == m_inEnd;
        if (m_outAt < m_out.size()) return false;
        if (!m_ended) {
            unsigned char extra;
            if (Read(&extra, 1)) return false;
        }
        return m_ended && m_stream.avail_in == 0 && m_at == m_end;
    }
    bool Valid() const { return m_ok; }

private:
    static const std::size_t kSmallRead = 4096;
    // Up to n decoded bytes into out: fewer where the stream ends, when not
    // exact; none after a damaged stream or a failed read.
    std::size_t Decode(unsigned char* out, std::size_t n, bool exact)
    {
        m_stream.next_out = out;
        m_stream.avail_out = n;
        while (m_stream.avail_out > 0 && !m_ended) {
            if (m_stream.avail_in == 0 && m_at < m_end) {
                const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, m_end - m_at));
                if (!m_source.Read(m_at, m_in.data(), piece)) return 0;
                m_at += piece;
                m_stream.next_in = m_in.data();
                m_stream.avail_in = piece;
            }
            // LZMA_BUF_ERROR: the stream's bytes ran out before its end.
            const lzma_ret r = lzma_code(&m_stream, m_at < m_end ? LZMA_RUN : LZMA_FINISH);
            if (r == LZMA_STREAM_END)
                m_ended = true;
            else if (r != LZMA_OK)
                return 0;
        }
        const std::size_t got = n - m_stream.avail_out;
        return exact && got < n ? 0 : got;
    }

    const IByteSource& m_source;
    std::uint64_t m_at, m_end;
    std::vector<unsigned char> m_in;
    std::size_t m_inAt = 0, m_inEnd = 0;  // the unread part of m_in (stored streams)
    std::vector<unsigned char> m_out;     // a decoded piece for small reads
    std::size_t m_outAt = 0;
    lzma_stream m_stream = LZMA_STREAM_INIT;
    bool m_ok = false, m_ended = false, m_stored = false;
};

const std::uint64_t kWholeOld = 8u << 20;

// The old file's bytes, filtered whole when the delta asks for it.
class COldBytes {
public:
    COldBytes(const IByteSource& base, bool x86) : m_base(base)
    {
        // A small old file is read once: a read per match costs more than its bytes.
        if (!x86 && base.Size() > kWholeOld) return;
        m_filtered.resize(static_cast<std::size_t>(base.Size()));
        m_ok = m_filtered.empty() || base.Read(0, m_filtered.data(), m_filtered.size());
        if (m_ok && x86) CX86Filter(0).Encode(m_filtered.data(), m_filtered.size());
        m_held = true;  // filtered or not
    }
    bool Ok() const { return m_ok; }
    bool Read(std::uint64_t offset, unsigned char* out, std::size_t n) const
    {
        if (!m_held) return m_base.Read(offset, out, n);
        if (offset > m_filtered.size() || n > m_filtered.size() - offset) return false;
        std::memcpy(out, m_filtered.data() + offset, n);
        return true;
    }

private:
    const IByteSource& m_base;
    std::vector<unsigned char> m_filtered;
    bool m_held = false, m_ok = true;
};

// The result: passed on as it comes, or held whole to be unfiltered at the end.
class CResult {
public:
    CResult(IDeltaSink& out, bool x86, std::uint64_t size) : m_out(out), m_x86(x86)
    {
        if (x86) m_held.reserve(static_cast<std::size_t>(size));
    }
    bool Write(const unsigned char* data, std::size_t n)
    {
        if (!m_x86) return m_out.Write(data, n);
        m_held.insert(m_held.end(), data, data + n);
        return true;
    }
    bool Finish()
    {
        if (!m_x86) return true;
        CX86Filter(0).Decode(m_held.data(), m_held.size());
        return m_held.empty() || m_out.Write(m_held.data(), m_held.size());
    }

private:
    IDeltaSink& m_out;
    bool m_x86;
    std::vector<unsigned char> m_held;
};

// A zigzag varint of at most ten bytes.
bool ReadNumber(CStreamReader& in, std::int64_t* value)
{
    std::uint64_t u = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        unsigned char b = 0;
        if (!in.Read(&b, 1)) return false;
        if (shift == 63 && (b & 0x7E) != 0) return false;
        u |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) {
            *value = static_cast<std::int64_t>((u >> 1) ^ (~(u & 1) + 1));
            return true;
        }
    }
    return false;
}

}  // namespace

void EncodeDiffHeader(const SDiffHeader& h, unsigned char out[kDiffHeaderBytes])
{
    std::memcpy(out, kMagic, 8);
    Put64(out + 8, h.resultSize);
    Put64(out + 16, h.oldSize);
    for (int k = 0; k < 3; ++k) Put64(out + 24 + 8 * k, h.streamBytes[k]);
    for (int i = 0; i < 4; ++i) out[48 + i] = static_cast<unsigned char>(h.dictionary >> (8 * i));
    for (int i = 0; i < 4; ++i) out[52 + i] = static_cast<unsigned char>(h.flags >> (8 * i));
}

EDeltaResult ApplyDiffDelta(const IByteSource& delta, const IByteSource& base, std::uint64_t statedSize,
                            IDeltaSink& out)
{
    unsigned char head[kDiffHeaderBytes];
    if (!delta.Read(0, head, sizeof head) || std::memcmp(head, kMagic, 8) != 0) return DELTA_MALFORMED;
    if (Get64(head + 8) != statedSize) return DELTA_PAST_SIZE;
    if (Get64(head + 16) != base.Size()) return DELTA_BAD_WINDOW;
    std::uint32_t dictionary = 0, flags = 0;
    for (int i = 3; i >= 0; --i) dictionary = dictionary << 8 | head[48 + i];
    for (int i = 3; i >= 0; --i) flags = flags << 8 | head[52 + i];
    // A transform this applier does not know, or bounds it does not keep, refuse the delta.
    if ((flags & ~(kDiffX86 | kDiffStored)) != 0 || dictionary < 4096 || dictionary > kMaxDiffDictionary)
        return DELTA_MALFORMED;
    const bool stored = (flags & kDiffStored) != 0;
    const bool x86 = (flags & kDiffX86) != 0;
    if (x86 && (base.Size() > kMaxDiffOld || statedSize > kMaxDiffOld)) return DELTA_MALFORMED;
    std::uint64_t sizes[3], at = kDiffHeaderBytes;
    for (int k = 0; k < 3; ++k) {
        sizes[k] = Get64(head + 24 + 8 * k);
        if (sizes[k] > delta.Size() - at) return DELTA_MALFORMED;
        at += sizes[k];
    }
    if (at != delta.Size()) return DELTA_MALFORMED;
    CStreamReader control(delta, kDiffHeaderBytes, sizes[0], dictionary, stored),
        diff(delta, kDiffHeaderBytes + sizes[0], sizes[1], dictionary, stored),
        extra(delta, kDiffHeaderBytes + sizes[0] + sizes[1], sizes[2], dictionary, stored);
    if (!control.Valid() || !diff.Valid() || !extra.Valid()) return DELTA_WRITE_FAILED;
    const COldBytes old(base, x86);
    if (!old.Ok()) return DELTA_BAD_WINDOW;
    CResult result(out, x86, statedSize);
    std::vector<unsigned char> a(kPiece), b(kPiece);
    const std::int64_t oldSize = static_cast<std::int64_t>(base.Size());
    std::int64_t oldPos = 0;
    std::uint64_t written = 0;
    bool seekOnly = false;
    while (written < statedSize) {
        std::int64_t x = 0, y = 0, z = 0;
        if (!ReadNumber(control, &x) || !ReadNumber(control, &y) || !ReadNumber(control, &z)) return DELTA_BAD_FRAME;
        // Two triples in a row that write nothing are never made: the count of triples is bounded.
        if (x + y == 0 && seekOnly) return DELTA_MALFORMED;
        seekOnly = x + y == 0;
        // Every length within what is left, every old byte within the old file.
        if (x < 0 || y < 0 || static_cast<std::uint64_t>(x) > statedSize - written ||
            static_cast<std::uint64_t>(y) > statedSize - written - static_cast<std::uint64_t>(x))
            return DELTA_PAST_SIZE;
        if (oldPos < 0 || oldPos > oldSize || x > oldSize - oldPos) return DELTA_BAD_WINDOW;
        for (std::int64_t done = 0; done < x;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, x - done));
            if (!diff.Read(a.data(), n)) return DELTA_BAD_FRAME;
            if (!old.Read(static_cast<std::uint64_t>(oldPos + done), b.data(), n)) return DELTA_BAD_WINDOW;
            for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<unsigned char>(a[i] + b[i]);
            if (!result.Write(a.data(), n)) return DELTA_WRITE_FAILED;
            done += static_cast<std::int64_t>(n);
        }
        for (std::int64_t done = 0; done < y;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, y - done));
            if (!extra.Read(a.data(), n)) return DELTA_BAD_FRAME;
            if (!result.Write(a.data(), n)) return DELTA_WRITE_FAILED;
            done += static_cast<std::int64_t>(n);
        }
        written += static_cast<std::uint64_t>(x + y);
        if (z < -oldSize || z > oldSize) return DELTA_BAD_WINDOW;
        oldPos += x + z;
    }
    // Nothing may be left over in any stream.
    if (!control.Finished() || !diff.Finished() || !extra.Finished()) return DELTA_BAD_FRAME;
    return result.Finish() ? DELTA_OK : DELTA_WRITE_FAILED;
}

void EncodeSolidHeader(std::uint64_t plainSize, std::uint32_t dictionary, unsigned char out[kSolidHeaderBytes])
{
    std::memcpy(out, "TWSOLID1", 8);
    Put64(out + 8, plainSize);
    for (int i = 0; i < 4; ++i) out[16 + i] = static_cast<unsigned char>(dictionary >> (8 * i));
}

bool UnpackSolid(const IByteSource& bundle, IDeltaSink& out, std::string* why)
{
    unsigned char head[kSolidHeaderBytes];
    if (!bundle.Read(0, head, sizeof head) || std::memcmp(head, "TWSOLID1", 8) != 0) {
        *why = "not a solid bundle";
        return false;
    }
    const std::uint64_t plain = Get64(head + 8);
    std::uint32_t dictionary = 0;
    for (int i = 3; i >= 0; --i) dictionary = dictionary << 8 | head[16 + i];
    if (plain > kMaxSolidPlain || dictionary < 4096 || dictionary > kMaxDiffDictionary) {
        *why = "a solid bundle past its bounds";
        return false;
    }
    CStreamReader in(bundle, kSolidHeaderBytes, bundle.Size() - kSolidHeaderBytes, dictionary);
    std::vector<unsigned char> piece(kPiece);
    for (std::uint64_t done = 0; done < plain;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, plain - done));
        if (!in.Read(piece.data(), n)) {
            *why = "a solid bundle that does not decode";
            return false;
        }
        if (!out.Write(piece.data(), n)) {
            *why = "cannot write the solid bundle's bytes";
            return false;
        }
        done += n;
    }
    if (!in.Finished()) {
        *why = "a solid bundle longer than it states";
        return false;
    }
    return true;
}

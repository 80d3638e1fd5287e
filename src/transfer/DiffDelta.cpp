#include "DiffDelta.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <lzma.h>

#include "X86Filter.h"
#include "base/utility/HelperThread.h"

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
        : m_source(source), m_at(offset), m_end(offset + size),
          m_in(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size))), m_stored(stored)
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
    // The control numbers are read a byte at a time: most bytes come straight from the piece at hand.
    bool ReadByte(unsigned char* b)
    {
        if (m_stored ? m_inAt == m_inEnd : m_outAt == m_out.size()) return Read(b, 1);
        *b = m_stored ? m_in[m_inAt++] : m_out[m_outAt++];
        return true;
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
    // Held bytes only.
    const unsigned char* Data() const { return m_filtered.data(); }

private:
    const IByteSource& m_base;
    std::vector<unsigned char> m_filtered;
    bool m_held = false, m_ok = true;
};

// The result: passed on as it comes, or held whole to be unfiltered at the end.
class CResult {
public:
    CResult(IDeltaSink& out, bool x86, std::uint64_t size) : m_out(out), m_size(static_cast<std::size_t>(size))
    {
        if (x86) m_held.reset(new unsigned char[m_size + 1]);
    }
    unsigned char* Held() { return m_held.get(); }
    // Callers never write past the stated size.
    bool Write(const unsigned char* data, std::size_t n)
    {
        if (!m_held) return m_out.Write(data, n);
        std::memcpy(m_held.get() + m_filled, data, n);
        m_filled += n;
        return true;
    }
    // Held: every byte is in place.
    bool Finish()
    {
        if (!m_held) return true;
        CX86Filter(0).Decode(m_held.get(), m_size);
        return m_size == 0 || m_out.Write(m_held.get(), m_size);
    }

private:
    IDeltaSink& m_out;
    std::size_t m_size, m_filled = 0;
    std::unique_ptr<unsigned char[]> m_held;
};

// to[i] += from[i], four bytes at a time: no carry crosses a byte.
void AddBytes(unsigned char* to, const unsigned char* from, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint32_t a, b;
        std::memcpy(&a, to + i, 4);
        std::memcpy(&b, from + i, 4);
        a = ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
        std::memcpy(to + i, &a, 4);
    }
    for (; i < n; ++i) to[i] = static_cast<unsigned char>(to[i] + from[i]);
}

// A zigzag varint of at most ten bytes.
bool ReadNumber(CStreamReader& in, std::int64_t* value)
{
    std::uint64_t u = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        unsigned char b = 0;
        if (!in.ReadByte(&b)) return false;
        if (shift == 63 && (b & 0x7E) != 0) return false;
        u |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) {
            *value = static_cast<std::int64_t>((u >> 1) ^ (~(u & 1) + 1));
            return true;
        }
    }
    return false;
}

// One control triple, checked: x difference bytes at `at` of the result
// from `oldAt` of the old file, then y literal bytes.
struct STriple {
    std::uint64_t at, x, y, oldAt;
};

// The control stream read triple by triple: each one writes within what is
// left of the result and reads within the old file.
class CTripleWalk {
public:
    CTripleWalk(std::uint64_t size, std::int64_t oldSize) : m_size(size), m_oldSize(oldSize) {}
    bool Done() const { return m_written >= m_size; }
    EDeltaResult Next(CStreamReader& control, STriple* t)
    {
        std::int64_t x = 0, y = 0, z = 0;
        if (!ReadNumber(control, &x) || !ReadNumber(control, &y) || !ReadNumber(control, &z)) return DELTA_BAD_FRAME;
        // Two triples in a row that write nothing are never made: the count of triples is bounded.
        if (x + y == 0 && m_seekOnly) return DELTA_MALFORMED;
        m_seekOnly = x + y == 0;
        if (x < 0 || y < 0 || static_cast<std::uint64_t>(x) > m_size - m_written ||
            static_cast<std::uint64_t>(y) > m_size - m_written - static_cast<std::uint64_t>(x))
            return DELTA_PAST_SIZE;
        if (m_oldPos < 0 || m_oldPos > m_oldSize || x > m_oldSize - m_oldPos || z < -m_oldSize || z > m_oldSize)
            return DELTA_BAD_WINDOW;
        *t = {m_written, static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y),
              static_cast<std::uint64_t>(m_oldPos)};
        m_written += static_cast<std::uint64_t>(x + y);
        m_oldPos += x + z;
        return DELTA_OK;
    }

private:
    std::uint64_t m_size, m_written = 0;
    std::int64_t m_oldSize, m_oldPos = 0;
    bool m_seekOnly = false;
};

// Where the three streams of a delta lie.
struct SStreams {
    const IByteSource* delta;
    std::uint64_t offset[3], size[3];
    std::uint32_t dictionary;
    bool stored;
};

// The pieces of a result, in order: the old file read as the triples ask.
EDeltaResult ApplyInOrder(const SStreams& s, const IByteSource& base, std::uint64_t statedSize, bool x86,
                          IDeltaSink& out)
{
    CStreamReader control(*s.delta, s.offset[0], s.size[0], s.dictionary, s.stored),
        diff(*s.delta, s.offset[1], s.size[1], s.dictionary, s.stored),
        extra(*s.delta, s.offset[2], s.size[2], s.dictionary, s.stored);
    if (!control.Valid() || !diff.Valid() || !extra.Valid()) return DELTA_WRITE_FAILED;
    const COldBytes old(base, x86);
    if (!old.Ok()) return DELTA_BAD_WINDOW;
    CResult result(out, x86, statedSize);
    // Sized to the file: a small delta's buffers come from the heap's free
    // blocks, where fresh ones cost a page fault per 4 KiB.
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, statedSize));
    std::vector<unsigned char> a(piece), b(piece);
    CTripleWalk walk(statedSize, static_cast<std::int64_t>(base.Size()));
    while (!walk.Done()) {
        STriple t;
        const EDeltaResult r = walk.Next(control, &t);
        if (r != DELTA_OK) return r;
        for (std::uint64_t done = 0; done < t.x;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, t.x - done));
            if (!diff.Read(a.data(), n)) return DELTA_BAD_FRAME;
            if (!old.Read(t.oldAt + done, b.data(), n)) return DELTA_BAD_WINDOW;
            AddBytes(a.data(), b.data(), n);
            if (!result.Write(a.data(), n)) return DELTA_WRITE_FAILED;
            done += n;
        }
        for (std::uint64_t done = 0; done < t.y;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, t.y - done));
            if (!extra.Read(a.data(), n)) return DELTA_BAD_FRAME;
            if (!result.Write(a.data(), n)) return DELTA_WRITE_FAILED;
            done += n;
        }
    }
    // Nothing may be left over in any stream.
    if (!control.Finished() || !diff.Finished() || !extra.Finished()) return DELTA_BAD_FRAME;
    return result.Finish() ? DELTA_OK : DELTA_WRITE_FAILED;
}

// Held triples of a filtered delta at most (32 bytes each; real deltas have
// a few per kilobyte): past them it is applied in order.
const std::size_t kMaxHeldTriples = 1u << 20;
// From this size the differences are decoded on a thread of their own.
const std::uint64_t kSplitFrom = 1u << 20;

// A filtered delta, whose old file and result are held whole anyway: every
// triple is checked first, then the difference stream (the longest to
// decode) is decoded straight into place on a thread of its own while the
// old file is read and filtered and the literals are decoded; the old bytes
// are added last. Empty past kMaxHeldTriples.
std::optional<EDeltaResult> ApplyFiltered(const SStreams& s, const IByteSource& base, std::uint64_t statedSize,
                                          IDeltaSink& out)
{
    std::vector<STriple> triples;
    // A triple takes at least three bytes of the stream, and LZMA seldom
    // packs them smaller: one allocation instead of a doubling series of
    // fresh ones. Untouched room costs address space only.
    triples.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(kMaxHeldTriples, s.size[0])));
    {
        CStreamReader control(*s.delta, s.offset[0], s.size[0], s.dictionary, s.stored);
        if (!control.Valid()) return DELTA_WRITE_FAILED;
        CTripleWalk walk(statedSize, static_cast<std::int64_t>(base.Size()));
        while (!walk.Done()) {
            if (triples.size() == kMaxHeldTriples) return std::nullopt;
            triples.emplace_back();
            const EDeltaResult r = walk.Next(control, &triples.back());
            if (r != DELTA_OK) return r;
        }
        if (!control.Finished()) return DELTA_BAD_FRAME;
    }
    CResult result(out, true, statedSize);
    unsigned char* held = result.Held();
    std::atomic<bool> failed{false}, stop{false};
    const auto decodeDifferences = [&] {
        CStreamReader diff(*s.delta, s.offset[1], s.size[1], s.dictionary, s.stored);
        bool ok = diff.Valid();
        for (std::size_t i = 0; ok && i < triples.size() && !stop; ++i)
            ok = triples[i].x == 0 || diff.Read(held + triples[i].at, static_cast<std::size_t>(triples[i].x));
        if (!ok || (!stop && !diff.Finished())) failed = true;
    };
    std::optional<Base::Utility::CHelperThread> helper;
    if (statedSize >= kSplitFrom)
        helper.emplace(decodeDifferences);
    else
        decodeDifferences();
    // An early return stops the helper before it is waited for.
    struct SStop {
        std::atomic<bool>& stop;
        ~SStop() { stop = true; }
    } stopOnReturn{stop};
    const COldBytes old(base, true);
    if (!old.Ok()) return DELTA_BAD_WINDOW;
    CStreamReader extra(*s.delta, s.offset[2], s.size[2], s.dictionary, s.stored);
    if (!extra.Valid()) return DELTA_WRITE_FAILED;
    for (const STriple& t : triples) {
        if (t.y > 0 && !extra.Read(held + t.at + t.x, static_cast<std::size_t>(t.y))) return DELTA_BAD_FRAME;
    }
    if (!extra.Finished()) return DELTA_BAD_FRAME;
    if (helper) helper->Join();
    if (failed) return DELTA_BAD_FRAME;
    for (const STriple& t : triples) AddBytes(held + t.at, old.Data() + t.oldAt, static_cast<std::size_t>(t.x));
    return result.Finish() ? DELTA_OK : DELTA_WRITE_FAILED;
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
    const SStreams streams = {&delta,
                              {kDiffHeaderBytes, kDiffHeaderBytes + sizes[0], kDiffHeaderBytes + sizes[0] + sizes[1]},
                              {sizes[0], sizes[1], sizes[2]},
                              dictionary,
                              stored};
    if (x86) {
        const std::optional<EDeltaResult> r = ApplyFiltered(streams, base, statedSize, out);
        if (r) return *r;
    }
    return ApplyInOrder(streams, base, statedSize, x86, out);
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

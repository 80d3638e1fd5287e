#include "ZstdDelta.h"

#include <cstring>
#include <memory>
#include <vector>

#include <zstd.h>

#include "X86Filter.h"

namespace {

const char kMagic[] = "TWDELTA1";
const char kSegmentMagic[] = "TWDS";

void Put32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put64(unsigned char* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t Get32(const unsigned char* p)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | p[i];
    return v;
}
std::uint64_t Get64(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// [offset, offset + length) of source, in place or read into buffer; null
// when it cannot be had.
const unsigned char* Window(const IByteSource& source, std::uint64_t offset, std::uint32_t length,
                            std::vector<unsigned char>& buffer)
{
    if (length == 0) return nullptr;
    if (const unsigned char* view = source.View(offset, length)) return view;
    buffer.resize(length);
    return source.Read(offset, buffer.data(), length) ? buffer.data() : nullptr;
}

struct SDctxFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

}  // namespace

void EncodeDeltaHeader(std::uint64_t resultSize, unsigned char out[kDeltaHeaderBytes])
{
    std::memcpy(out, kMagic, 8);
    Put64(out + 8, resultSize);
}

void EncodeDeltaSegmentHeader(const SDeltaSegmentHeader& h, unsigned char out[kDeltaSegmentHeaderBytes])
{
    std::memcpy(out, kSegmentMagic, 4);
    Put32(out + 4, h.outSize);
    Put64(out + 8, h.outOffset);
    Put64(out + 16, h.refOffset);
    Put32(out + 24, h.refSize);
    Put32(out + 28, h.frameSize);
}

const char* DeltaResultText(EDeltaResult result)
{
    switch (result) {
    case DELTA_OK: return "applied";
    case DELTA_MALFORMED: return "not a well-formed delta";
    case DELTA_PAST_SIZE: return "its segments do not make the stated size";
    case DELTA_BAD_WINDOW: return "a reference window lies outside the old file";
    case DELTA_BAD_FRAME: return "a corrupted frame";
    case DELTA_WRITE_FAILED: return "the result cannot be written";
    }
    return "?";
}

EDeltaResult ApplyDelta(const IByteSource& delta, const IByteSource& base, std::uint64_t statedSize, IDeltaSink& out,
                        bool x86)
{
    unsigned char head[kDeltaHeaderBytes];
    if (!delta.Read(0, head, sizeof head) || std::memcmp(head, kMagic, 8) != 0) return DELTA_MALFORMED;
    if (Get64(head + 8) != statedSize) return DELTA_PAST_SIZE;
    std::unique_ptr<ZSTD_DCtx, SDctxFree> dctx(ZSTD_createDCtx());
    if (!dctx) return DELTA_WRITE_FAILED;
    // A frame may refer back over its whole reference window and output.
    ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, 28);
    std::vector<unsigned char> reference, frame, output;
    std::uint64_t at = kDeltaHeaderBytes, written = 0;
    while (at < delta.Size()) {
        unsigned char s[kDeltaSegmentHeaderBytes];
        if (!delta.Read(at, s, sizeof s) || std::memcmp(s, kSegmentMagic, 4) != 0) return DELTA_MALFORMED;
        SDeltaSegmentHeader h;
        h.outSize = Get32(s + 4);
        h.outOffset = Get64(s + 8);
        h.refOffset = Get64(s + 16);
        h.refSize = Get32(s + 24);
        h.frameSize = Get32(s + 28);
        at += sizeof s;
        if (h.outSize == 0 || h.outSize > kMaxDeltaSegment || h.refSize > kMaxDeltaReference ||
            h.frameSize > ZSTD_compressBound(kMaxDeltaSegment) || h.frameSize > delta.Size() - at)
            return DELTA_MALFORMED;
        if (h.outOffset != written || h.outSize > statedSize - written) return DELTA_PAST_SIZE;
        if (h.refOffset > base.Size() || h.refSize > base.Size() - h.refOffset) return DELTA_BAD_WINDOW;
        // Mapped views where the sources lend them keep the private memory
        // to the output of one segment, whatever the file's size.
        const unsigned char* ref = Window(base, h.refOffset, h.refSize, reference);
        if (x86 && ref) {
            // The filter changes the bytes: a mapped view is copied first.
            if (ref != reference.data()) reference.assign(ref, ref + h.refSize);
            CX86Filter(static_cast<std::uint32_t>(h.refOffset)).Encode(reference.data(), reference.size());
            ref = reference.data();
        }
        const unsigned char* packed = Window(delta, at, h.frameSize, frame);
        if ((h.refSize && !ref) || !packed) return DELTA_MALFORMED;
        at += h.frameSize;
        output.resize(h.outSize);
        // The frame must state its size and decode to exactly that.
        if (ZSTD_getFrameContentSize(packed, h.frameSize) != h.outSize) return DELTA_BAD_FRAME;
        if (ZSTD_isError(ZSTD_DCtx_refPrefix(dctx.get(), ref, h.refSize))) return DELTA_BAD_FRAME;
        const size_t got = ZSTD_decompressDCtx(dctx.get(), output.data(), output.size(), packed, h.frameSize);
        if (ZSTD_isError(got) || got != h.outSize) return DELTA_BAD_FRAME;
        if (x86) CX86Filter(static_cast<std::uint32_t>(h.outOffset)).Decode(output.data(), output.size());
        if (!out.Write(output.data(), output.size())) return DELTA_WRITE_FAILED;
        written += h.outSize;
    }
    return written == statedSize ? DELTA_OK : DELTA_PAST_SIZE;
}

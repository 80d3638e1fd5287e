#include "DeltaWriter.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <zlib.h>
#include <zstd.h>

#include "transfer/X86Filter.h"
#include "transfer/ZstdDelta.h"

namespace fs = std::filesystem;

namespace {

struct SCctxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

bool ReadAt(std::ifstream& in, std::uint64_t offset, std::vector<char>& buffer)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    return static_cast<std::size_t>(in.gcount()) == buffer.size();
}

int WindowLog(std::uint64_t bytes)
{
    int log = 10;
    while (log < 28 && (1ull << log) < bytes) ++log;
    return log;
}

}  // namespace

bool WriteDelta(const std::string& oldPath, const std::string& newPath, const std::string& outPath,
                const SDeltaOptions& options, std::uint64_t* deltaSize, std::string* error)
{
    std::error_code ec;
    const std::uint64_t oldSize = fs::file_size(fs::u8path(oldPath), ec);
    const std::uint64_t newSize = ec ? 0 : fs::file_size(fs::u8path(newPath), ec);
    std::ifstream oldIn(fs::u8path(oldPath), std::ios::binary), newIn(fs::u8path(newPath), std::ios::binary);
    std::ofstream out(fs::u8path(outPath), std::ios::binary | std::ios::trunc);
    if (ec || !oldIn || !newIn || !out) {
        *error = "cannot read " + oldPath + " or " + newPath + ", or write " + outPath;
        return false;
    }
    std::unique_ptr<ZSTD_CCtx, SCctxFree> cctx(ZSTD_createCCtx());
    unsigned char head[kDeltaHeaderBytes];
    EncodeDeltaHeader(newSize, head);
    out.write(reinterpret_cast<const char*>(head), sizeof head);
    std::vector<char> target, reference, frame;
    for (std::uint64_t offset = 0; offset < newSize; offset += target.size()) {
        SDeltaSegmentHeader h;
        h.outOffset = offset;
        h.outSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(options.segmentBytes, newSize - offset));
        // The old file around the segment's place: what moved a little is found.
        h.refOffset = std::min<std::uint64_t>(oldSize, offset > options.marginBytes ? offset - options.marginBytes : 0);
        const std::uint64_t refEnd = std::min<std::uint64_t>(oldSize, offset + h.outSize + options.marginBytes);
        h.refSize = static_cast<std::uint32_t>(refEnd > h.refOffset ? refEnd - h.refOffset : 0);
        target.resize(h.outSize);
        reference.resize(h.refSize);
        if (!ReadAt(newIn, offset, target) || !ReadAt(oldIn, h.refOffset, reference)) {
            *error = "cannot read " + newPath + " or " + oldPath;
            return false;
        }
        if (options.x86) {
            CX86Filter(static_cast<std::uint32_t>(h.refOffset))
                .Encode(reinterpret_cast<std::uint8_t*>(reference.data()), reference.size());
            CX86Filter(static_cast<std::uint32_t>(offset)).Encode(reinterpret_cast<std::uint8_t*>(target.data()), target.size());
        }
        ZSTD_CCtx_reset(cctx.get(), ZSTD_reset_session_and_parameters);
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, options.level);
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, WindowLog(std::uint64_t(h.refSize) + h.outSize));
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching, 1);
        // A damaged frame fails as such, not as a result of the wrong bytes.
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
        if (h.refSize) ZSTD_CCtx_refPrefix(cctx.get(), reference.data(), reference.size());
        frame.resize(ZSTD_compressBound(target.size()));
        const size_t n = ZSTD_compress2(cctx.get(), frame.data(), frame.size(), target.data(), target.size());
        if (ZSTD_isError(n)) {
            *error = std::string("zstd: ") + ZSTD_getErrorName(n);
            return false;
        }
        h.frameSize = static_cast<std::uint32_t>(n);
        unsigned char s[kDeltaSegmentHeaderBytes];
        EncodeDeltaSegmentHeader(h, s);
        out.write(reinterpret_cast<const char*>(s), sizeof s);
        out.write(frame.data(), static_cast<std::streamsize>(n));
    }
    out.close();
    if (!out) {
        *error = "cannot write " + outPath;
        return false;
    }
    *deltaSize = fs::file_size(fs::u8path(outPath), ec);
    return true;
}

std::uint64_t DeflatedSize(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    z_stream z = {};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return ~0ull;
    std::vector<char> input(1 << 20);
    std::vector<unsigned char> output(1 << 20);
    std::uint64_t total = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        in.read(input.data(), static_cast<std::streamsize>(input.size()));
        z.next_in = reinterpret_cast<unsigned char*>(input.data());
        z.avail_in = static_cast<unsigned>(in.gcount());
        flush = in ? Z_NO_FLUSH : Z_FINISH;
        do {
            z.next_out = output.data();
            z.avail_out = static_cast<unsigned>(output.size());
            deflate(&z, flush);
            total += output.size() - z.avail_out;
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return total;
}

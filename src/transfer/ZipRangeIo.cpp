#include "ZipRangeIo.h"

#include <cstring>
#include <new>

namespace {

const std::uint32_t kBufferSize = 256 * 1024;

struct RangeStream {
    SZipRange range;
    std::uint64_t position = 0;
    std::uint64_t bufferStart = 0;
    std::uint32_t bufferLength = 0;
    int error = 0;
    unsigned char buffer[kBufferSize];
};

voidpf ZCALLBACK OpenRange(voidpf, const void* filename, int mode)
{
    const SZipRange* range = static_cast<const SZipRange*>(filename);
    if (range == nullptr || range->source == nullptr) return nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    const std::uint64_t size = range->source->Size();
    if (range->offset > size || range->length > size - range->offset) return nullptr;
    RangeStream* s = new (std::nothrow) RangeStream;
    if (s) s->range = *range;
    return s;
}

uLong ZCALLBACK ReadRange(voidpf, voidpf stream, void* buf, uLong size)
{
    RangeStream* s = static_cast<RangeStream*>(stream);
    unsigned char* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    while (done < size && s->position < s->range.length) {
        if (s->position >= s->bufferStart && s->position < s->bufferStart + s->bufferLength) {
            const std::uint32_t at = static_cast<std::uint32_t>(s->position - s->bufferStart);
            const uLong take = size - done < s->bufferLength - at ? size - done : s->bufferLength - at;
            std::memcpy(out + done, s->buffer + at, take);
            done += take;
            s->position += take;
            continue;
        }
        const std::uint64_t left = s->range.length - s->position;
        const std::uint32_t fill = left < kBufferSize ? static_cast<std::uint32_t>(left) : kBufferSize;
        if (!s->range.source->Read(s->range.offset + s->position, s->buffer, fill)) {
            s->error = 1;
            break;
        }
        s->bufferStart = s->position;
        s->bufferLength = fill;
    }
    return done;
}

uLong ZCALLBACK WriteRange(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellRange(voidpf, voidpf stream) { return static_cast<RangeStream*>(stream)->position; }

long ZCALLBACK SeekRange(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    RangeStream* s = static_cast<RangeStream*>(stream);
    std::uint64_t base;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = s->position; break;
    case ZLIB_FILEFUNC_SEEK_END: base = s->range.length; break;
    default: return -1;
    }
    const std::uint64_t to = base + offset;
    if (to < base || to > s->range.length) return -1;
    s->position = to;
    return 0;
}

int ZCALLBACK CloseRange(voidpf, voidpf stream)
{
    delete static_cast<RangeStream*>(stream);
    return 0;
}

int ZCALLBACK ErrorRange(voidpf, voidpf stream) { return static_cast<RangeStream*>(stream)->error; }

}  // namespace

void FillZipRangeFuncs(zlib_filefunc64_def* funcs)
{
    funcs->zopen64_file = OpenRange;
    funcs->zread_file = ReadRange;
    funcs->zwrite_file = WriteRange;
    funcs->ztell64_file = TellRange;
    funcs->zseek64_file = SeekRange;
    funcs->zclose_file = CloseRange;
    funcs->zerror_file = ErrorRange;
    funcs->opaque = nullptr;
}

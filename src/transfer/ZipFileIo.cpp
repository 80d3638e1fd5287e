#include "ZipFileIo.h"

#include <windows.h>

#include <cstring>

namespace {

const DWORD kBufferSize = 256 * 1024;

struct BufferedFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ZPOS64_T bufferStart = 0;  // file offset of buffer[0]
    DWORD bufferLength = 0;    // valid bytes in the buffer
    ZPOS64_T position = 0;     // logical position
    int error = 0;
    unsigned char buffer[kBufferSize];
};

bool SeekHandle(BufferedFile* f, ZPOS64_T offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(f->handle, to, nullptr, FILE_BEGIN) != FALSE;
}

voidpf ZCALLBACK OpenFile(voidpf, const void* filename, int mode)
{
    if (filename == nullptr || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    HANDLE h = CreateFileW(static_cast<const wchar_t*>(filename), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BufferedFile* f = new BufferedFile;
    f->handle = h;
    return f;
}

uLong ZCALLBACK ReadFileFunc(voidpf, voidpf stream, void* buf, uLong size)
{
    BufferedFile* f = static_cast<BufferedFile*>(stream);
    unsigned char* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    while (done < size) {
        if (f->position >= f->bufferStart && f->position < f->bufferStart + f->bufferLength) {
            const DWORD at = static_cast<DWORD>(f->position - f->bufferStart);
            const uLong take = size - done < f->bufferLength - at ? size - done : f->bufferLength - at;
            std::memcpy(out + done, f->buffer + at, take);
            done += take;
            f->position += take;
            continue;
        }
        DWORD got = 0;
        if (!SeekHandle(f, f->position)) {
            f->error = 1;
            break;
        }
        if (size - done >= kBufferSize) {
            // Large reads go straight to the caller's buffer.
            if (!ReadFile(f->handle, out + done, size - done, &got, nullptr)) f->error = 1;
            done += got;
            f->position += got;
            break;
        }
        if (!ReadFile(f->handle, f->buffer, kBufferSize, &got, nullptr)) f->error = 1;
        f->bufferStart = f->position;
        f->bufferLength = got;
        if (got == 0) break;
    }
    return done;
}

uLong ZCALLBACK WriteFileFunc(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellFile(voidpf, voidpf stream) { return static_cast<BufferedFile*>(stream)->position; }

long ZCALLBACK SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    BufferedFile* f = static_cast<BufferedFile*>(stream);
    ZPOS64_T base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = f->position; break;
    case ZLIB_FILEFUNC_SEEK_END: {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(f->handle, &size)) return -1;
        base = static_cast<ZPOS64_T>(size.QuadPart);
        break;
    }
    default: return -1;
    }
    f->position = base + offset;
    return 0;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream)
{
    BufferedFile* f = static_cast<BufferedFile*>(stream);
    CloseHandle(f->handle);
    delete f;
    return 0;
}

int ZCALLBACK ErrorFile(voidpf, voidpf stream) { return static_cast<BufferedFile*>(stream)->error; }

}  // namespace

void FillBufferedWin32FileFuncs(zlib_filefunc64_def* funcs)
{
    funcs->zopen64_file = OpenFile;
    funcs->zread_file = ReadFileFunc;
    funcs->zwrite_file = WriteFileFunc;
    funcs->ztell64_file = TellFile;
    funcs->zseek64_file = SeekFile;
    funcs->zclose_file = CloseFile;
    funcs->zerror_file = ErrorFile;
    funcs->opaque = nullptr;
}

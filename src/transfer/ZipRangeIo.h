// minizip file functions over a byte range of a source (the zip resource
// inside a package, or a memory block), read through a small buffer.
#pragma once

#include <cstdint>

#include <ioapi.h>

#include "ByteSource.h"

struct SZipRange {
    const IByteSource* source;
    std::uint64_t offset;
    std::uint64_t length;
};

// The open function takes a `const SZipRange*` as its file name; the range
// must outlive the archive.
void FillZipRangeFuncs(zlib_filefunc64_def* funcs);

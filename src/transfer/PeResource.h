// Finds a resource in a PE image without loading it as a module: the image
// is a downloaded file and is read as data, with every offset checked.
#pragma once

#include <cstdint>
#include <string>

#include "ByteSource.h"

struct SResourceLocation {
    std::uint64_t offset = 0;  // file offset of the resource bytes
    std::uint32_t size = 0;
};

// The first language of resource `id` of the type named `typeName` (ASCII,
// compared without regard to case). On failure `error` says why.
bool FindPeResource(const IByteSource& image, const char* typeName, std::uint16_t id, SResourceLocation* out,
                    std::string* error);

// A downloaded package read as data: the PE resource reader.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/ByteSource.h"
#include "transfer/PeResource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CMemoryByteSource image(data, size);
    SResourceLocation where;
    std::string why;
    if (FindPeResource(image, "RT_RCDATA", 135, &where, &why) && where.offset + where.size > size) std::abort();
    return 0;
}

// A zip archive read through the range reader: names, the fence they meet,
// and every entry inflated up to a cap.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unzip.h>

#include "transfer/ByteSource.h"
#include "transfer/PathFence.h"
#include "transfer/ZipRangeIo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CMemoryByteSource source(data, size);
    SZipRange range = {&source, 0, size};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    unzFile zip = unzOpen2_64(&range, &funcs);
    if (zip == nullptr) return 0;
    char name[1024];
    char buffer[4096];
    int entries = 0;
    for (int r = unzGoToFirstFile(zip); r == UNZ_OK && entries < 64; r = unzGoToNextFile(zip), ++entries) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        const std::string entry(name, info.size_filename < sizeof name ? info.size_filename : 0);
        FenceName(entry, NAME_PACKAGE_TARGET);
        if (unzOpenCurrentFile(zip) != UNZ_OK) continue;
        std::uint64_t total = 0;
        for (int n; total < (1u << 20) && (n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0;) total += n;
        if (total > info.uncompressed_size && total <= (1u << 20)) std::abort();
        unzCloseCurrentFile(zip);
    }
    unzClose(zip);
    return 0;
}

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Commands.h"
#include "ToolExit.h"
#include "base/utility/Scramble.h"

int RunScramble(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: patchtool scramble IN OUT\n", stderr);
        return TOOL_USAGE;
    }
    const char* inPath = argv[0];
    const char* outPath = argv[1];
    if (std::strcmp(inPath, outPath) == 0) {
        std::fputs("patchtool scramble: IN and OUT must be different files\n", stderr);
        return TOOL_USAGE;
    }
    std::FILE* in = std::fopen(inPath, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "patchtool scramble: cannot open %s: %s\n", inPath, std::strerror(errno));
        return TOOL_FAILED;
    }
    std::FILE* out = std::fopen(outPath, "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "patchtool scramble: cannot create %s: %s\n", outPath, std::strerror(errno));
        std::fclose(in);
        return TOOL_FAILED;
    }
    std::vector<unsigned char> buf(1 << 16);
    std::size_t offset = 0;
    bool ok = true;
    for (;;) {
        std::size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) {
            ok = !std::ferror(in);
            break;
        }
        Scramble::Apply(buf.data(), n, offset);
        offset += n;
        if (std::fwrite(buf.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    std::fclose(in);
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "patchtool scramble: failed writing %s\n", outPath);
        std::remove(outPath);
        return TOOL_FAILED;
    }
    return TOOL_OK;
}

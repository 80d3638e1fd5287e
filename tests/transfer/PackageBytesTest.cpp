// The package format read as bytes: our PE resource reader against images
// written by the operator tool, and hostile variants of them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <unzip.h>

#include "PeWriter.h"
#include "TestUtil.h"
#include "ZipWriter.h"
#include "transfer/ByteSource.h"
#include "transfer/PeResource.h"
#include "transfer/ZipRangeIo.h"

namespace {

std::string Image(const std::string& payload)
{
    return PeHeaderFor(static_cast<std::uint32_t>(payload.size())) + payload +
           std::string(PeTrailer(static_cast<std::uint32_t>(payload.size())), '\0');
}

bool Find(const std::string& image, SResourceLocation* where, const char* type = "RT_RCDATA", std::uint16_t id = 135)
{
    const std::vector<char> exact(image.begin(), image.end());  // no slack after the last byte
    CMemoryByteSource src(exact.data(), exact.size());
    std::string why;
    return FindPeResource(src, type, id, where, &why);
}

void Put32(std::string& s, size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// A zip of one entry, made by the operator tool.
std::string ZipOf(const std::string& name, const std::string& data)
{
    ScopedTestDir dir;
    CZipWriter zip;
    EXPECT_TRUE(zip.Create("a.zip") && zip.AddBytes(name, data) && zip.Close());
    return ReadBytes("a.zip");
}

std::string ReadEntry(const IByteSource& src, std::uint64_t offset, std::uint64_t length, const char* name)
{
    SZipRange range = {&src, offset, length};
    zlib_filefunc64_def funcs;
    FillZipRangeFuncs(&funcs);
    unzFile z = unzOpen2_64(&range, &funcs);
    if (!z) return "<no zip>";
    std::string out = "<no entry>";
    if (unzLocateFile(z, name, 0) == UNZ_OK && unzOpenCurrentFile(z) == UNZ_OK) {
        out.clear();
        char buf[4096];
        int n;
        while ((n = unzReadCurrentFile(z, buf, sizeof buf)) > 0) out.append(buf, n);
        if (unzCloseCurrentFile(z) != UNZ_OK) out = "<crc>";
    }
    unzClose(z);
    return out;
}

}  // namespace

TEST(PeResourceTest, FindsThePayloadOfAWrittenPackageAndRefusesEveryTruncation)
{
    for (size_t size : {0u, 1u, 511u, 512u, 100000u}) {
        const std::string payload = PatternBytes(size);
        const std::string image = Image(payload);
        SResourceLocation where;
        ASSERT_TRUE(Find(image, &where)) << size;
        EXPECT_TRUE(image.substr(where.offset, where.size) == payload) << size;
        // The type name is compared without regard to case; other names and ids miss.
        EXPECT_TRUE(Find(image, &where, "rt_rcdata"));
        EXPECT_FALSE(Find(image, &where, "RCDATA"));
        EXPECT_FALSE(Find(image, &where, "RT_RCDATA", 136));
    }
    const std::string image = Image(std::string(300, 'z'));
    SResourceLocation where;
    for (size_t n = 0; n < image.size() - PeTrailer(300); ++n) ASSERT_FALSE(Find(image.substr(0, n), &where)) << n;
}

TEST(PeResourceTest, HostileFieldsAreRefusedAndRandomDamageNeverReadsOutside)
{
    const std::string good = Image("payload");
    const size_t pe = 0x80, opt = pe + 24, sec = opt + 224, rsrc = 0x400;
    struct Case { const char* what; size_t at; std::uint32_t value; } cases[] = {
        {"PE offset past the end", 0x3C, 0xFFFFFFF0u},
        {"PE offset into the DOS header", 0x3C, 0},
        {"no sections", pe + 4 + 2, 0},
        {"too many sections", pe + 4 + 2, 0xFFFF},
        {"optional header too small", pe + 4 + 16, 16},
        {"resource table beyond the image", opt + 96 + 16, 0x7FFFF000u},
        {"section data past the end", sec + 40 + 20, 0xFFFFFF00u},
        {"name string far away", rsrc + 16, 0x80000000u | 0x7FFFFFF0u},
        {"type directory far away", rsrc + 20, 0x80000000u | 0x7FFFFFF0u},
        {"entry counts huge", rsrc + 12, 0xFFFFFFFFu},
        {"directory pointing to itself", rsrc + 24 + 20, 0x80000000u | 24},
        {"data entry is a directory", rsrc + 48 + 20, 0x80000000u | 48},
        {"payload size beyond the file", rsrc + 76, 0x7FFFFFFFu},
        {"payload RVA outside every section", rsrc + 72, 0x00500000u},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        Put32(bad, c.at, c.value);
        SResourceLocation where;
        EXPECT_FALSE(Find(bad, &where)) << c.what;
    }
    // Random damage: under the sanitizers any read outside the buffer fails the run.
    std::mt19937 rng(12345);
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bad = good.substr(0, 0x400 + 112 + 64);
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % bad.size();
            bad[at] = static_cast<char>(rng());
        }
        SResourceLocation where;
        if (Find(bad, &where)) {
            ++found;
            EXPECT_LE(where.offset + where.size, bad.size());
        }
    }
    EXPECT_GT(found, 0);
}

TEST(ZipRangeTest, ReadsAZipInsideALargerBlock)
{
    const std::string zip = ZipOf("dir/file.txt", "hello from the middle");
    const std::string block = std::string(1000, 'x') + zip + std::string(777, 'y');
    CMemoryByteSource src(block.data(), block.size());
    EXPECT_EQ(ReadEntry(src, 1000, zip.size(), "dir/file.txt"), "hello from the middle");
    // A range that does not fit the source does not open.
    EXPECT_EQ(ReadEntry(src, 1000, block.size(), "dir/file.txt"), "<no zip>");
    // A range cut short loses the end of the central directory.
    EXPECT_NE(ReadEntry(src, 1000, zip.size() - 10, "dir/file.txt"), "hello from the middle");
    // A damaged entry fails its CRC (here the CRC the headers state).
    std::string damaged = block;
    damaged[1000 + 14] ^= 1;
    damaged[1000 + zip.find("PK\x01\x02") + 16] ^= 1;
    CMemoryByteSource bad(damaged.data(), damaged.size());
    EXPECT_EQ(ReadEntry(bad, 1000, zip.size(), "dir/file.txt"), "<crc>");
}

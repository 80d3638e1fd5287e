// Deltas made by patchtool's writer and applied by the launcher's reader:
// results byte for byte, and damaged deltas refused without a byte past the
// stated size.
#include <gtest/gtest.h>


#include "DeltaWriter.h"
#include "ToolTestUtil.h"
#include "transfer/ZstdDelta.h"

namespace {

// Collects the result; never more than the stated size may arrive.
struct SCollect : IDeltaSink {
    std::string bytes;
    bool refuse = false;
    bool Write(const void* data, size_t size) override
    {
        if (refuse) return false;
        bytes.append(static_cast<const char*>(data), size);
        return true;
    }
};

// Small segments and margins, so that a few MiB make several segments.
const SDeltaOptions kSmall = {512u << 10, 256u << 10, 3};

std::string MakeDelta(const std::string& oldBytes, const std::string& newBytes, const SDeltaOptions& options = kSmall)
{
    WriteBytes("old.bin", oldBytes);
    WriteBytes("new.bin", newBytes);
    std::uint64_t size = 0;
    std::string error;
    EXPECT_TRUE(WriteDelta("old.bin", "new.bin", "delta.bin", options, &size, &error)) << error;
    const std::string delta = ReadBytes("delta.bin");
    EXPECT_EQ(size, delta.size());
    return delta;
}

// A source that cannot lend its bytes in place, as a file that cannot be mapped.
struct CReadOnly : CMemoryByteSource {
    using CMemoryByteSource::CMemoryByteSource;
    const unsigned char* View(std::uint64_t, std::size_t) const override { return nullptr; }
};

EDeltaResult Apply(const std::string& delta, const std::string& base, std::uint64_t stated, SCollect* out,
                   bool lending = true)
{
    CMemoryByteSource d(delta.data(), delta.size()), b(base.data(), base.size());
    CReadOnly dr(delta.data(), delta.size()), br(base.data(), base.size());
    const EDeltaResult r = lending ? ApplyDelta(d, b, stated, *out) : ApplyDelta(dr, br, stated, *out);
    EXPECT_LE(out->bytes.size(), stated);
    return r;
}

// A game archive between two versions: an insertion, scattered changes, a deletion.
std::string Edited(std::string s)
{
    s.insert(1u << 20, RandomBytes(100u << 10, 2));
    for (size_t at = 4096; at + 4096 < s.size(); at += 97u << 10) s.replace(at, 64, RandomBytes(64, static_cast<unsigned>(at)));
    s.erase(2u << 20, 200u << 10);
    return s;
}

}  // namespace

TEST(Delta, AppliedDeltasGiveTheNewFileExactlyAndDamagedOnesAreRefusedBeforeAByteTooMany)
{
    ScopedTestDir dir;
    const std::string old = RandomBytes(3u << 20, 1), edited = Edited(old);
    // maxDelta: what a working delta costs at most
    const struct { std::string oldBytes, newBytes; size_t maxDelta; } cases[] = {
        {old, edited, 200u << 10},
        {old, old, 4096},
        {"", RandomBytes(300u << 10, 3), (300u << 10) + 4096},  // nothing to refer to
        {old, "", 16},                                          // everything removed
        {old, old.substr(100000, 700000), 4096},                // a piece moved to the front
    };
    for (const auto& c : cases) {
        const std::string delta = MakeDelta(c.oldBytes, c.newBytes);
        EXPECT_LE(delta.size(), c.maxDelta) << c.newBytes.size();
        for (bool lending : {true, false}) {
            SCollect out;
            EXPECT_EQ(Apply(delta, c.oldBytes, c.newBytes.size(), &out, lending), DELTA_OK) << c.newBytes.size();
            EXPECT_TRUE(out.bytes == c.newBytes) << c.newBytes.size() << (lending ? " in place" : " read");
        }
    }
    // Deflate cannot shrink random bytes; the delta of a small edit is a fraction.
    EXPECT_GT(DeflatedSize("new.bin"), 0u);
    WriteBytes("edited.bin", edited);
    EXPECT_GT(DeflatedSize("edited.bin"), edited.size() * 9 / 10);

    const std::string delta = MakeDelta(old, edited);
    // The second segment's header starts after the first frame.
    const size_t second = kDeltaHeaderBytes + kDeltaSegmentHeaderBytes +
                          (static_cast<unsigned char>(delta[kDeltaHeaderBytes + 28]) |
                           static_cast<unsigned char>(delta[kDeltaHeaderBytes + 29]) << 8 |
                           static_cast<unsigned char>(delta[kDeltaHeaderBytes + 30]) << 16);
    ASSERT_EQ(delta.compare(second, 4, "TWDS"), 0);
    auto patched = [&](size_t at, const std::string& bytes) { return std::string(delta).replace(at, bytes.size(), bytes); };
    const struct { const char* what; std::string delta, base; std::uint64_t stated; EDeltaResult result; } damaged[] = {
        {"corrupted frame", patched(kDeltaHeaderBytes + kDeltaSegmentHeaderBytes + 40, "\x55\xAA\x55\xAA"), old,
         edited.size(), DELTA_BAD_FRAME},
        {"stated size smaller", delta, old, edited.size() - 1, DELTA_PAST_SIZE},
        {"segment past the size", patched(kDeltaHeaderBytes + 4, std::string("\xFF\xFF\xFF\x03", 4)), old,
         edited.size(), DELTA_PAST_SIZE},
        {"gap between segments", patched(second + 8, std::string("\x01\x00\x00\x01", 4)), old, edited.size(),
         DELTA_PAST_SIZE},
        {"window outside the old file", delta, old.substr(0, 300000), edited.size(), DELTA_BAD_WINDOW},
        {"window offset past the end", patched(second + 16, std::string("\x00\x00\x00\x40", 4)), old, edited.size(),
         DELTA_BAD_WINDOW},
        {"last segment missing", delta.substr(0, second), old, edited.size(), DELTA_PAST_SIZE},
        {"cut inside a frame", delta.substr(0, second - 10), old, edited.size(), DELTA_MALFORMED},
        {"not a delta", "PK\x03\x04" + delta.substr(4), old, edited.size(), DELTA_MALFORMED},
        {"empty", "", old, 0, DELTA_MALFORMED},
    };
    for (const auto& c : damaged) {
        for (bool lending : {true, false}) {
            SCollect out;
            EXPECT_EQ(Apply(c.delta, c.base, c.stated, &out, lending), c.result) << c.what;
        }
    }
    SCollect refusing;
    refusing.refuse = true;
    EXPECT_EQ(Apply(delta, old, edited.size(), &refusing), DELTA_WRITE_FAILED);
}

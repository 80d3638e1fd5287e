// The chunk store from both ends: content-defined cuts that survive edits,
// manifests read back or refused by their bounded reader, and a store that
// patchtool writes from which a plan, the spool and the rebuild turn one
// version's files into another's while verify tells damage apart.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ChunkStore.h"
#include "ToolTestUtil.h"
#include "transfer/ChunkPlan.h"
#include "transfer/ChunkSpool.h"
#include "transfer/FileRebuild.h"
#include "transfer/InstallVerify.h"
#include "transfer/Manifest.h"

namespace {

std::vector<std::string> Cuts(const std::string& data, std::size_t feed)
{
    CChunkCutter cutter;
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at <= data.size(); at += feed) {
        const std::size_t n = std::min(feed, data.size() - at);
        if (n) cutter.Feed(reinterpret_cast<const std::uint8_t*>(data.data() + at), n);
        if (at + feed >= data.size()) cutter.Finish();
        const std::uint8_t* p = nullptr;
        std::size_t len = 0;
        while (cutter.Next(&p, &len)) chunks.emplace_back(reinterpret_cast<const char*>(p), len);
        if (n < feed) break;
    }
    return chunks;
}

std::size_t NewChunks(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    const std::set<std::string> known(before.begin(), before.end());
    std::size_t n = 0;
    for (const std::string& c : after) n += !known.count(c);
    return n;
}

void SetPaths(SManifest& m, const std::string& a, const std::string& b)
{
    m.paths = a + b;
    m.files[0].pathOffset = 0;
    m.files[0].pathLength = static_cast<std::uint32_t>(a.size());
    m.files[1].pathOffset = static_cast<std::uint32_t>(a.size());
    m.files[1].pathLength = static_cast<std::uint32_t>(b.size());
}

}  // namespace

TEST(Chunker, CutsByContentWithinBoundsAndSurvivesEdits)
{
    const std::string data = RandomBytes(8 << 20, 1);
    const std::vector<std::string> chunks = Cuts(data, 1 << 20);
    std::string joined;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        joined += chunks[i];
        EXPECT_LE(chunks[i].size(), kChunkMax);
        EXPECT_TRUE(i + 1 == chunks.size() || chunks[i].size() >= kChunkMin) << "only the last may be short: " << i;
    }
    ASSERT_EQ(joined, data);
    const std::size_t average = data.size() / chunks.size();
    EXPECT_GT(average, 48u << 10);
    EXPECT_LT(average, 96u << 10);
    // Any feeding gives the same cuts.
    EXPECT_EQ(Cuts(data, 4093), chunks);
    // One changed byte and a 1 MiB insertion cost only the chunks around them.
    std::string edited = data;
    edited[3 << 20] ^= 1;
    EXPECT_LE(NewChunks(chunks, Cuts(edited, 1 << 20)), 2u);
    edited = data.substr(0, 5 << 20) + RandomBytes(1 << 20, 2) + data.substr(5 << 20);
    EXPECT_LE(NewChunks(chunks, Cuts(edited, 1 << 20)), (1u << 20) / kChunkMin + 2);
}

TEST(Manifest, ReadsBackWhatWasWrittenAndRefusesEachSpoiling)
{
    SManifest m;
    m.version = "0000200";
    m.sequence = 7;
    m.bundles.push_back({"0123.bundle", 1000});
    for (std::uint32_t i = 0; i < 3; ++i)
        m.chunks.push_back({{static_cast<std::uint8_t>(i + 1)}, 0, i * 100u, 90, 1000});  // id, bundle, offset, packed, length
    SManifestFile f;
    f.size = 2000;
    m.AddFile("Data\\a.pak", f, {0, 1});
    f.size = 1000;
    m.AddFile("Data\\b.pak", f, {2});
    const std::string bytes = WriteManifest(m);
    SManifest back;
    std::string why;
    ASSERT_EQ(ReadManifest(bytes.data(), bytes.size(), &back, &why), MANIFEST_OK) << why;
    EXPECT_EQ(WriteManifest(back), bytes);
    EXPECT_EQ(back.Path(back.files[1]), "Data\\b.pak");
    {
        ScopedTestDir dir;
        WriteBytes("m.manifest", bytes);
        ASSERT_EQ(ReadManifestFile("m.manifest", &back, &why), MANIFEST_OK) << why;
        EXPECT_EQ(WriteManifest(back), bytes) << "the streamed reader reads the same";
    }
    struct SCase { const char* what; void (*spoil)(SManifest&); EManifestResult result; } cases[] = {
        {"a path outside", [](SManifest& x) { SetPaths(x, "..\\evil.pak", "Data\\b.pak"); }, MANIFEST_REFUSED_PATH},
        {"the launcher's own file", [](SManifest& x) { SetPaths(x, "PatchCfg\\NewUpdateCfg.xml", "b"); },
         MANIFEST_REFUSED_PATH},
        {"names that differ in case", [](SManifest& x) { SetPaths(x, "Data\\a.pak", "DATA\\A.PAK"); },
         MANIFEST_DUPLICATE_PATH},
        {"a file named as a folder", [](SManifest& x) { SetPaths(x, "Data\\a.pak", "Data\\a.pak\\b"); },
         MANIFEST_DUPLICATE_PATH},
        {"chunks that do not add up", [](SManifest& x) { x.files[0].size += 1; }, MANIFEST_BAD_CHUNKS},
        {"a chunk index outside", [](SManifest& x) { x.fileChunks[2] = 9; }, MANIFEST_BAD_CHUNKS},
        {"a chunk past its bundle", [](SManifest& x) { x.chunks[2].offset = 950; }, MANIFEST_BAD_CHUNKS},
        {"a chunk past the largest", [](SManifest& x) { x.chunks[0].length = kChunkMax + 1; }, MANIFEST_BAD_CHUNKS},
        {"a bundle name with a path", [](SManifest& x) { x.bundles[0].name = "..\\x.bundle"; }, MANIFEST_REFUSED_PATH},
    };
    for (const SCase& c : cases) {
        SManifest spoiled = m;
        c.spoil(spoiled);
        const std::string b = WriteManifest(spoiled);
        EXPECT_EQ(ReadManifest(b.data(), b.size(), &back, &why), c.result) << c.what << ": " << why;
    }
    // Cut short anywhere, or followed by more: never accepted.
    for (std::size_t n = 0; n < bytes.size(); n += 7)
        EXPECT_EQ(ReadManifest(bytes.data(), n, &back, &why), MANIFEST_MALFORMED) << n;
    const std::string longer = bytes + "x";
    EXPECT_EQ(ReadManifest(longer.data(), longer.size(), &back, &why), MANIFEST_MALFORMED);
    // A count past the bound, with the bytes to hold it.
    std::string many = bytes.substr(0, 8 + 2 + 7 + 8) + std::string("\xA1\x86\x01\x00", 4) + std::string(1000010, '\0');
    EXPECT_EQ(ReadManifest(many.data(), many.size(), &back, &why), MANIFEST_TOO_LARGE);
}

namespace {

// Every chunk of the plan's fetch list, taken from the store's bundles as
// the fetcher takes them from a server.
void FetchFromStore(const SManifest& m, const CChunkPlan& plan, CChunkSpool& spool, std::uint64_t* bytes)
{
    for (const SChunkRange& r : plan.Ranges()) {
        const std::string bundle = ReadBytes("www/store/bundles/" + m.bundles[r.bundle].name);
        const std::string body = bundle.substr(r.first, r.last - r.first + 1);
        *bytes += body.size();
        for (std::uint32_t c : r.chunks) {
            std::string why;
            ASSERT_TRUE(spool.Add(c, body.data() + (m.chunks[c].offset - r.first), m.chunks[c].packed, &why)) << why;
        }
    }
}

}  // namespace

TEST(ChunkStore, AnInstallationBecomesTheNextVersionFromFewChunksAndVerifyTellsDamage)
{
    ScopedTestDir dir;
    const std::string world = RandomBytes(3 << 20, 3);
    WriteBytes("v1/Data/world.pak", world);
    WriteBytes("v1/Data/old.txt", "only in v1");
    WriteBytes("v1/Binaries/Game.exe", std::string(100000, 'g'));
    std::string world2 = world.substr(0, 1 << 20) + RandomBytes(300000, 4) + world.substr(1 << 20);
    world2[2500000] ^= 1;
    WriteBytes("v2/Data/world.pak", world2);
    WriteBytes("v2/Data/new.txt", "only in v2");
    WriteBytes("v2/Binaries/Game.exe", std::string(100000, 'g'));
    SStoreResult stored;
    std::string error;
    ASSERT_TRUE(BuildChunkStore({{"0000100", "v1"}, {"0000200", "v2"}}, "www/store", "www/store", 5, 3, &stored, &error))
        << error;
    EXPECT_TRUE(CheckChunkStore("www/store").empty());
    EXPECT_EQ(StoreSequence("www/store"), 5u);
    SManifest m1, m2;
    ASSERT_EQ(ReadManifestFile("www/store/manifests/0000100.manifest", &m1, &error), MANIFEST_OK) << error;
    ASSERT_EQ(ReadManifestFile("www/store/manifests/0000200.manifest", &m2, &error), MANIFEST_OK) << error;

    // The installation at v1: the changed files are rebuilt, their chunks
    // found where the v1 manifest says they lie.
    fs::copy("v1", "game", fs::copy_options::recursive);
    CChunkPlan plan(m2);
    for (std::uint32_t i = 0; i < m2.files.size(); ++i)
        if (m2.Path(m2.files[i]) != "Binaries\\Game.exe") plan.Rebuild(i);
    for (const SManifestFile& f : m1.files) plan.OfferManifestFile(InstalledPath("game", m1.Path(f)), m1, f);
    EXPECT_GT(plan.LocalBytes(), 2u << 20);
    EXPECT_LT(plan.FetchBytes(), 300000u + 4 * (kChunkMax)) << "only the inserted bytes and the chunks around edits";
    CChunkSpool spool(m2, plan.Index());
    ASSERT_TRUE(spool.Open("spool.bin"));
    std::uint64_t fetched = 0;
    FetchFromStore(m2, plan, spool, &fetched);
    EXPECT_EQ(fetched < plan.FetchBytes() + 64 * 1024 * plan.Ranges().size(), true);
    // A spool read back after a cut-off run keeps its chunks; wrong bytes are refused.
    spool.Close();
    { std::FILE* f = std::fopen("spool.bin", "ab"); std::fputs("torn", f); std::fclose(f); }
    ASSERT_TRUE(spool.Open("spool.bin"));
    EXPECT_EQ(spool.Held(), plan.FetchChunks());
    const std::string junk(m2.chunks[0].packed, 'x');
    EXPECT_FALSE(spool.Add(0, junk.data(), junk.size(), &error));
    for (std::uint32_t i : plan.Files()) {
        std::string md5;
        const std::string out = "rebuilt/" + std::to_string(i);
        fs::create_directories("rebuilt");
        ASSERT_TRUE(RebuildFile(m2, i, plan, spool, out, &md5, &error)) << error;
        fs::create_directories(fs::path(InstalledPath("game", m2.Path(m2.files[i]))).parent_path());
        fs::rename(out, InstalledPath("game", m2.Path(m2.files[i])));
    }
    spool.Close();
    EXPECT_EQ(ReadBytes("game/Data/world.pak"), world2);

    // Verify: clean but for the file v2 dropped; then the cache and a loss.
    SVerifyOptions options;
    options.full = true;
    options.cachePath = "cache.txt";
    SVerifyReport report;
    ASSERT_TRUE(VerifyInstallation("game", m2, options, &report));
    EXPECT_TRUE(report.Clean());
    EXPECT_EQ(report.unexpected, std::vector<std::string>{"Data\\old.txt"});
    options.full = false;
    ASSERT_TRUE(VerifyInstallation("game", m2, options, &report));
    EXPECT_EQ(report.filesHashed, 0u) << "a quick check trusts what the full one recorded";
    // (Damaged and missing files told apart: the verify of chunks_e2e.)
    fs::remove("game/Data/new.txt");
    ASSERT_TRUE(VerifyInstallation("game", m2, options, &report));
    EXPECT_EQ(report.missing.size(), 1u);
}

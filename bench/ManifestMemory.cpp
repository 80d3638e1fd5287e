// Peak private memory of the launcher's planning of an update of a large
// installation: a manifest of 300,000 files (20 GiB in about 400,000
// chunks) read, the installed version's manifest (1 % of its files changed)
// streamed against it, the plan made and its ranges merged, as the engine
// does, in this 32-bit process.
//   manifest_memory_bench DIR make    writes DIR\target.manifest and DIR\installed.manifest
//   manifest_memory_bench DIR plan    plans with them and prints the figures
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/utility/StrConv.h"
#include "transfer/ChunkPlan.h"
#include "transfer/InstalledManifest.h"
#include "transfer/Manifest.h"

namespace {

const std::uint32_t kFiles = 300000;
const std::uint64_t kBytes = 20ull << 30;

void Write(const std::string& path, const std::string& bytes)
{
    std::FILE* f = _wfopen(Base::Utility::Utf8ToWide(path).c_str(), L"wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void Make(const std::string& dir)
{
    std::mt19937_64 rng(7);
    for (int pass = 0; pass < 2; ++pass) {
        SManifest m;
        m.version = pass == 0 ? "0000200" : "0000100";
        const std::uint32_t bundles = static_cast<std::uint32_t>(kBytes / (16u << 20));
        for (std::uint32_t b = 0; b < bundles; ++b) m.bundles.push_back({"b" + std::to_string(b) + ".bundle", 16u << 20});
        std::mt19937_64 sizes(11);
        std::uint64_t offset = 0;
        for (std::uint32_t i = 0; i < kFiles; ++i) {
            const std::uint64_t size = 1 + sizes() % (2 * kBytes / kFiles);
            SManifestFile f;
            f.size = size;
            f.blake2b[0] = pass == 1 && i % 100 == 0;
            std::vector<std::uint32_t> list;
            for (std::uint64_t left = size; left > 0;) {
                SChunkRef c = {};
                c.length = static_cast<std::uint32_t>(left < 65536 ? left : 65536);
                c.packed = c.length;
                for (int k = 0; k < 4; ++k) {
                    const std::uint64_t r = rng();
                    std::memcpy(c.id + 8 * k, &r, 8);
                }
                // The installed version differs in one file of a hundred.
                if (pass == 1 && i % 100 == 0) c.id[0] ^= 0xFF;
                c.bundle = static_cast<std::uint32_t>((offset / (16u << 20)) % bundles);
                c.offset = offset % (16u << 20) + c.packed > (16u << 20) ? 0 : offset % (16u << 20);
                offset += c.packed;
                list.push_back(static_cast<std::uint32_t>(m.chunks.size()));
                m.chunks.push_back(c);
                left -= c.length;
            }
            char path[96];
            std::snprintf(path, sizeof path, "Data\\Pack%03u\\Zone%02u\\asset%06u.pak", i / 3000, (i / 100) % 30, i);
            m.AddFile(path, f, list);
        }
        Write(dir + (pass == 0 ? "\\target.manifest" : "\\installed.manifest"), WriteManifest(m));
        std::printf("%s: %u files, %u chunks\n", m.version.c_str(), static_cast<unsigned>(m.files.size()),
                    static_cast<unsigned>(m.chunks.size()));
        rng.seed(7);
    }
}

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

int Plan(const std::string& dir)
{
    PROCESS_MEMORY_COUNTERS_EX before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
    const DWORD start = GetTickCount();
    SManifest target;
    std::string why;
    if (ReadManifestFile(dir + "\\target.manifest", &target, &why) != MANIFEST_OK) {
        std::printf("cannot read the manifest: %s\n", why.c_str());
        return 1;
    }
    std::vector<bool> same(target.files.size(), false);
    std::vector<std::string> deletions;
    CompareInstalled(dir + "\\installed.manifest", target, &same, &deletions);
    CChunkPlan plan(target);
    for (std::uint32_t i = 0; i < target.files.size(); ++i)
        if (!same[i]) plan.Rebuild(i);
    OfferInstalled(dir + "\\installed.manifest", plan, dir + "\\game");
    const std::vector<SChunkRange> ranges = plan.Ranges();
    PROCESS_MEMORY_COUNTERS_EX after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
    std::printf("memory   manifest of %u files, %u chunks (%.0f MiB file): read and planned (%u files to rebuild, "
                "%u ranges) in %.1f s with %.1f MiB of private memory at the peak (goal < 128 MiB, 32-bit process)\n",
                static_cast<unsigned>(target.files.size()), static_cast<unsigned>(target.chunks.size()),
                MiB(static_cast<SIZE_T>(target.chunks.size() * 52 + target.paths.size() + target.files.size() * 66)),
                static_cast<unsigned>(plan.Files().size()), static_cast<unsigned>(ranges.size()),
                (GetTickCount() - start) / 1000.0, MiB(after.PeakPagefileUsage - before.PrivateUsage));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: manifest_memory_bench DIR make|plan\n", stderr);
        return 2;
    }
    const std::string dir = Base::Utility::WideToUtf8(argv[1]);
    if (std::wstring(argv[2]) == L"make") {
        Make(dir);
        return 0;
    }
    return Plan(dir);
}

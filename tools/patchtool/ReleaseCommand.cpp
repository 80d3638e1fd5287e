// patchtool release: from the trees of the game's versions to a checked,
// signed, published folder in one command.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "Args.h"
#include "Commands.h"
#include "Publication.h"
#include "Signer.h"
#include "ToolExit.h"
#include "TreeDiff.h"
#include "ZipWriter.h"

namespace fs = std::filesystem;

namespace {

bool SevenDigits(const std::string& v)
{
    return v.size() == 7 && v.find_first_not_of("0123456789") == std::string::npos;
}

// The bytes a player at each version fetches to reach the latest: the
// update information, then the packages of the chain (a step's delta
// package where it has one, as the launcher takes it first).
void PrintByteTable(const SDescription& d, std::uint64_t infoBytes)
{
    std::map<std::string, std::pair<std::string, std::uint64_t>> next;  // version -> (next, bytes)
    std::set<std::string> versions;
    auto sizeOf = [](const SPackageRef& p) {
        std::error_code ec;
        return p.empty() ? 0 : static_cast<std::uint64_t>(fs::file_size(fs::u8path(p.path), ec));
    };
    for (const SStep& s : d.steps) {
        versions.insert(s.prev);
        versions.insert(s.inter);
        if (!s.upgrade.empty()) next[s.prev] = {s.inter, sizeOf(s.upgradeDelta.empty() ? s.upgrade : s.upgradeDelta)};
        if (!s.degrade.empty() && s.inter > d.latest)
            next[s.inter] = {s.prev, sizeOf(s.degradeDelta.empty() ? s.degrade : s.degradeDelta)};
    }
    std::printf("\n  %-9s %14s  %s\n", "version", "bytes fetched", "steps");
    for (const std::string& v : versions) {
        if (v == d.latest) continue;
        std::uint64_t bytes = infoBytes;
        std::string at = v, path = v;
        for (int guard = 0; at != d.latest && next.count(at) && guard < 10000; ++guard) {
            bytes += next[at].second;
            at = next[at].first;
            path += " -> " + at;
        }
        std::printf("  %-9s %14llu  %s%s\n", v.c_str(), static_cast<unsigned long long>(bytes), path.c_str(),
                    at == d.latest ? "" : " (does not reach the latest)");
    }
}

bool ZipTree(const fs::path& tree, const fs::path& out, bool dataOnly, std::string* error)
{
    CZipWriter zip;
    bool ok = zip.Create(out.u8string());
    std::error_code ec;
    std::vector<std::string> files;
    for (auto it = fs::recursive_directory_iterator(tree, ec); ok && !ec && it != fs::end(it); it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path().lexically_relative(tree).generic_u8string());
    std::sort(files.begin(), files.end());
    for (const std::string& f : files)
        if (ok && ((f == "DATA.dat") == dataOnly)) ok = zip.AddFile(f, (tree / fs::u8path(f)).u8string());
    ok = zip.Close() && ok;
    if (!ok) *error = zip.Error().empty() ? "cannot write " + out.u8string() : zip.Error();
    return ok;
}

}  // namespace

// The whole and delta packages of each step between consecutive versions
// that d does not hold yet; the newest step backwards too.
int PackSteps(const fs::path& versionsDir, const std::vector<std::string>& versions, const fs::path& work,
              SDescription* d, std::string* error)
{
    std::set<std::pair<std::string, std::string>> have;
    for (const SStep& s : d->steps) have.insert({s.prev, s.inter});
    for (size_t i = 0; i + 1 < versions.size(); ++i) {
        const std::string a = versions[i], b = versions[i + 1];
        if (have.count({a, b})) continue;
        SStep step;
        step.prev = a;
        step.inter = b;
        const bool newest = i + 2 == versions.size();
        // Each direction whole and, where files changed in place, as deltas.
        for (int dir = 0; dir < (newest ? 2 : 1); ++dir) {
            const std::string from = dir == 0 ? a : b, to = dir == 0 ? b : a;
            const std::string stem = (dir == 0 ? "up_" : "down_") + from + "_" + to;
            for (const bool delta : {false, true}) {
                SPackJob job;
                job.oldDir = (versionsDir / from).u8string();
                job.newDir = (versionsDir / to).u8string();
                job.from = from;
                job.to = to;
                job.delta = delta;
                job.out = (work / (stem + (delta ? "_delta.exe" : ".exe"))).u8string();
                SPackResult r;
                if (!PackTrees(job, &r, error))
                    return Fail("release", r.refusedName ? TOOL_REFUSED_NAME : TOOL_FAILED, *error);
                if (delta && r.deltas == 0) continue;  // no file changed in place: the whole package does
                SPackageRef ref;
                ref.path = job.out;
                (dir == 0 ? (delta ? step.upgradeDelta : step.upgrade) : (delta ? step.degradeDelta : step.degrade)) = ref;
            }
        }
        d->steps.push_back(step);
    }
    return TOOL_OK;
}

// The base packs beside the update information, signed like it.
int PublishBasePacks(const SDescription& d, const fs::path& work, const fs::path& out, const CSigner* signer,
                     std::uint64_t timestamp, std::vector<std::string>* written, std::string* error)
{
    std::error_code ec;
    for (int k = 0; k < 2; ++k) {
        const fs::path from = work / d.basepack[k][1], to = out / d.basepack[k][1];
        if (signer && !signer->SignFile(from.u8string(), timestamp, error)) return Fail("release", TOOL_FAILED, *error);
        std::vector<std::string> suffixes = {""};
        if (signer) suffixes.push_back(".minisig");
        for (const std::string& suffix : suffixes) {
            fs::copy_file(fs::u8path(from.u8string() + suffix), fs::u8path(to.u8string() + suffix),
                          fs::copy_options::overwrite_existing, ec);
            if (ec) return Fail("release", TOOL_FAILED, "cannot write " + to.u8string() + suffix);
            written->push_back(to.u8string() + suffix);
        }
    }
    return TOOL_OK;
}

namespace {

// The version folders, in order; each name must be a version.
int ListVersions(const fs::path& versionsDir, std::vector<std::string>* versions)
{
    std::error_code ec;
    for (auto& e : fs::directory_iterator(versionsDir, ec))
        if (e.is_directory(ec)) versions->push_back(e.path().filename().u8string());
    std::sort(versions->begin(), versions->end());
    for (const std::string& v : *versions)
        if (!SevenDigits(v))
            return Fail("release", TOOL_REFUSED, "folder " + v + " of " + versionsDir.u8string() +
                                                     ": versions are seven digits (0000100)");
    return TOOL_OK;
}

// The oldest version as two base packs: DATA.dat alone in the second.
bool ZipBasePacks(const fs::path& oldest, const fs::path& work, const std::string& url, SDescription* d,
                  std::string* error)
{
    for (int k = 0; k < 2; ++k) {
        const std::string name = k == 0 ? "base1.zip" : "base2.zip";
        if (!ZipTree(oldest, work / name, k == 1, error)) return false;
        d->basepack[k][0] = url + name;
        d->basepack[k][1] = name;
    }
    return true;
}

void PrintRelease(const SDescription& d, const std::vector<std::string>& written, bool isSigned)
{
    std::error_code ec;
    for (const std::string& f : written) std::printf("%s\n", f.c_str());
    std::uint64_t infoBytes = 0;
    for (const std::string& f : written)
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".zip") == 0 && f.find("newupdateinfo") != std::string::npos)
            infoBytes = fs::file_size(fs::u8path(f), ec);
    std::printf("release %s: %zu steps%s", d.latest.c_str(), d.steps.size(), isSigned ? ", signed" : "");
    PrintByteTable(d, infoBytes);
}

}  // namespace

int RunRelease(int argc, char** argv)
{
    CArgs args;
    std::string error;
    std::uint64_t timestamp = 0;
    SPublishOptions options;
    if (!args.Parse(argc, argv, {"--url", "-o", "--key", "--previous", "--timestamp", "--expires", "--expires-at", "--level"},
                    &error, {"--basepacks", "--qa", "--no-chunks"}) ||
        args.Positional().size() != 1 || args.Get("--url").empty() || args.Get("-o").empty() ||
        !ParseTimestamp(args.Get("--timestamp"), &timestamp) || !ParseExpiry(args, &options, &error)) {
        if (!error.empty()) std::fprintf(stderr, "patchtool release: %s\n", error.c_str());
        std::fputs("usage: patchtool release VERSIONS_DIR --url URL -o DIR [--key NAME.key] [--previous PUBLISHED_DIR] "
                   "[--basepacks] [--qa] [--no-chunks] [--expires DAYS | --expires-at SECONDS]\n", stderr);
        return TOOL_USAGE;
    }
    std::string url = args.Get("--url");
    if (url.back() != '/') url.push_back('/');
    // What cannot be used is refused before anything is written.
    CSigner signer;
    if (args.Has("--key") && !signer.Load(args.Get("--key"), &error)) return Fail("release", TOOL_BAD_KEY, error);
    const fs::path versionsDir = fs::u8path(args.Positional()[0]);
    std::vector<std::string> versions;
    if (const int code = ListVersions(versionsDir, &versions)) return code;
    std::error_code ec;
    SDescription d;
    if (args.Has("--previous") && !ReadPublished(args.Get("--previous"), args.Has("--qa"), &d, &error))
        return Fail("release", TOOL_FAILED, error);
    if (versions.size() + d.steps.size() < 2 && versions.size() < 2)
        return Fail("release", TOOL_USAGE, versionsDir.u8string() + " holds fewer than two versions");
    if (args.Has("--basepacks")) {
        const fs::path oldest = versionsDir / versions.front();
        if (!fs::is_directory(oldest / "Binaries", ec) || !fs::is_regular_file(oldest / "DATA.dat", ec))
            return Fail("release", TOOL_REFUSED, "--basepacks: " + versions.front() + " has no Binaries\\ and DATA.dat, "
                                                 "by which the launcher knows a game is installed");
    }

    // Packages are made beside the output and go into it only once checked.
    const fs::path work = fs::u8path(args.Get("-o") + ".packages");
    fs::remove_all(work, ec);
    fs::create_directories(work, ec);
    auto cleanup = [&](int code) {
        fs::remove_all(work, ec);
        return code;
    };
    if (const int code = PackSteps(versionsDir, versions, work, &d, &error)) return cleanup(code);
    d.latest = versions.empty() ? d.latest : versions.back();
    // Every version given goes to the chunk store: any of them updates to the latest in one step.
    if (!args.Has("--no-chunks"))
        for (const std::string& v : versions) d.trees.push_back({v, (versionsDir / v).u8string()});
    d.servers.assign(1, {{"url", url}, {"version", d.latest}, {"dir", "patches/"}});
    if (args.Has("--basepacks") && !ZipBasePacks(versionsDir / versions.front(), work, url, &d, &error))
        return cleanup(Fail("release", TOOL_FAILED, error));
    const std::vector<std::string> problems = CheckRelease(d);
    for (const std::string& p : problems) std::fprintf(stderr, "patchtool release: refused: %s\n", p.c_str());
    if (!problems.empty())
        return cleanup(Fail("release", TOOL_REFUSED, std::to_string(problems.size()) + " problems: nothing was written"));

    options.qa = args.Has("--qa");
    options.signer = args.Has("--key") ? &signer : nullptr;
    options.timestamp = timestamp;
    std::vector<std::string> written;
    if (!WritePublication(d, args.Get("-o"), options, &written, &error)) return cleanup(Fail("release", TOOL_FAILED, error));
    if (args.Has("--basepacks"))
        if (const int code = PublishBasePacks(d, work, fs::u8path(args.Get("-o")), options.signer, timestamp, &written, &error))
            return cleanup(code);
    PrintRelease(d, written, options.signer != nullptr);
    return cleanup(TOOL_OK);
}

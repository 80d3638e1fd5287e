// patchtool check: the checks of publish and release on a published folder,
// its signatures, and what a server actually serves of it.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Args.h"
#include "Commands.h"
#include "HttpProbe.h"
#include "Publication.h"
#include "ToolExit.h"
#include "TreeDiff.h"
#include "Utf8File.h"
#include "transfer/Minisign.h"

namespace fs = std::filesystem;

namespace {

// BLAKE2b-512 of a file, as minisign signs it.
bool FileDigest(const std::string& path, unsigned char digest[kMinisignDigestBytes])
{
    std::FILE* f = OpenUtf8(path, "rb");
    if (!f) return false;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kMinisignDigestBytes);
    unsigned char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) crypto_generichash_update(&state, buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    crypto_generichash_final(&state, digest, kMinisignDigestBytes);
    return ok;
}

std::string SignatureProblem(const std::string& path, const SMinisignKey& key)
{
    std::ifstream in(fs::u8path(path + ".minisig"), std::ios::binary);
    if (!in) return "no signature (" + fs::u8path(path).filename().u8string() + ".minisig)";
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SMinisig sig;
    EMinisigResult r = ReadMinisig(bytes.data(), bytes.size(), &sig);
    unsigned char digest[kMinisignDigestBytes];
    if (r == MINISIG_OK && !FileDigest(path, digest)) return "cannot be read";
    if (r == MINISIG_OK) r = VerifyMinisig(sig, {key}, digest);
    std::uint64_t timestamp = 0;
    if (r == MINISIG_OK)
        r = CheckTrustedComment(sig.trustedComment, fs::u8path(path).filename().u8string(), false, 0, &timestamp);
    return r == MINISIG_OK ? "" : MinisigResultText(r);
}

// What the server answers for one published file: the whole file, and a
// range of it (resume and failover need ranges).
std::string ServerProblem(const std::string& url, const std::string& path)
{
    std::uint64_t size = 0;
    const std::string md5 = Md5OfFile(path, &size);
    const SHttpAnswer whole = HttpGet(url, "");
    if (whole.status == 0) return whole.error;
    if (whole.status != 200) return "answered HTTP status " + std::to_string(whole.status);
    if (whole.length != size || whole.md5 != md5)
        return "serves " + std::to_string(whole.length) + " bytes of other content than the published " +
               std::to_string(size);
    if (size < 2) return "";
    const SHttpAnswer part = HttpGet(url, "1-");
    if (part.status != 206)
        return "does not answer Range requests (status " + std::to_string(part.status) +
               "): broken downloads start again from zero";
    if (part.length != size - 1 || part.contentRange != "bytes 1-" + std::to_string(size - 1) + "/" + std::to_string(size))
        return "answers Range requests with other bytes (" + part.contentRange + ")";
    return "";
}

}  // namespace

int RunCheck(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {"--key", "--url"}, &error, {"--qa"}) || args.Positional().size() != 1) {
        if (!error.empty()) std::fprintf(stderr, "patchtool check: %s\n", error.c_str());
        std::fputs("usage: patchtool check DIR [--key NAME.pub] [--url URL] [--qa]\n", stderr);
        return TOOL_USAGE;
    }
    SMinisignKey key;
    if (args.Has("--key")) {
        std::ifstream in(fs::u8path(args.Get("--key")));
        std::string comment, line;
        if (!in || !std::getline(in, comment) || !std::getline(in, line)) line = args.Get("--key");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!ParseMinisignPublicKey(line, &key)) return Fail("check", TOOL_BAD_KEY, args.Get("--key") + " is no public key");
    }
    const std::string dir = args.Positional()[0];
    const bool qa = args.Has("--qa");
    SDescription d;
    if (!ReadPublished(dir, qa, &d, &error)) return Fail("check", TOOL_REFUSED, error);
    std::vector<std::string> problems = CheckRelease(d);
    // The files a player fetches, by their place in the folder.
    std::vector<std::pair<std::string, std::string>> served;  // relative address, path
    const std::string archive = qa ? "newupdateinfo_qa.zip" : "newupdateinfo.zip";
    served.emplace_back(archive, (fs::u8path(dir) / archive).u8string());
    const std::string packages = d.servers.empty() ? "" : d.servers[0]["dir"];
    for (const SStep& s : d.steps)
        for (const SPackageRef* p : {&s.upgrade, &s.degrade, &s.upgradeDelta, &s.degradeDelta})
            if (!p->empty()) served.emplace_back(packages + ServedName(p->path), p->path);
    // The chunk store: every manifest readable, every chunk in its bundle hashing to its id.
    if (d.chunkStore) {
        const fs::path store = fs::u8path(dir) / kStoreDir;
        for (const std::string& p : CheckChunkStore(store.u8string())) problems.push_back("store: " + p);
        std::error_code ec;
        for (auto& e : fs::directory_iterator(store / "manifests", ec))
            if (e.path().extension() == ".manifest")
                served.emplace_back(std::string(kStoreDir) + "/manifests/" + e.path().filename().u8string(),
                                    e.path().u8string());
    }
    if (args.Has("--key"))
        for (const auto& f : served) {
            const std::string why = SignatureProblem(f.second, key);
            if (!why.empty()) problems.push_back(f.first + ": " + why);
        }
    for (const std::string& p : problems) std::fprintf(stderr, "patchtool check: refused: %s\n", p.c_str());
    size_t serverProblems = 0;
    if (args.Has("--url")) {
        std::string url = args.Get("--url");
        if (url.back() != '/') url.push_back('/');
        for (const auto& f : served) {
            const std::string why = ServerProblem(url + f.first, f.second);
            if (why.empty()) continue;
            ++serverProblems;
            std::fprintf(stderr, "patchtool check: %s%s: %s\n", url.c_str(), f.first.c_str(), why.c_str());
        }
    }
    if (!problems.empty()) return Fail("check", TOOL_REFUSED, std::to_string(problems.size()) + " problems");
    if (serverProblems) return Fail("check", TOOL_SERVER_DIFFERS, "the server does not serve the release as published");
    std::printf("%s: latest %s, %zu steps, %zu files%s%s%s: ok\n", dir.c_str(), d.latest.c_str(), d.steps.size(),
                served.size(), d.chunkStore ? ", chunk store checked" : "", args.Has("--key") ? ", signatures verified" : "",
                args.Has("--url") ? ", served as published" : "");
    return TOOL_OK;
}

#include "InstallVerify.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <sodium.h>

#include "PathFence.h"
#include "base/utility/HelperThread.h"
#include "base/utility/Utf8.h"
#include "base/utility/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

const char kCacheHeader[] = "verify-cache 1";

enum EState : std::uint8_t { STATE_UNKNOWN, STATE_OK, STATE_MISSING, STATE_DAMAGED };

struct SStamp {
    std::uint64_t size = 0;
    long long time = 0;
    bool present = false;
};

SStamp StampOf(const fs::path& p)
{
    SStamp s;
    std::error_code ec;
    const auto status = fs::status(p, ec);
    if (ec || !fs::is_regular_file(status)) return s;
    s.size = fs::file_size(p, ec);
    if (ec) return s;
    s.time = static_cast<long long>(fs::last_write_time(p, ec).time_since_epoch().count());
    s.present = !ec;
    return s;
}

// The cache: the version, then one line per file of the manifest in its
// order, "size time path", "- - path" for a file not known good.
std::vector<SStamp> ReadCache(const std::string& path, const SManifest& m)
{
    std::vector<SStamp> stamps;
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line != std::string(kCacheHeader) + " " + m.version) return stamps;
    stamps.resize(m.files.size());
    for (std::size_t i = 0; i < m.files.size() && std::getline(in, line); ++i) {
        const std::size_t a = line.find(' '), b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos || line.compare(b + 1, std::string::npos, m.Path(m.files[i])) != 0) break;
        if (line[0] == '-') continue;
        stamps[i].size = std::strtoull(line.c_str(), nullptr, 10);
        stamps[i].time = std::strtoll(line.c_str() + a + 1, nullptr, 10);
        stamps[i].present = true;
    }
    return stamps;
}

void WriteCache(const std::string& path, const SManifest& m, const std::vector<SStamp>& good)
{
    const std::string temp = path + ".tmp";
    std::error_code ec;
    fs::create_directories(fs::u8path(path).parent_path(), ec);
    {
        std::ofstream out(fs::u8path(temp), std::ios::binary | std::ios::trunc);
        out << kCacheHeader << ' ' << m.version << '\n';
        for (std::size_t i = 0; i < m.files.size(); ++i) {
            if (good[i].present)
                out << good[i].size << ' ' << good[i].time << ' ' << m.Path(m.files[i]) << '\n';
            else
                out << "- - " << m.Path(m.files[i]) << '\n';
        }
        if (!out) return;
    }
    MoveReplacing(temp, path, nullptr);
}

std::string FoldedKey(const std::string& utf8)
{
    std::wstring wide;
    if (!Base::Utility::Utf16FromUtf8(utf8, &wide)) return utf8;
    for (wchar_t& c : wide) c = c == L'/' ? L'\\' : Base::Utility::FoldCase(c);
    return Base::Utility::Utf8FromUtf16(wide);
}

// Files the launcher and its update information keep beside the game's own.
bool LauncherOwned(const std::string& rel)
{
    const std::string key = FoldedKey(rel);
    if (key.compare(0, 9, "PATCHCFG\\") == 0) return true;
    for (const char* name : {"LAUNCHER.EXE", "LAUNCHER.EXE.NEW", "LAUNCHER.EXE.OLD", "UPDATER.EXE",
                             "BINARIES\\SERVERLIST.XML", "BINARIES\\DOWNLOADSERVER.XML", "BINARIES\\GAMECFG.INI"})
        if (key == name) return true;
    return key.find('\\') == std::string::npos && IsEngineTempName(rel);
}

}  // namespace

std::string InstalledPath(const std::string& gameDir, const std::string& manifestPath)
{
    std::string rel = manifestPath;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    // Backslashes only: a path in the long form takes no other separator.
    return (fs::u8path(gameDir) / fs::u8path(rel)).make_preferred().u8string();
}

bool FileBlake2b256(const std::string& path, std::uint8_t digest[32], std::uint64_t* bytes,
                    const std::atomic<bool>* cancel)
{
#ifdef _WIN32
    // "S": sequential, so that the system reads ahead of the hash.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenUtf8(path, "rbS"), &std::fclose);
#else
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenUtf8(path, "rb"), &std::fclose);
#endif
    if (!file) return false;
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    thread_local std::vector<std::uint8_t> block(1 << 20);
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 32);
    for (;;) {
        if (cancel && *cancel) return false;
        const std::size_t n = std::fread(block.data(), 1, block.size(), file.get());
        if (n == 0) break;
        crypto_generichash_update(&state, block.data(), n);
        if (bytes) *bytes += n;
    }
    if (std::ferror(file.get())) return false;
    crypto_generichash_final(&state, digest, 32);
    return true;
}

namespace {

// Files of the folder that the manifest does not name (nor the launcher
// owns), sorted.
std::vector<std::string> UnexpectedFiles(const std::string& gameDir, const SManifest& m)
{
    std::vector<std::string> unexpected;
    std::error_code ec;
    std::unordered_set<std::string> listed;
    listed.reserve(m.files.size());
    for (const SManifestFile& f : m.files) listed.insert(FoldedKey(m.Path(f)));
    const fs::path root = fs::u8path(gameDir);
    // The entries are the root with names appended: the rest of each is its
    // path (lexically_relative has no answer for the long form's root).
    std::string prefix = root.u8string();
    if (!prefix.empty() && prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string full = it->path().u8string();
        std::string rel = full.compare(0, prefix.size(), prefix) == 0 ? full.substr(prefix.size())
                                                                      : it->path().lexically_relative(root).u8string();
        std::replace(rel.begin(), rel.end(), '/', '\\');
        if (!listed.count(FoldedKey(rel)) && !LauncherOwned(rel)) unexpected.push_back(rel);
    }
    std::sort(unexpected.begin(), unexpected.end());
    return unexpected;
}

}  // namespace

bool VerifyInstallation(const std::string& gameDir, const SManifest& m, const SVerifyOptions& options,
                        SVerifyReport* report)
{
    *report = SVerifyReport();
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(gameDir), ec)) return false;
    if (sodium_init() < 0) return false;
    const std::vector<SStamp> cached =
        options.full || options.cachePath.empty() ? std::vector<SStamp>() : ReadCache(options.cachePath, m);
    std::vector<std::uint8_t> state(m.files.size(), STATE_UNKNOWN);
    std::vector<SStamp> stamps(m.files.size());
    std::vector<std::uint32_t> toHash;
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < m.files.size(); ++i) {
        const SManifestFile& f = m.files[i];
        stamps[i] = StampOf(fs::u8path(InstalledPath(gameDir, m.Path(f))));
        if (!stamps[i].present) {
            state[i] = STATE_MISSING;
        } else if (stamps[i].size != f.size) {
            state[i] = STATE_DAMAGED;
        } else if (i < cached.size() && cached[i].present && cached[i].size == stamps[i].size &&
                   cached[i].time == stamps[i].time) {
            state[i] = STATE_OK;
            ++report->filesTrusted;
        } else {
            toHash.push_back(i);
            total += f.size;
        }
    }
    // The largest first, so that no core is left with one big file at the end.
    std::sort(toHash.begin(), toHash.end(), [&](std::uint32_t a, std::uint32_t b) { return m.files[a].size > m.files[b].size; });
    unsigned threads = options.threads ? options.threads : std::max(2u, std::thread::hardware_concurrency());
    threads = std::min<unsigned>(threads, static_cast<unsigned>(std::max<std::size_t>(1, toHash.size())));
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::mutex progressLock;
    auto work = [&] {
        for (std::size_t k; (k = next++) < toHash.size();) {
            const std::uint32_t i = toHash[k];
            std::uint8_t digest[32];
            std::uint64_t bytes = 0;
            const bool read = FileBlake2b256(InstalledPath(gameDir, m.Path(m.files[i])), digest, &bytes, options.cancel);
            state[i] = read && std::memcmp(digest, m.files[i].blake2b, 32) == 0 ? STATE_OK : STATE_DAMAGED;
            done += m.files[i].size;
            if (options.progress) {
                std::lock_guard<std::mutex> hold(progressLock);
                options.progress(done, total);
            }
            if (options.cancel && *options.cancel) return;
        }
    };
    std::deque<Base::Utility::CHelperThread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (Base::Utility::CHelperThread& t : pool) t.Join();
    report->cancelled = options.cancel && *options.cancel;
    report->filesHashed = std::min(next.load(), toHash.size());
    report->bytesHashed = done;

    std::vector<SStamp> good(m.files.size());
    for (std::uint32_t i = 0; i < m.files.size(); ++i) {
        if (state[i] == STATE_MISSING) report->missing.push_back(i);
        if (state[i] == STATE_DAMAGED) report->damaged.push_back(i);
        if (state[i] == STATE_OK) good[i] = stamps[i];
    }
    if (!options.cachePath.empty() && !report->cancelled) WriteCache(options.cachePath, m, good);

    report->unexpected = UnexpectedFiles(gameDir, m);
    return true;
}

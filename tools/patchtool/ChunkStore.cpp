#include "ChunkStore.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include <sodium.h>
#include <zstd.h>

#include "Progress.h"
#include "Utf8File.h"
#include "base/utility/PathText.h"
#include "transfer/Chunker.h"
#include "transfer/Manifest.h"
#include "transfer/Md5.h"

namespace fs = std::filesystem;

namespace {

const std::uint64_t kBundleTarget = 8u << 20;  // a bundle closes past this (chunks keep it under 9 MiB)

struct SStoredChunk {
    std::string bundle;        // the bundle's final name ("" while it is the open one)
    std::uint64_t offset = 0;
    std::uint32_t packed = 0, length = 0;
};

struct STreeFile {
    std::string path;  // backslashes
    std::uint64_t size = 0;
    std::uint8_t blake2b[32];
    std::uint8_t md5[16];
    std::vector<std::string> chunks;  // ids, as bytes
};

struct SCctxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

// The bundle being filled; named by the digest of its bytes once closed.
class CBundleWriter {
public:
    explicit CBundleWriter(const fs::path& dir) : m_dir(dir) {}
    ~CBundleWriter()
    {
        if (m_file) std::fclose(m_file);
    }
    // Appends a compressed chunk; its offset.
    bool Append(const std::string& bytes, std::uint64_t* offset, std::string* error)
    {
        if (!m_file) {
            m_path = m_dir / ("open-" + std::to_string(m_number) + ".tmp");
            m_file = OpenUtf8(m_path.u8string(), "wb");
            crypto_generichash_init(&m_hash, nullptr, 0, 16);
            m_size = 0;
            if (!m_file) {
                *error = "cannot write " + m_path.u8string();
                return false;
            }
        }
        *offset = m_size;
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
            *error = "cannot write " + m_path.u8string();
            return false;
        }
        crypto_generichash_update(&m_hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        m_size += bytes.size();
        return true;
    }
    bool Full() const { return m_file && m_size >= kBundleTarget; }
    std::size_t Number() const { return m_number; }
    // Closes the open bundle under its name; "" when none was open.
    bool Close(std::string* name, std::uint64_t* size, std::string* error)
    {
        name->clear();
        if (!m_file) return true;
        const bool ok = std::fclose(m_file) == 0;
        m_file = nullptr;
        std::uint8_t digest[16];
        crypto_generichash_final(&m_hash, digest, sizeof digest);
        *name = HexText(digest, sizeof digest) + ".bundle";
        *size = m_size;
        ++m_number;
        return ok && MoveReplacing(m_path.u8string(), (m_dir / *name).u8string(), error);
    }

private:
    fs::path m_dir, m_path;
    std::FILE* m_file = nullptr;
    crypto_generichash_state m_hash;
    std::uint64_t m_size = 0;
    std::size_t m_number = 0;
};

std::vector<std::string> TreeFiles(const fs::path& root)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec))
        if (!it->is_symlink(ec) && it->is_regular_file(ec))
            files.push_back(it->path().lexically_relative(root).generic_u8string());
    std::sort(files.begin(), files.end());
    return files;
}

// What a build learns as it goes: where every chunk is stored, and the bundle being filled.
class CStoreBuilder {
public:
    CStoreBuilder(const fs::path& stage, int level, SStoreResult* result, std::string* error)
        : m_stage(stage), m_bundle(stage / "bundles"), m_cctx(ZSTD_createCCtx()), m_block(1 << 20), m_level(level),
          m_result(result), m_error(error)
    {
    }

    // What earlier releases stored stays where it is.
    void LoadExisting(const std::string& existingStore)
    {
        std::error_code ec;
        for (auto& e : fs::directory_iterator(fs::u8path(existingStore) / "manifests", ec)) {
            SManifest m;
            if (e.path().extension() != ".manifest" || ReadManifestFile(e.path().u8string(), &m, nullptr) != MANIFEST_OK)
                continue;
            for (const SChunkRef& c : m.chunks) {
                const std::string id(reinterpret_cast<const char*>(c.id), kChunkIdBytes);
                if (m_chunks.count(id)) continue;
                m_chunks[id] = {m.bundles[c.bundle].name, c.offset, c.packed, c.length};
                m_bundleSizes[m.bundles[c.bundle].name] = m.bundles[c.bundle].size;
            }
        }
    }

    // Closes the open bundle and names its chunks.
    bool CloseBundle()
    {
        std::string name;
        std::uint64_t size = 0;
        if (!m_bundle.Close(&name, &size, m_error)) return false;
        if (name.empty()) return true;
        m_bundleSizes[name] = size;
        m_result->files.push_back("bundles/" + name);
        m_result->newBundleBytes += size;
        for (SStoredChunk* c : m_open) c->bundle = name;
        m_open.clear();
        return true;
    }

    bool CutTree(const SChunkTree& tree, std::vector<STreeFile>* out)
    {
        const fs::path root = fs::u8path(tree.dir);
        const std::vector<std::string> files = TreeFiles(root);
        CProgress progress(("chunking " + tree.version).c_str(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            progress.Step(i + 1, files[i]);
            STreeFile f;
            if (!CutFile(root, files[i], &f)) return false;
            out->push_back(std::move(f));
        }
        return true;
    }

    bool StoreManifest(const std::string& version, std::uint64_t sequence, const std::vector<STreeFile>& files)
    {
        const SManifest m = ManifestFor(version, sequence, files);
        const std::string name = "manifests/" + version + ".manifest";
        std::ofstream out(m_stage / name, std::ios::binary);
        out << WriteManifest(m);
        if (!out) {
            *m_error = "cannot write " + (m_stage / name).u8string();
            return false;
        }
        m_result->files.push_back(name);
        return true;
    }

private:
    bool CutFile(const fs::path& root, const std::string& file, STreeFile* f)
    {
        f->path = Base::Utility::WithBackslashes(file);
        std::FILE* in = OpenUtf8((root / fs::u8path(file)).u8string(), "rb");
        if (!in) {
            *m_error = "cannot read " + (root / fs::u8path(file)).u8string();
            return false;
        }
        crypto_generichash_state whole;
        crypto_generichash_init(&whole, nullptr, 0, 32);
        CMd5 md5;
        CChunkCutter cutter;
        bool ok = true;
        for (bool more = true; ok && more;) {
            const size_t n = std::fread(m_block.data(), 1, m_block.size(), in);
            more = n > 0;
            if (n > 0) {
                crypto_generichash_update(&whole, m_block.data(), n);
                md5.Update(m_block.data(), n);
                cutter.Feed(m_block.data(), n);
                f->size += n;
            } else {
                ok = !std::ferror(in);
                cutter.Finish();
            }
            const std::uint8_t* data = nullptr;
            std::size_t length = 0;
            while (ok && cutter.Next(&data, &length)) ok = StoreChunk(data, length, f);
        }
        std::fclose(in);
        if (!ok) {
            if (m_error->empty()) *m_error = "cannot cut " + file;
            return false;
        }
        crypto_generichash_final(&whole, f->blake2b, sizeof f->blake2b);
        md5.Final(f->md5);
        return true;
    }

    // Notes the chunk in the file; packs it into the open bundle unless some bundle holds it already.
    bool StoreChunk(const std::uint8_t* data, std::size_t length, STreeFile* f)
    {
        std::uint8_t id[kChunkIdBytes];
        crypto_generichash(id, sizeof id, data, length, nullptr, 0);
        const std::string key(reinterpret_cast<const char*>(id), sizeof id);
        f->chunks.push_back(key);
        if (m_chunks.count(key)) {
            ++m_result->reusedChunks;
            return true;
        }
        m_packed.resize(ZSTD_compressBound(length));
        const size_t size = ZSTD_compressCCtx(m_cctx.get(), &m_packed[0], m_packed.size(), data, length, m_level);
        std::uint64_t offset = 0;
        bool ok = !ZSTD_isError(size);
        m_packed.resize(ok ? size : 0);
        ok = ok && m_bundle.Append(m_packed, &offset, m_error);
        SStoredChunk& stored = m_chunks[key];
        stored = {"", offset, static_cast<std::uint32_t>(m_packed.size()), static_cast<std::uint32_t>(length)};
        m_open.push_back(&stored);
        ++m_result->newChunks;
        if (ok && m_bundle.Full()) ok = CloseBundle();
        return ok;
    }

    SManifest ManifestFor(const std::string& version, std::uint64_t sequence, const std::vector<STreeFile>& files)
    {
        SManifest m;
        m.version = version;
        m.sequence = sequence;
        std::map<std::string, std::uint32_t> chunkIndex, bundleIndex;
        for (const STreeFile& f : files) {
            SManifestFile mf;
            std::vector<std::uint32_t> list;
            mf.size = f.size;
            std::copy(f.blake2b, f.blake2b + 32, mf.blake2b);
            std::copy(f.md5, f.md5 + 16, mf.md5);
            for (const std::string& id : f.chunks) {
                auto known = chunkIndex.find(id);
                if (known == chunkIndex.end()) {
                    const SStoredChunk& s = m_chunks[id];
                    auto b = bundleIndex.find(s.bundle);
                    if (b == bundleIndex.end()) {
                        b = bundleIndex.emplace(s.bundle, static_cast<std::uint32_t>(m.bundles.size())).first;
                        m.bundles.push_back({s.bundle, m_bundleSizes[s.bundle]});
                    }
                    SChunkRef r;
                    std::copy(id.begin(), id.end(), r.id);
                    r.bundle = b->second;
                    r.offset = s.offset;
                    r.packed = s.packed;
                    r.length = s.length;
                    known = chunkIndex.emplace(id, static_cast<std::uint32_t>(m.chunks.size())).first;
                    m.chunks.push_back(r);
                }
                list.push_back(known->second);
            }
            m.AddFile(f.path, mf, list);
        }
        return m;
    }

    fs::path m_stage;
    std::map<std::string, SStoredChunk> m_chunks;
    std::map<std::string, std::uint64_t> m_bundleSizes;
    CBundleWriter m_bundle;
    std::unique_ptr<ZSTD_CCtx, SCctxFree> m_cctx;
    std::vector<std::uint8_t> m_block;
    std::string m_packed;
    std::vector<SStoredChunk*> m_open;  // the chunks of the open bundle
    int m_level;
    SStoreResult* m_result;
    std::string* m_error;
};

}  // namespace

std::uint64_t StoreSequence(const std::string& store)
{
    std::uint64_t highest = 0;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(fs::u8path(store) / "manifests", ec)) {
        SManifest m;
        if (e.path().extension() == ".manifest" && ReadManifestFile(e.path().u8string(), &m, nullptr) == MANIFEST_OK)
            highest = std::max(highest, m.sequence);
    }
    return highest;
}

bool BuildChunkStore(const std::vector<SChunkTree>& trees, const std::string& existingStore,
                     const std::string& stageStore, std::uint64_t sequence, int level, SStoreResult* result,
                     std::string* error)
{
    *result = SStoreResult();
    if (sodium_init() < 0) {
        *error = "libsodium cannot start";
        return false;
    }
    const fs::path stage = fs::u8path(stageStore);
    CStoreBuilder builder(stage, level, result, error);
    builder.LoadExisting(existingStore);
    std::error_code ec;
    fs::create_directories(stage / "bundles", ec);
    fs::create_directories(stage / "manifests", ec);
    std::vector<std::vector<STreeFile>> treeFiles(trees.size());
    for (size_t t = 0; t < trees.size(); ++t)
        if (!builder.CutTree(trees[t], &treeFiles[t])) return false;
    if (!builder.CloseBundle()) return false;
    for (size_t t = 0; t < trees.size(); ++t)
        if (!builder.StoreManifest(trees[t].version, sequence, treeFiles[t])) return false;
    return true;
}

std::vector<std::string> CheckChunkStore(const std::string& store)
{
    std::vector<std::string> problems;
    std::error_code ec;
    std::map<std::string, bool> checked;  // chunk ids already hashed
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> dctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    std::vector<char> plain(kChunkMax);
    for (auto& e : fs::directory_iterator(fs::u8path(store) / "manifests", ec)) {
        if (e.path().extension() != ".manifest") continue;
        const std::string where = "manifest " + e.path().filename().u8string() + ": ";
        std::string why;
        SManifest m;
        const EManifestResult r = ReadManifestFile(e.path().u8string(), &m, &why);
        if (r != MANIFEST_OK) {
            problems.push_back(where + ManifestResultText(r) + " (" + why + ")");
            continue;
        }
        for (const SBundle& b : m.bundles) {
            const auto size = fs::file_size(fs::u8path(store) / "bundles" / b.name, ec);
            if (ec || size != b.size) problems.push_back(where + "bundle " + b.name + " missing or of another size");
        }
        if (problems.size() > 100) break;
        for (const SChunkRef& c : m.chunks) {
            const std::string id(reinterpret_cast<const char*>(c.id), kChunkIdBytes);
            if (checked.count(id)) continue;
            checked[id] = true;
            std::ifstream in(fs::u8path(store) / "bundles" / m.bundles[c.bundle].name, std::ios::binary);
            std::string packed(c.packed, '\0');
            in.seekg(static_cast<std::streamoff>(c.offset));
            in.read(&packed[0], c.packed);
            const size_t n = in ? ZSTD_decompressDCtx(dctx.get(), plain.data(), plain.size(), packed.data(), packed.size()) : 0;
            std::uint8_t digest[kChunkIdBytes];
            if (!ZSTD_isError(n) && n == c.length)
                crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(plain.data()), n,
                                   nullptr, 0);
            if (!in || ZSTD_isError(n) || n != c.length || std::memcmp(digest, c.id, sizeof digest) != 0)
                problems.push_back(where + "chunk " + ChunkIdHex(c.id) + " in " + m.bundles[c.bundle].name +
                                   " does not hash to its id");
        }
    }
    return problems;
}

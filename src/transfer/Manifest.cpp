#include "Manifest.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "PathFence.h"
#include "base/utility/Utf8.h"
#include "base/utility/Utf8Path.h"

namespace {

const char kMagic[8] = {'T', 'W', 'M', 'A', 'N', 'I', '0', '1'};
const std::size_t kChunkRecordBytes = kChunkIdBytes + 4 + 8 + 4 + 4;
const std::size_t kFileRecordBytes = 2 + 8 + 32 + 16 + 4;
const std::size_t kMaxPathBytes = 1000;

void Put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string& out, const std::string& text)
{
    Put(out, text.size(), 2);
    out += text;
}

// Bytes from memory or a file, through a small buffer.
class CReader {
public:
    CReader(const void* data, std::size_t size) : m_memory(static_cast<const std::uint8_t*>(data)), m_left(size) {}
    CReader(std::FILE* file, std::size_t size) : m_file(file), m_left(size), m_buffer(new std::uint8_t[kBuffer]) {}

    bool Take(void* out, std::size_t n)
    {
        if (n > m_left) return false;
        std::uint8_t* to = static_cast<std::uint8_t*>(out);
        if (m_memory) {
            std::memcpy(to, m_memory, n);
            m_memory += n;
        } else {
            while (n > 0) {
                if (m_at == m_held && !Refill()) return false;
                const std::size_t piece = std::min(n, m_held - m_at);
                std::memcpy(to, m_buffer.get() + m_at, piece);
                m_at += piece;
                to += piece;
                n -= piece;
                m_left -= piece;
            }
            return true;
        }
        m_left -= n;
        return true;
    }
    bool Number(std::uint64_t* value, int bytes)
    {
        std::uint8_t raw[8];
        if (!Take(raw, static_cast<std::size_t>(bytes))) return false;
        *value = 0;
        for (int i = 0; i < bytes; ++i) *value |= static_cast<std::uint64_t>(raw[i]) << (8 * i);
        return true;
    }
    bool Text(std::string* text, std::size_t max)
    {
        std::uint64_t n = 0;
        if (!Number(&n, 2) || n > max || n > m_left) return false;
        text->resize(static_cast<std::size_t>(n));
        return n == 0 || Take(&(*text)[0], static_cast<std::size_t>(n));
    }
    // A count whose records of recordBytes each must still fit.
    bool Count(std::uint64_t* n, std::size_t recordBytes)
    {
        return Number(n, 4) && (recordBytes == 0 || *n <= m_left / recordBytes);
    }
    std::size_t Left() const { return m_left; }

private:
    static const std::size_t kBuffer = 256 * 1024;
    bool Refill()
    {
        m_at = 0;
        m_held = std::fread(m_buffer.get(), 1, kBuffer, m_file);
        return m_held > 0;
    }
    const std::uint8_t* m_memory = nullptr;
    std::FILE* m_file = nullptr;
    std::size_t m_left;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_at = 0, m_held = 0;
};

EManifestResult Fail(EManifestResult result, std::string* why, const std::string& text)
{
    if (why) *why = text;
    return result;
}

std::uint64_t Fnv(const wchar_t* p, std::size_t n)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= static_cast<std::uint64_t>(p[i]);
        h *= 0x100000001b3ull;
    }
    return h;
}

// Names that clash where Windows ignores case, in little memory: 64-bit
// hashes of the case-folded paths and of every folder above them.
class CNameClashes {
public:
    void Add(const std::wstring& folded, std::uint32_t index)
    {
        m_files.emplace_back(Fnv(folded.data(), folded.size()), index);
        for (std::size_t i = 0; i < folded.size(); ++i)
            if (folded[i] == L'\\') m_folders.push_back(Fnv(folded.data(), i));
    }
    // The index of a file that clashes with another, *folder when it is a folder's name.
    bool FindClash(std::uint32_t* a, std::uint32_t* b, bool* folder)
    {
        std::sort(m_files.begin(), m_files.end());
        for (std::size_t i = 1; i < m_files.size(); ++i)
            if (m_files[i].first == m_files[i - 1].first) {
                *a = std::min(m_files[i].second, m_files[i - 1].second);
                *b = std::max(m_files[i].second, m_files[i - 1].second);
                *folder = false;
                return true;
            }
        std::sort(m_folders.begin(), m_folders.end());
        m_folders.erase(std::unique(m_folders.begin(), m_folders.end()), m_folders.end());
        for (const auto& f : m_files)
            if (std::binary_search(m_folders.begin(), m_folders.end(), f.first)) {
                *a = *b = f.second;
                *folder = true;
                return true;
            }
        return false;
    }

private:
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_files;
    std::vector<std::uint64_t> m_folders;
};

// Reads and checks; whatever is read goes to the visitor.
EManifestResult Parse(CReader& r, std::size_t size, IManifestVisitor& v, std::string* why)
{
    if (size > kMaxManifestBytes) return Fail(MANIFEST_TOO_LARGE, why, "larger than the bound");
    char magic[sizeof kMagic];
    if (!r.Take(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return Fail(MANIFEST_MALFORMED, why, "no manifest header");
    std::string version;
    std::uint64_t sequence = 0;
    if (!r.Text(&version, 32) || !r.Number(&sequence, 8)) return Fail(MANIFEST_MALFORMED, why, "header cut short");

    std::uint64_t bundleCount = 0, chunkCount = 0;
    if (!r.Count(&bundleCount, 2 + 8)) return Fail(MANIFEST_MALFORMED, why, "bundle count past the bytes");
    if (bundleCount > kMaxManifestBundles) return Fail(MANIFEST_TOO_LARGE, why, "too many bundles");
    std::vector<SBundle> bundles(static_cast<std::size_t>(bundleCount));
    for (SBundle& b : bundles) {
        if (!r.Text(&b.name, 200) || !r.Number(&b.size, 8)) return Fail(MANIFEST_MALFORMED, why, "bundle cut short");
        const bool bundleName = b.name.size() > 7 && b.name.compare(b.name.size() - 7, 7, ".bundle") == 0;
        if (!bundleName || FenceName(b.name, NAME_PLAIN_FILE) != NAME_OK)
            return Fail(MANIFEST_REFUSED_PATH, why, "bundle name " + b.name);
    }

    if (!r.Count(&chunkCount, kChunkRecordBytes)) return Fail(MANIFEST_MALFORMED, why, "chunk count past the bytes");
    if (chunkCount > kMaxManifestChunks) return Fail(MANIFEST_TOO_LARGE, why, "too many chunks");
    // The chunk records stay in the stream; only their lengths are kept to add files up.
    std::vector<std::uint32_t> lengths(static_cast<std::size_t>(chunkCount));

    // The file count comes after the chunks: the header goes out once it is known.
    v.Header(version, sequence, bundles.size(), lengths.size(), 0);
    for (const SBundle& b : bundles) v.Bundle(b);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        SChunkRef c;
        std::uint64_t bundle = 0, packed = 0, length = 0;
        if (!r.Take(c.id, kChunkIdBytes) || !r.Number(&bundle, 4) || !r.Number(&c.offset, 8) || !r.Number(&packed, 4) ||
            !r.Number(&length, 4))
            return Fail(MANIFEST_MALFORMED, why, "chunk cut short");
        c.bundle = static_cast<std::uint32_t>(bundle);
        c.packed = static_cast<std::uint32_t>(packed);
        c.length = static_cast<std::uint32_t>(length);
        // A chunk is within its bounds, and its bytes within its bundle.
        if (length == 0 || length > kChunkMax || packed == 0 || packed > length + length / 64 + 1024 ||
            bundle >= bundles.size() || c.offset > bundles[c.bundle].size ||
            packed > bundles[c.bundle].size - c.offset)
            return Fail(MANIFEST_BAD_CHUNKS, why, "chunk " + std::to_string(i) + " outside its bounds or its bundle");
        lengths[i] = c.length;
        v.Chunk(c);
    }

    std::uint64_t fileCount = 0;
    if (!r.Count(&fileCount, kFileRecordBytes)) return Fail(MANIFEST_MALFORMED, why, "file count past the bytes");
    if (fileCount > kMaxManifestFiles) return Fail(MANIFEST_TOO_LARGE, why, "too many files");
    CNameClashes clashes;
    std::string path;
    std::wstring wide, folded;
    std::vector<std::uint32_t> list;
    for (std::uint64_t i = 0; i < fileCount; ++i) {
        SManifestFile f;
        std::uint64_t count = 0;
        if (!r.Text(&path, kMaxPathBytes) || !r.Number(&f.size, 8) || !r.Take(f.blake2b, 32) || !r.Take(f.md5, 16) ||
            !r.Count(&count, 4))
            return Fail(MANIFEST_MALFORMED, why, "file cut short");
        if (!Base::Utility::Utf16FromUtf8(path, &wide) || FenceName(wide, NAME_PACKAGE_TARGET, &folded) != NAME_OK)
            return Fail(MANIFEST_REFUSED_PATH, why, "path " + path);
        for (wchar_t& c : folded) c = Base::Utility::FoldCase(c);
        clashes.Add(folded, static_cast<std::uint32_t>(i));
        list.resize(static_cast<std::size_t>(count));
        std::uint64_t total = 0;
        for (std::uint32_t& c : list) {
            std::uint64_t index = 0;
            if (!r.Number(&index, 4)) return Fail(MANIFEST_MALFORMED, why, "chunk list cut short");
            if (index >= lengths.size()) return Fail(MANIFEST_BAD_CHUNKS, why, "chunk index outside: " + path);
            c = static_cast<std::uint32_t>(index);
            total += lengths[c];
        }
        if (total != f.size) return Fail(MANIFEST_BAD_CHUNKS, why, "chunks do not add up to the size of " + path);
        f.chunkCount = static_cast<std::uint32_t>(count);
        v.File(path, f, list.data());
    }
    if (r.Left() != 0) return Fail(MANIFEST_MALFORMED, why, "bytes after the last file");
    std::uint32_t a = 0, b = 0;
    bool folder = false;
    if (clashes.FindClash(&a, &b, &folder)) {
        // Named from a second pass would cost a re-read: the visitor knows the paths.
        return Fail(MANIFEST_DUPLICATE_PATH, why,
                    folder ? "file " + std::to_string(a) + " has the name of a folder"
                           : "files " + std::to_string(a) + " and " + std::to_string(b) + " have one name");
    }
    return MANIFEST_OK;
}

// Keeps everything in an SManifest.
class CKeeper : public IManifestVisitor {
public:
    explicit CKeeper(SManifest* m) : m_m(m) {}
    void Header(const std::string& version, std::uint64_t sequence, std::size_t bundles, std::size_t chunks,
                std::size_t) override
    {
        m_m->version = version;
        m_m->sequence = sequence;
        m_m->bundles.reserve(bundles);
        m_m->chunks.reserve(chunks);
    }
    void Bundle(const SBundle& bundle) override { m_m->bundles.push_back(bundle); }
    void Chunk(const SChunkRef& chunk) override { m_m->chunks.push_back(chunk); }
    void File(const std::string& path, const SManifestFile& file, const std::uint32_t* chunks) override
    {
        m_m->AddFile(path, file, std::vector<std::uint32_t>(chunks, chunks + file.chunkCount));
    }

private:
    SManifest* m_m;
};

// Names the files of a clash from the paths the keeper holds.
EManifestResult NameClash(EManifestResult result, const SManifest& m, std::string* why)
{
    if (result != MANIFEST_DUPLICATE_PATH || !why) return result;
    const std::size_t a = static_cast<std::size_t>(std::strtoul(why->c_str() + why->find_first_of("0123456789"), nullptr, 10));
    if (a < m.files.size()) *why += " (" + m.Path(m.files[a]) + ")";
    return result;
}

}  // namespace

void SManifest::AddFile(const std::string& path, SManifestFile f, const std::vector<std::uint32_t>& chunkIndexes)
{
    f.pathOffset = static_cast<std::uint32_t>(paths.size());
    f.pathLength = static_cast<std::uint32_t>(path.size());
    paths += path;
    f.firstChunk = static_cast<std::uint32_t>(fileChunks.size());
    f.chunkCount = static_cast<std::uint32_t>(chunkIndexes.size());
    fileChunks.insert(fileChunks.end(), chunkIndexes.begin(), chunkIndexes.end());
    files.push_back(f);
}

const char* ManifestResultText(EManifestResult result)
{
    switch (result) {
    case MANIFEST_OK: return "accepted";
    case MANIFEST_MALFORMED: return "not a manifest, or cut short";
    case MANIFEST_TOO_LARGE: return "more than a manifest may hold";
    case MANIFEST_REFUSED_PATH: return "a path outside the installation or of the launcher's own";
    case MANIFEST_DUPLICATE_PATH: return "two files of one name";
    case MANIFEST_BAD_CHUNKS: return "chunk lists that do not add up to their files or lie outside their bundles";
    case MANIFEST_UNREADABLE: return "the file cannot be read";
    }
    return "refused";
}

std::string HexText(const std::uint8_t* bytes, std::size_t n)
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        text.push_back(kHex[bytes[i] >> 4]);
        text.push_back(kHex[bytes[i] & 15]);
    }
    return text;
}

std::uint64_t ManifestPathKey(const std::string& utf8Path)
{
    std::wstring wide;
    if (!Base::Utility::Utf16FromUtf8(utf8Path, &wide)) wide.assign(utf8Path.begin(), utf8Path.end());
    for (wchar_t& c : wide) c = c == L'/' ? L'\\' : Base::Utility::FoldCase(c);
    return Fnv(wide.data(), wide.size());
}

std::string ChunkIdHex(const std::uint8_t id[kChunkIdBytes]) { return HexText(id, kChunkIdBytes); }

std::string WriteManifest(const SManifest& m)
{
    std::string out(kMagic, sizeof kMagic);
    PutText(out, m.version);
    Put(out, m.sequence, 8);
    Put(out, m.bundles.size(), 4);
    for (const SBundle& b : m.bundles) {
        PutText(out, b.name);
        Put(out, b.size, 8);
    }
    Put(out, m.chunks.size(), 4);
    for (const SChunkRef& c : m.chunks) {
        out.append(reinterpret_cast<const char*>(c.id), kChunkIdBytes);
        Put(out, c.bundle, 4);
        Put(out, c.offset, 8);
        Put(out, c.packed, 4);
        Put(out, c.length, 4);
    }
    Put(out, m.files.size(), 4);
    for (const SManifestFile& f : m.files) {
        PutText(out, m.Path(f));
        Put(out, f.size, 8);
        out.append(reinterpret_cast<const char*>(f.blake2b), sizeof f.blake2b);
        out.append(reinterpret_cast<const char*>(f.md5), sizeof f.md5);
        Put(out, f.chunkCount, 4);
        for (std::uint32_t i = 0; i < f.chunkCount; ++i) Put(out, m.Chunks(f)[i], 4);
    }
    return out;
}

EManifestResult ReadManifest(const void* data, std::size_t size, SManifest* out, std::string* why)
{
    *out = SManifest();
    CReader r(data, size);
    CKeeper keeper(out);
    return NameClash(Parse(r, size, keeper, why), *out, why);
}

namespace {

EManifestResult ParseFile(const std::string& path, IManifestVisitor& visitor, std::string* why)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenUtf8(path, "rb"), &std::fclose);
    if (!file) return Fail(MANIFEST_UNREADABLE, why, "cannot open " + path);
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    if (size < 0) return Fail(MANIFEST_UNREADABLE, why, "cannot read " + path);
    CReader r(file.get(), static_cast<std::size_t>(size));
    return Parse(r, static_cast<std::size_t>(size), visitor, why);
}

}  // namespace

EManifestResult ReadManifestFile(const std::string& path, SManifest* out, std::string* why)
{
    *out = SManifest();
    CKeeper keeper(out);
    return NameClash(ParseFile(path, keeper, why), *out, why);
}

EManifestResult VisitManifestFile(const std::string& path, IManifestVisitor& visitor, std::string* why)
{
    return ParseFile(path, visitor, why);
}

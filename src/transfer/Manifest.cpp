#include "Manifest.h"

#include <cstring>

#include "PathFence.h"
#include "base/utility/Utf8.h"

namespace {

const char kMagic[8] = {'T', 'W', 'M', 'A', 'N', 'I', '0', '1'};
const std::size_t kChunkRecordBytes = kChunkIdBytes + 4 + 8 + 4 + 4;

void Put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string& out, const std::string& text)
{
    Put(out, text.size(), 2);
    out += text;
}

class CReader {
public:
    CReader(const void* data, std::size_t size) : m_p(static_cast<const std::uint8_t*>(data)), m_left(size) {}
    bool Take(void* out, std::size_t n)
    {
        if (n > m_left) return false;
        std::memcpy(out, m_p, n);
        m_p += n;
        m_left -= n;
        return true;
    }
    bool Number(std::uint64_t* value, int bytes)
    {
        if (static_cast<std::size_t>(bytes) > m_left) return false;
        *value = 0;
        for (int i = 0; i < bytes; ++i) *value |= static_cast<std::uint64_t>(m_p[i]) << (8 * i);
        m_p += bytes;
        m_left -= static_cast<std::size_t>(bytes);
        return true;
    }
    bool Text(std::string* text, std::size_t max)
    {
        std::uint64_t n = 0;
        if (!Number(&n, 2) || n > max || n > m_left) return false;
        text->assign(reinterpret_cast<const char*>(m_p), static_cast<std::size_t>(n));
        m_p += n;
        m_left -= static_cast<std::size_t>(n);
        return true;
    }
    // A count whose records of recordBytes each must still fit.
    bool Count(std::uint64_t* n, std::size_t recordBytes)
    {
        return Number(n, 4) && (recordBytes == 0 || *n <= m_left / recordBytes);
    }
    std::size_t Left() const { return m_left; }

private:
    const std::uint8_t* m_p;
    std::size_t m_left;
};

EManifestResult Fail(EManifestResult result, std::string* why, const std::string& text)
{
    if (why) *why = text;
    return result;
}

}  // namespace

const char* ManifestResultText(EManifestResult result)
{
    switch (result) {
    case MANIFEST_OK: return "accepted";
    case MANIFEST_MALFORMED: return "not a manifest, or cut short";
    case MANIFEST_TOO_LARGE: return "more than a manifest may hold";
    case MANIFEST_REFUSED_PATH: return "a path outside the installation or of the launcher's own";
    case MANIFEST_DUPLICATE_PATH: return "two files of one name";
    case MANIFEST_BAD_CHUNKS: return "chunk lists that do not add up to their files or lie outside their bundles";
    }
    return "refused";
}

std::string ChunkIdHex(const std::uint8_t id[kChunkIdBytes])
{
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < kChunkIdBytes; ++i) {
        text.push_back(kHex[id[i] >> 4]);
        text.push_back(kHex[id[i] & 15]);
    }
    return text;
}

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
        PutText(out, f.path);
        Put(out, f.size, 8);
        out.append(reinterpret_cast<const char*>(f.blake2b), sizeof f.blake2b);
        out.append(reinterpret_cast<const char*>(f.md5), sizeof f.md5);
        Put(out, f.chunks.size(), 4);
        for (std::uint32_t c : f.chunks) Put(out, c, 4);
    }
    return out;
}

EManifestResult ReadManifest(const void* data, std::size_t size, SManifest* out, std::string* why)
{
    *out = SManifest();
    if (size > kMaxManifestBytes) return Fail(MANIFEST_TOO_LARGE, why, "larger than the bound");
    CReader r(data, size);
    char magic[sizeof kMagic];
    std::uint64_t n = 0;
    if (!r.Take(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return Fail(MANIFEST_MALFORMED, why, "no manifest header");
    if (!r.Text(&out->version, 32) || !r.Number(&out->sequence, 8)) return Fail(MANIFEST_MALFORMED, why, "header cut short");

    if (!r.Count(&n, 2 + 8)) return Fail(MANIFEST_MALFORMED, why, "bundle count past the bytes");
    if (n > kMaxManifestBundles) return Fail(MANIFEST_TOO_LARGE, why, "too many bundles");
    out->bundles.resize(static_cast<std::size_t>(n));
    for (SBundle& b : out->bundles) {
        if (!r.Text(&b.name, 200) || !r.Number(&b.size, 8)) return Fail(MANIFEST_MALFORMED, why, "bundle cut short");
        const bool bundleName = b.name.size() > 7 && b.name.compare(b.name.size() - 7, 7, ".bundle") == 0;
        if (!bundleName || FenceName(b.name, NAME_PLAIN_FILE) != NAME_OK)
            return Fail(MANIFEST_REFUSED_PATH, why, "bundle name " + b.name);
    }

    if (!r.Count(&n, kChunkRecordBytes)) return Fail(MANIFEST_MALFORMED, why, "chunk count past the bytes");
    if (n > kMaxManifestChunks) return Fail(MANIFEST_TOO_LARGE, why, "too many chunks");
    out->chunks.resize(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < out->chunks.size(); ++i) {
        SChunkRef& c = out->chunks[i];
        std::uint64_t bundle = 0, packed = 0, length = 0;
        if (!r.Take(c.id, kChunkIdBytes) || !r.Number(&bundle, 4) || !r.Number(&c.offset, 8) || !r.Number(&packed, 4) ||
            !r.Number(&length, 4))
            return Fail(MANIFEST_MALFORMED, why, "chunk cut short");
        c.bundle = static_cast<std::uint32_t>(bundle);
        c.packed = static_cast<std::uint32_t>(packed);
        c.length = static_cast<std::uint32_t>(length);
        // A chunk is within its bounds, and its bytes within its bundle.
        if (c.length == 0 || c.length > kChunkMax || c.packed == 0 || c.packed > c.length + c.length / 64 + 1024 ||
            bundle >= out->bundles.size() || c.offset > out->bundles[c.bundle].size ||
            c.packed > out->bundles[c.bundle].size - c.offset)
            return Fail(MANIFEST_BAD_CHUNKS, why, "chunk " + std::to_string(i) + " outside its bounds or its bundle");
    }

    if (!r.Count(&n, 2 + 8 + 32 + 16 + 4)) return Fail(MANIFEST_MALFORMED, why, "file count past the bytes");
    if (n > kMaxManifestFiles) return Fail(MANIFEST_TOO_LARGE, why, "too many files");
    out->files.resize(static_cast<std::size_t>(n));
    std::vector<std::wstring> names;
    names.reserve(out->files.size());
    for (SManifestFile& f : out->files) {
        std::uint64_t count = 0;
        if (!r.Text(&f.path, 1000) || !r.Number(&f.size, 8) || !r.Take(f.blake2b, 32) || !r.Take(f.md5, 16) ||
            !r.Count(&count, 4))
            return Fail(MANIFEST_MALFORMED, why, "file cut short");
        std::wstring wide;
        if (!Base::Utility::Utf16FromUtf8(f.path, &wide) || FenceName(wide, NAME_PACKAGE_TARGET) != NAME_OK)
            return Fail(MANIFEST_REFUSED_PATH, why, "path " + f.path);
        names.push_back(wide);
        f.chunks.resize(static_cast<std::size_t>(count));
        std::uint64_t total = 0;
        for (std::uint32_t& c : f.chunks) {
            std::uint64_t index = 0;
            if (!r.Number(&index, 4)) return Fail(MANIFEST_MALFORMED, why, "chunk list cut short");
            if (index >= out->chunks.size()) return Fail(MANIFEST_BAD_CHUNKS, why, "chunk index outside: " + f.path);
            c = static_cast<std::uint32_t>(index);
            total += out->chunks[c].length;
        }
        if (total != f.size) return Fail(MANIFEST_BAD_CHUNKS, why, "chunks do not add up to the size of " + f.path);
    }
    if (r.Left() != 0) return Fail(MANIFEST_MALFORMED, why, "bytes after the last file");
    SNameRefusal refusal;
    if (!CheckNames(names, NAME_PACKAGE_TARGET, &refusal))
        return Fail(MANIFEST_DUPLICATE_PATH, why, Base::Utility::Utf8FromUtf16(refusal.name + L": " + refusal.why));
    return MANIFEST_OK;
}

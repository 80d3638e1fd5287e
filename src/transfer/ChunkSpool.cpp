#include "ChunkSpool.h"

#include <cstring>

#include <zstd.h>

#include "base/utility/Utf8Path.h"

namespace {

// A record: the chunk id, the packed length (4 bytes, little-endian), the packed bytes.
const std::size_t kHead = kChunkIdBytes + 4;

}  // namespace

CChunkSpool::CChunkSpool(const SManifest& manifest, const CChunkIndex& index)
    : m_manifest(manifest), m_index(index), m_offsets(manifest.chunks.size(), 0)
{
}

CChunkSpool::~CChunkSpool() { Close(); }

void CChunkSpool::Close()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

bool CChunkSpool::Check(const SChunkRef& chunk, const void* packed, std::size_t size, std::vector<std::uint8_t>* plain,
                        std::string* why)
{
    plain->resize(chunk.length);
    const std::size_t n = size == chunk.packed ? ZSTD_decompress(plain->data(), plain->size(), packed, size) : 0;
    std::uint8_t id[kChunkIdBytes];
    if (size != chunk.packed || ZSTD_isError(n) || n != chunk.length) {
        if (why) *why = "chunk " + ChunkIdHex(chunk.id) + " does not decompress to its length";
        return false;
    }
    ChunkId(plain->data(), n, id);
    if (std::memcmp(id, chunk.id, kChunkIdBytes) != 0) {
        if (why) *why = "chunk " + ChunkIdHex(chunk.id) + " does not hash to its id";
        return false;
    }
    return true;
}

bool CChunkSpool::Open(const std::string& path)
{
    Close();
    m_path = path;
    std::fill(m_offsets.begin(), m_offsets.end(), 0);
    m_end = 0;
    m_file = OpenUtf8(path, "r+b");
    if (!m_file) m_file = OpenUtf8(path, "w+b");
    if (!m_file) return false;
    // What an earlier run fetched, up to the first record that does not check.
    std::vector<std::uint8_t> packed, plain;
    for (;;) {
        std::uint8_t head[kHead];
        if (std::fread(head, 1, kHead, m_file) != kHead) break;
        std::uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size |= static_cast<std::uint32_t>(head[kChunkIdBytes + i]) << (8 * i);
        if (size > kChunkMax + kChunkMax / 64 + 1024) break;
        packed.resize(size);
        if (std::fread(packed.data(), 1, size, m_file) != size) break;
        const long long c = m_index.Find(head);
        if (c >= 0 && Check(m_manifest.chunks[static_cast<std::size_t>(c)], packed.data(), size, &plain, nullptr))
            m_offsets[static_cast<std::size_t>(c)] = m_end + kHead + 1;
        m_end += kHead + size;
    }
    // A torn last record is written over.
    return SeekUtf8File(m_file, m_end);
}

bool CChunkSpool::Add(std::uint32_t chunk, const void* packed, std::size_t size, std::string* why)
{
    const SChunkRef& c = m_manifest.chunks[chunk];
    std::vector<std::uint8_t> plain;
    if (!Check(c, packed, size, &plain, why)) return false;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_offsets[chunk] != 0) return true;
    std::uint8_t head[kHead];
    std::memcpy(head, c.id, kChunkIdBytes);
    for (int i = 0; i < 4; ++i) head[kChunkIdBytes + i] = static_cast<std::uint8_t>(size >> (8 * i));
    if (!m_file || !SeekUtf8File(m_file, m_end) || std::fwrite(head, 1, kHead, m_file) != kHead ||
        std::fwrite(packed, 1, size, m_file) != size || std::fflush(m_file) != 0) {
        if (why) *why = "cannot write " + m_path;
        return false;
    }
    m_offsets[chunk] = m_end + kHead + 1;
    m_end += kHead + size;
    return true;
}

bool CChunkSpool::Has(std::uint32_t chunk) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_offsets[chunk] != 0;
}

std::size_t CChunkSpool::Held() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::size_t n = 0;
    for (std::uint64_t o : m_offsets) n += o != 0;
    return n;
}

bool CChunkSpool::Read(std::uint32_t chunk, std::vector<std::uint8_t>* plain)
{
    const SChunkRef& c = m_manifest.chunks[chunk];
    std::vector<std::uint8_t> packed(c.packed);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_file || m_offsets[chunk] == 0 || !SeekUtf8File(m_file, m_offsets[chunk] - 1) ||
            std::fread(packed.data(), 1, packed.size(), m_file) != packed.size())
            return false;
    }
    // Checked again: the disk may have spoiled it since.
    return Check(c, packed.data(), packed.size(), plain, nullptr);
}

#include "FileRebuild.h"

#include <cstring>
#include <memory>

#include <sodium.h>

#include "Md5.h"
#include "base/utility/Utf8Path.h"

namespace {

typedef std::unique_ptr<std::FILE, int (*)(std::FILE*)> CFile;

}  // namespace

bool RebuildFile(const SManifest& target, std::uint32_t file, const CChunkPlan& plan, CChunkSpool& spool,
                 const std::string& outPath, std::string* md5Hex, std::string* why)
{
    const SManifestFile& f = target.files[file];
    const std::string path = target.Path(f);
    CFile out(OpenUtf8(outPath, "wb"), &std::fclose);
    if (!out) {
        *why = "cannot write " + outPath;
        return false;
    }
    crypto_generichash_state whole;
    crypto_generichash_init(&whole, nullptr, 0, 32);
    CMd5 md5;
    std::vector<std::uint8_t> bytes;
    CFile source(nullptr, &std::fclose);
    std::uint32_t sourceFile = ~0u;
    for (std::uint32_t i = 0; i < f.chunkCount; ++i) {
        const std::uint32_t c = target.Chunks(f)[i];
        const SChunkRef& chunk = target.chunks[c];
        bool have = false;
        if (const SChunkSource* s = plan.Source(c)) {
            if (s->file != sourceFile) {
                source.reset(OpenUtf8(plan.SourcePath(s->file), "rb"));
                sourceFile = s->file;
            }
            bytes.resize(chunk.length);
            std::uint8_t id[kChunkIdBytes];
            if (source && SeekUtf8File(source.get(), s->offset) &&
                std::fread(bytes.data(), 1, bytes.size(), source.get()) == bytes.size()) {
                ChunkId(bytes.data(), bytes.size(), id);
                have = std::memcmp(id, chunk.id, kChunkIdBytes) == 0;
            }
        }
        if (!have) have = spool.Read(c, &bytes);
        if (!have) {
            *why = path + ": chunk " + ChunkIdHex(chunk.id) + " is neither in the installation nor fetched";
            return false;
        }
        crypto_generichash_update(&whole, bytes.data(), bytes.size());
        md5.Update(bytes.data(), bytes.size());
        if (std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) {
            *why = "cannot write " + outPath + " (disk full?)";
            return false;
        }
    }
    if (std::fflush(out.get()) != 0 || std::fclose(out.release()) != 0) {
        *why = "cannot write " + outPath + " (disk full?)";
        return false;
    }
    std::uint8_t digest[32], md5Digest[16];
    crypto_generichash_final(&whole, digest, sizeof digest);
    md5.Final(md5Digest);
    if (std::memcmp(digest, f.blake2b, sizeof digest) != 0 || std::memcmp(md5Digest, f.md5, sizeof md5Digest) != 0) {
        *why = path + ": the rebuilt file does not match its digests";
        return false;
    }
    *md5Hex = HexText(md5Digest, sizeof md5Digest);
    return true;
}

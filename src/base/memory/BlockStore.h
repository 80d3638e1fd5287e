// A store of equal-sized blocks carved from large heap chunks. Freed blocks
// go onto a free list and are handed out again, last freed first; memory goes
// back to the heap only when the store is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/system/ZLock.h"

namespace Base {
namespace Memory {

class ZBlockStore {
public:
    ZBlockStore(std::uint32_t blockSize, std::uint32_t blocksPerChunk, bool threadSafe = true,
                std::uint32_t align = 4, const char* name = nullptr);
    virtual ~ZBlockStore();
    ZBlockStore(const ZBlockStore&) = delete;
    ZBlockStore& operator=(const ZBlockStore&) = delete;

    // One block; null only when the heap fails.
    void* Alloc();
    // A null pointer is ignored.
    void Free(void* p);

    std::uint32_t BlockSize() const { return m_nBlockSize; }
    std::uint32_t BlocksPerChunk() const { return m_nBlocksPerChunk; }
    std::size_t ChunkCount() const;
    const std::string& Name() const { return m_strName; }

private:
    bool Carve();

    void* m_pFreeList = nullptr;
    std::vector<void*> m_vecChunks;
    std::uint32_t m_nBlockSize;
    std::uint32_t m_nBlocksPerChunk;
    std::uint32_t m_nAlign;
    std::string m_strName;
    bool m_bThreadSafe;
    System::ZSemiAutoIntLock* m_pLock = nullptr;
};

}  // namespace Memory
}  // namespace Base

#include "BlockStore.h"

#include <cstdlib>
#include <cstring>

namespace Base {
namespace Memory {

namespace {

// Blocks are only 4-aligned, so the free-list link is copied, not dereferenced.
void* NextOf(void* block)
{
    void* next;
    std::memcpy(&next, block, sizeof next);
    return next;
}

void SetNext(void* block, void* next) { std::memcpy(block, &next, sizeof next); }

}  // namespace

ZBlockStore::ZBlockStore(std::uint32_t blockSize, std::uint32_t blocksPerChunk, bool threadSafe,
                         std::uint32_t align, const char* name)
    : m_nBlocksPerChunk(blocksPerChunk ? blocksPerChunk : 1),
      m_nAlign(align ? align : 1),
      m_strName(name && *name ? name : "mempool alloc"),
      m_bThreadSafe(threadSafe)
{
    // A free block must hold the link to the next one.
    if (blockSize < sizeof(void*)) blockSize = sizeof(void*);
    m_nBlockSize = (blockSize + m_nAlign - 1) & ~(m_nAlign - 1);
    if (m_bThreadSafe) m_pLock = new System::ZSemiAutoIntLock(0);
}

ZBlockStore::~ZBlockStore()
{
    for (void* chunk : m_vecChunks) std::free(chunk);
    delete m_pLock;
}

std::size_t ZBlockStore::ChunkCount() const
{
    if (m_pLock) m_pLock->Lock();
    const std::size_t n = m_vecChunks.size();
    if (m_pLock) m_pLock->Unlock();
    return n;
}

bool ZBlockStore::Carve()
{
    const std::size_t bytes = static_cast<std::size_t>(m_nBlocksPerChunk) * m_nBlockSize + 15;
    void* chunk = std::malloc(bytes);
    if (chunk == nullptr) return false;
    m_vecChunks.push_back(chunk);
    char* first = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(chunk) + 15) &
                                          ~static_cast<std::uintptr_t>(15));
    // Linked in address order so that a fresh chunk hands out ascending blocks.
    for (std::uint32_t i = 0; i + 1 < m_nBlocksPerChunk; ++i)
        SetNext(first + static_cast<std::size_t>(i) * m_nBlockSize,
                first + static_cast<std::size_t>(i + 1) * m_nBlockSize);
    SetNext(first + static_cast<std::size_t>(m_nBlocksPerChunk - 1) * m_nBlockSize, nullptr);
    m_pFreeList = first;
    return true;
}

void* ZBlockStore::Alloc()
{
    if (m_pLock) m_pLock->Lock();
    void* block = nullptr;
    if (m_pFreeList != nullptr || Carve()) {
        block = m_pFreeList;
        m_pFreeList = NextOf(block);
    }
    if (m_pLock) m_pLock->Unlock();
    return block;
}

void ZBlockStore::Free(void* p)
{
    if (p == nullptr) return;
    if (m_pLock) m_pLock->Lock();
    SetNext(p, m_pFreeList);
    m_pFreeList = p;
    if (m_pLock) m_pLock->Unlock();
}

}  // namespace Memory
}  // namespace Base

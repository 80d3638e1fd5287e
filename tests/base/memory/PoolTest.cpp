#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/memory/Allocator.h"
#include "base/memory/BlockStore.h"

using namespace Base::Memory;

namespace {
std::uintptr_t Addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
}  // namespace

TEST(PoolTest, AlignedBlocksLastFreedFirstSizeClassesHeaderByteAndTheTwoPools)
{
    ZBlockStore store(10, 3, true, 4, "test store");
    EXPECT_EQ(store.BlockSize(), 12u);  // rounded up to the alignment
    std::vector<char*> blocks;
    for (int i = 0; i < 7; ++i) {
        blocks.push_back(static_cast<char*>(store.Alloc()));
        EXPECT_EQ(Addr(blocks.back()) % (i % 3 ? 4 : 16), 0u) << i;  // chunks start on 16
        std::memset(blocks.back(), i, 12);
    }
    for (int i = 0; i < 7; ++i) EXPECT_EQ(blocks[i][11], static_cast<char>(i));
    EXPECT_EQ(Addr(blocks[1]), Addr(blocks[0]) + 12);
    EXPECT_EQ(store.ChunkCount(), 3u);
    store.Free(blocks[0]);
    store.Free(blocks[2]);
    store.Free(nullptr);
    EXPECT_EQ(store.Alloc(), blocks[2]);
    EXPECT_EQ(store.Alloc(), blocks[0]);
    EXPECT_EQ(store.ChunkCount(), 3u);

    // The allocators: size classes, the header byte, the two pools.
    MsgBodyAllocator& pool = *MsgBodyPool();
    const std::pair<std::size_t, unsigned> cases[] = {{0, 0},     {1, 0},     {2, 1},     {3, 2},   {5, 3},
                                                      {1024, 10}, {1025, 11}, {2048, 11}, {2049, ALLOC_HEAP_CLASS}};
    for (const auto& c : cases) {
        char* p = static_cast<char*>(pool.Alloc(c.first));
        EXPECT_EQ(MsgBodyAllocator::HeaderOf(p), c.second) << c.first;
        std::memset(p, 1, c.first);
        pool.Free(p);
    }
    void* p = IOBuffPool()->Alloc(131072);  // the pool's classes are built with it
    EXPECT_EQ(MsgBodyAllocator::ClassCount(), 12u);
    EXPECT_EQ(IOBuffAllocator::ClassCount(), 18u);
    EXPECT_EQ(IOBuffAllocator::Store(17)->BlockSize(), 131076u);
    void* q = IOBuffPool()->Alloc(131073);
    EXPECT_EQ(IOBuffAllocator::HeaderOf(p), 17u);
    EXPECT_EQ(IOBuffAllocator::HeaderOf(q), ALLOC_HEAP_CLASS);
    IOBuffPool()->Free(p);
    IOBuffPool()->Free(q);

    // Freed blocks come back before a third chunk: in a private instantiation,
    // so that other tests' blocks do not interfere.
    typedef TAllocator<int, 64, 100, 1, 4> Pool;
    Pool own;
    std::vector<void*> pooled;
    for (int i = 0; i < 101; ++i) pooled.push_back(own.Alloc(64));
    EXPECT_EQ(Pool::Store(6)->ChunkCount(), 2u);
    own.Free(pooled[5]);
    own.Free(pooled[7]);
    EXPECT_EQ(own.Alloc(33), pooled[7]);
    EXPECT_EQ(own.Alloc(64), pooled[5]);
    EXPECT_EQ(Pool::Store(6)->ChunkCount(), 2u);
}

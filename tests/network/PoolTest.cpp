#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "base/memory/Allocator.h"
#include "base/memory/BlockStore.h"

using namespace Base::Memory;

namespace {
std::uintptr_t Addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
}  // namespace

TEST(BlockStoreTest, FreshChunkIsAlignedAndHandsOutAscendingBlocks)
{
    ZBlockStore store(10, 4, true, 4, "test store");
    EXPECT_EQ(store.BlockSize(), 12u);  // rounded up to the alignment
    EXPECT_EQ(store.Name(), "test store");
    void* a = store.Alloc();
    void* b = store.Alloc();
    EXPECT_EQ(Addr(a) % 16, 0u);
    EXPECT_EQ(Addr(b), Addr(a) + 12);
    EXPECT_EQ(store.ChunkCount(), 1u);
}

TEST(BlockStoreTest, LastFreedIsReusedFirstBeforeAnyNewChunk)
{
    ZBlockStore store(32, 3);
    EXPECT_EQ(store.Name(), "mempool alloc");
    void* a = store.Alloc();
    void* b = store.Alloc();
    void* c = store.Alloc();
    store.Free(a);
    store.Free(c);
    store.Free(nullptr);  // ignored
    EXPECT_EQ(store.Alloc(), c);
    EXPECT_EQ(store.Alloc(), a);
    EXPECT_EQ(store.ChunkCount(), 1u);
    void* d = store.Alloc();  // the chunk is used up: a second one is carved
    EXPECT_EQ(store.ChunkCount(), 2u);
    EXPECT_NE(d, b);
    EXPECT_EQ(Addr(d) % 16, 0u);
}

TEST(BlockStoreTest, BlocksDoNotOverlapAcrossChunks)
{
    ZBlockStore store(24, 5);
    std::vector<char*> blocks;
    for (int i = 0; i < 23; ++i) {
        blocks.push_back(static_cast<char*>(store.Alloc()));
        std::memset(blocks.back(), i, 24);
    }
    for (int i = 0; i < 23; ++i)
        for (int j = 0; j < 24; ++j) ASSERT_EQ(blocks[i][j], static_cast<char>(i));
    EXPECT_EQ(store.ChunkCount(), 5u);
}

TEST(AllocatorTest, SizeClassesAndHeaderByte)
{
    MsgBodyAllocator& pool = *MsgBodyPool();
    struct Case {
        std::size_t n;
        unsigned k;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {1024, 10}, {1025, 11}, {2048, 11}};
    for (const Case& c : cases) {
        void* p = pool.Alloc(c.n);
        EXPECT_EQ(MsgBodyAllocator::HeaderOf(p), c.k) << c.n;
        pool.Free(p);
    }
    char* big = static_cast<char*>(pool.Alloc(2049));
    EXPECT_EQ(MsgBodyAllocator::HeaderOf(big), ALLOC_HEAP_CLASS);
    std::memset(big, 1, 2049);
    pool.Free(big);
    EXPECT_EQ(IOBuffAllocator::ClassOfSize(8192), 13u);
}

TEST(AllocatorTest, ClassTablesOfTheTwoPools)
{
    ASSERT_NE(MsgBodyPool(), nullptr);
    ASSERT_NE(IOBuffPool(), nullptr);
    EXPECT_EQ(MsgBodyAllocator::ClassCount(), 12u);
    EXPECT_EQ(IOBuffAllocator::ClassCount(), 18u);
    EXPECT_EQ(MsgBodyAllocator::Store(11)->BlockSize(), 2052u);
    EXPECT_EQ(IOBuffAllocator::Store(17)->BlockSize(), 131076u);
    EXPECT_EQ(IOBuffAllocator::Store(0)->BlocksPerChunk(), 100u);
    EXPECT_EQ(MsgBodyAllocator::Store(0)->Name(), "TAllocator maxsize:2048 per:20");
    EXPECT_EQ(IOBuffAllocator::Store(3)->Name(), "TAllocator maxsize:102400 per:100");

    void* p = IOBuffPool()->Alloc(131072);
    EXPECT_EQ(IOBuffAllocator::HeaderOf(p), 17u);
    void* q = IOBuffPool()->Alloc(131073);
    EXPECT_EQ(IOBuffAllocator::HeaderOf(q), ALLOC_HEAP_CLASS);
    IOBuffPool()->Free(p);
    IOBuffPool()->Free(q);
}

TEST(AllocatorTest, TheHundredAndFirstBlockOfAClassTakesASecondChunk)
{
    // A private instantiation, so that other tests' blocks do not interfere.
    typedef TAllocator<int, 64, 100, 1, 4> Pool;
    Pool pool;
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(pool.Alloc(64));
    EXPECT_EQ(Pool::Store(6)->ChunkCount(), 1u);
    blocks.push_back(pool.Alloc(64));
    EXPECT_EQ(Pool::Store(6)->ChunkCount(), 2u);
    // Freed blocks come back before a third chunk is carved.
    pool.Free(blocks[5]);
    pool.Free(blocks[7]);
    EXPECT_EQ(pool.Alloc(33), blocks[7]);
    EXPECT_EQ(pool.Alloc(64), blocks[5]);
    EXPECT_EQ(Pool::Store(6)->ChunkCount(), 2u);
}


// A process-wide block store per record type, created on first use and named
// after the type. Used for queue nodes, queue links and the 8195-byte I/O
// buffers, which are allocated and freed far too often for the heap.
#pragma once

#include <typeinfo>

#include "BlockStore.h"

namespace Base {
namespace Memory {

template <class T, unsigned PerChunk>
class TTypeStore {
public:
    static void* Alloc() { return Store()->Alloc(); }
    static void Free(void* p)
    {
        if (p != nullptr) Store()->Free(p);
    }

    static ZBlockStore* Store()
    {
        static ZBlockStore* s_pStore = new ZBlockStore(sizeof(T), PerChunk, true, 4, typeid(T).name());
        return s_pStore;
    }
};

}  // namespace Memory
}  // namespace Base

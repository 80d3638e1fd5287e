// A process-wide block store per record type, created on first use and named
// after the type. Used for queue nodes, queue links and the 8195-byte I/O
// buffers, which are allocated and freed far too often for the heap.
#pragma once

#include <typeinfo>

#include "BlockStore.h"
#include "base/system/ZLock.h"

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
        if (s_pStore == nullptr) {
            System::ZLocker guard(s_lock);
            if (s_pStore == nullptr) s_pStore = new ZBlockStore(sizeof(T), PerChunk, true, 4, typeid(T).name());
        }
        return s_pStore;
    }

private:
    static ZBlockStore* volatile s_pStore;
    static System::ZSemiAutoIntLock s_lock;
};

template <class T, unsigned P>
ZBlockStore* volatile TTypeStore<T, P>::s_pStore = nullptr;
template <class T, unsigned P>
System::ZSemiAutoIntLock TTypeStore<T, P>::s_lock;

}  // namespace Memory
}  // namespace Base

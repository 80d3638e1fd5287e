// Size-class allocator over block stores: a request of n bytes is served
// from the store of the next power of two, larger ones from the heap. Every
// allocation carries a 4-byte header whose first byte names its class
// (255 for the heap).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "BlockStore.h"
#include "base/system/TSingleton.h"
#include "base/system/ZLock.h"

namespace Base {
namespace Memory {

enum : std::uint8_t { ALLOC_HEAP_CLASS = 255 };

template <class T, unsigned MaxSize, unsigned PerChunk, unsigned ThreadSafe, unsigned Align>
class TAllocator {
public:
    TAllocator()
    {
        System::ZLocker guard(s_lock);
        if (s_nRefs++ == 0) Build();
    }

    virtual ~TAllocator()
    {
        System::ZLocker guard(s_lock);
        if (--s_nRefs == 0) Teardown();
    }

    TAllocator(const TAllocator&) = delete;
    TAllocator& operator=(const TAllocator&) = delete;

    void* Alloc(std::size_t n)
    {
        const unsigned k = ClassOfSize(n);
        if (k >= s_nClasses) {
            if (n > SIZE_MAX - 4) return nullptr;
            auto* raw = static_cast<std::uint8_t*>(std::malloc(n + 4));
            if (raw == nullptr) return nullptr;
            raw[0] = ALLOC_HEAP_CLASS;
            return raw + 4;
        }
        auto* raw = static_cast<std::uint8_t*>(s_ppStores[k]->Alloc());
        if (raw == nullptr) return nullptr;
        raw[0] = static_cast<std::uint8_t>(k);
        return raw + 4;
    }

    void Free(void* p)
    {
        if (p == nullptr) return;
        std::uint8_t* raw = static_cast<std::uint8_t*>(p) - 4;
        if (raw[0] == ALLOC_HEAP_CLASS)
            std::free(raw);
        else
            s_ppStores[raw[0]]->Free(raw);
    }

    // The class index k with 2^k >= n (0 for n of 0 or 1).
    static unsigned ClassOfSize(std::size_t n)
    {
        unsigned k = 0;
        while (k < 63 && (std::size_t(1) << k) < n) ++k;
        return k;
    }

    // The header byte of a pointer handed out by Alloc.
    static std::uint8_t HeaderOf(const void* p) { return static_cast<const std::uint8_t*>(p)[-4]; }

    static unsigned ClassCount() { return s_nClasses; }
    static ZBlockStore* Store(unsigned k) { return k < s_nClasses ? s_ppStores[k] : nullptr; }

private:
    static void Build()
    {
        // Payloads 1, 2, 4, ... up to the first one that is past MaxSize by a
        // factor of two or more.
        unsigned count = 0;
        for (std::uint64_t p = 1; !(p > MaxSize && p / MaxSize >= 2); p <<= 1) ++count;
        char name[128];
        std::snprintf(name, sizeof name, "TAllocator maxsize:%u per:%u", MaxSize, PerChunk);
        s_ppStores = new ZBlockStore*[count];
        for (unsigned k = 0; k < count; ++k)
            s_ppStores[k] = new ZBlockStore((1u << k) + 4, PerChunk, ThreadSafe != 0, Align, name);
        s_nClasses = count;
    }

    static void Teardown()
    {
        for (unsigned k = 0; k < s_nClasses; ++k) delete s_ppStores[k];
        delete[] s_ppStores;
        s_ppStores = nullptr;
        s_nClasses = 0;
    }

    static System::ZSemiAutoIntLock s_lock;
    static unsigned s_nRefs;
    static unsigned s_nClasses;
    static ZBlockStore** s_ppStores;
};

template <class T, unsigned M, unsigned P, unsigned S, unsigned A>
System::ZSemiAutoIntLock TAllocator<T, M, P, S, A>::s_lock;
template <class T, unsigned M, unsigned P, unsigned S, unsigned A>
unsigned TAllocator<T, M, P, S, A>::s_nRefs = 0;
template <class T, unsigned M, unsigned P, unsigned S, unsigned A>
unsigned TAllocator<T, M, P, S, A>::s_nClasses = 0;
template <class T, unsigned M, unsigned P, unsigned S, unsigned A>
ZBlockStore** TAllocator<T, M, P, S, A>::s_ppStores = nullptr;

// The two pools of the network library: session I/O buffers and message bodies.
typedef TAllocator<char, 102400, 100, 1, 4> IOBuffAllocator;
typedef TAllocator<char, 2048, 20, 1, 4> MsgBodyAllocator;

inline IOBuffAllocator* IOBuffPool() { return Utility::TSingleton<IOBuffAllocator>::Instance(); }
inline MsgBodyAllocator* MsgBodyPool() { return Utility::TSingleton<MsgBodyAllocator>::Instance(); }

}  // namespace Memory
}  // namespace Base

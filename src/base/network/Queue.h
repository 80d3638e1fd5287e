// A FIFO whose links come from a per-type block store. Not locked: the
// owner guards it.
#pragma once

#include <cstdint>
#include <new>

#include "base/memory/TypeStore.h"

namespace Base {
namespace NetWork {

template <class T>
class TQueue {
public:
    struct tagLink {
        T value;
        tagLink* next;
        tagLink* prev;
    };
    typedef Memory::TTypeStore<tagLink, 500> LinkStore;

    TQueue() = default;
    virtual ~TQueue()
    {
        while (!Empty()) Pop();
    }
    TQueue(const TQueue&) = delete;
    TQueue& operator=(const TQueue&) = delete;

    bool Push(const T& value)
    {
        void* raw = LinkStore::Alloc();
        if (raw == nullptr) return false;
        tagLink* link = new (raw) tagLink{value, nullptr, m_pTail};
        if (m_pTail)
            m_pTail->next = link;
        else
            m_pHead = link;
        m_pTail = link;
        ++m_nCount;
        return true;
    }

    // Removes the head; false when the queue is empty.
    bool Pop()
    {
        tagLink* link = m_pHead;
        if (link == nullptr) return false;
        m_pHead = link->next;
        if (m_pHead)
            m_pHead->prev = nullptr;
        else
            m_pTail = nullptr;
        --m_nCount;
        link->~tagLink();
        LinkStore::Free(link);
        return true;
    }

    // The head and tail values; T() when empty.
    T Front() const { return m_pHead ? m_pHead->value : T(); }
    T Back() const { return m_pTail ? m_pTail->value : T(); }
    std::uint32_t Count() const { return m_nCount; }
    bool Empty() const { return m_nCount == 0; }

private:
    tagLink* m_pHead = nullptr;
    tagLink* m_pTail = nullptr;
    std::uint32_t m_nCount = 0;
};

}  // namespace NetWork
}  // namespace Base

#include "OverlappedBuff.h"

#include <cstring>
#include <utility>

#include "base/memory/TypeStore.h"

namespace Base {
namespace NetWork {

namespace {
typedef Memory::TTypeStore<tagNormalBuff, 256> NormalBuffStore;
}

COverlappedBuff::COverlappedBuff(std::uint32_t capacity) : m_nCapacity(capacity)
{
    std::memset(&m_link, 0, sizeof m_link);
    m_link.owner = this;
    if (capacity == sizeof(tagNormalBuff))
        m_pStorage = static_cast<char*>(NormalBuffStore::Alloc());
    else
        m_pStorage = static_cast<char*>(m_pool.Instance()->Alloc(capacity));
    // Without storage the buffer behaves as one of no room.
    if (m_pStorage == nullptr) m_nCapacity = 0;
    m_wsaBuf.len = 0;
    m_wsaBuf.buf = m_pStorage;
}

COverlappedBuff::~COverlappedBuff()
{
    if (m_pStorage == nullptr) return;
    if (m_nCapacity == sizeof(tagNormalBuff))
        NormalBuffStore::Free(m_pStorage);
    else
        m_pool.Instance()->Free(m_pStorage);
}

std::uint32_t COverlappedBuff::Append(const char* src, std::uint32_t n)
{
    if (src == nullptr || n == 0) return 0;
    const std::uint32_t room = m_nCapacity - m_wsaBuf.len;
    const std::uint32_t take = n < room ? n : room;
    if (take == 0) return 0;
    if (m_wsaBuf.buf != m_pStorage) {
        std::memmove(m_pStorage, m_wsaBuf.buf, m_wsaBuf.len);
        m_wsaBuf.buf = m_pStorage;
    }
    std::memcpy(m_pStorage + m_wsaBuf.len, src, take);
    m_wsaBuf.len += take;
    return take;
}

bool COverlappedBuff::Consume(std::uint32_t n)
{
    if (n == 0 || n > m_wsaBuf.len) return false;
    if (n == m_wsaBuf.len) {
        Clear();
        return true;
    }
    m_wsaBuf.buf += n;
    m_wsaBuf.len -= n;
    return true;
}

void COverlappedBuff::Clear()
{
    m_wsaBuf.buf = m_pStorage;
    m_wsaBuf.len = 0;
}

void COverlappedBuff::OfferAll()
{
    m_wsaBuf.buf = m_pStorage;
    m_wsaBuf.len = m_nCapacity;
}

bool COverlappedBuff::Swap(COverlappedBuff& other)
{
    if (other.m_nCapacity != m_nCapacity || &other == this) return false;
    std::swap(m_pStorage, other.m_pStorage);
    std::swap(m_nBytes, other.m_nBytes);
    std::swap(m_wsaBuf, other.m_wsaBuf);
    return true;
}

void COverlappedBuff::ResetOverlapped() { std::memset(&m_link.overlapped, 0, sizeof m_link.overlapped); }

COverlappedBuff* COverlappedBuff::FromOverlapped(OVERLAPPED* p)
{
    return p ? CONTAINING_RECORD(p, SOverlappedLink, overlapped)->owner : nullptr;
}

}  // namespace NetWork
}  // namespace Base

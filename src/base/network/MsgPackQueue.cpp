#include "MsgPackQueue.h"

#include <cstring>

#include "base/memory/TypeStore.h"

namespace Base {
namespace NetWork {

namespace {

typedef Memory::TTypeStore<tagMsgPackNode, 500> NodeStore;

std::uint32_t HeaderLengthOf(const tagMsgPackNode* node)
{
    return node->filled >= 4 ? ReadLe32(node->body) : 0;
}

std::uint16_t IdOf(const tagMsgPackNode* node) { return node->filled >= 6 ? ReadLe16(node->body + 4) : 0; }

}  // namespace

std::uint32_t ReadLe32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

std::uint16_t ReadLe16(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

void WriteLe32(char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

void WriteLe16(char* p, std::uint16_t v)
{
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
}

CMsgPackQueue::~CMsgPackQueue() { Clear(); }

bool CMsgPackQueue::AddMessage(const char* bytes, std::uint32_t available)
{
    if (bytes == nullptr) return false;
    const std::uint32_t length = ReadLe32(bytes);
    // A message is never shorter than its own header.
    if (length < MSG_HEADER_SIZE || length > MSG_MAX_LENGTH) return false;
    if (available != 0 && available < MSG_HEADER_SIZE) return false;
    if (available > length) return false;
    if (available == 0) available = length;

    void* raw = NodeStore::Alloc();
    if (raw == nullptr) return false;
    auto* node = static_cast<tagMsgPackNode*>(raw);
    std::memset(node, 0, sizeof *node);
    node->body = static_cast<char*>(m_pool.Instance()->Alloc(length + 1));
    if (node->body == nullptr) {
        NodeStore::Free(node);
        return false;
    }
    node->length = length;
    node->body[length] = 0;
    node->filled = available;
    std::memcpy(node->body, bytes, available);

    System::ZLocker guard(m_lock);
    if (!m_nodes.Push(node)) {
        m_pool.Instance()->Free(node->body);
        NodeStore::Free(node);
        return false;
    }
    m_nBytes += length;
    if (length > available) m_bIncompleteTail = 1;
    return true;
}

int CMsgPackQueue::PushData(const char* data, std::uint32_t& consumed, std::uint32_t& remaining, std::uint16_t& id,
                            std::uint32_t& headerLength, std::uint32_t& copied, std::uint8_t& tailFlag)
{
    if (data == nullptr) return PUSH_NULL_DATA;
    const std::uint32_t n = consumed;
    if (n == 0) return PUSH_NO_DATA;
    id = 0;
    headerLength = 0;
    copied = 0;
    remaining = 0;
    tailFlag = m_bIncompleteTail;

    const char* p = data;
    std::uint32_t left = n;

    if (m_bIncompleteTail) {
        tagMsgPackNode* node = Back();
        if (node == nullptr || node->length <= node->filled) {
            remaining = left;
            m_bIncompleteTail = 0;
            consumed -= left;
            return node == nullptr ? PUSH_TAIL_MISSING : PUSH_TAIL_FULL;
        }
        id = IdOf(node);
        headerLength = HeaderLengthOf(node);
        copied = node->filled;
        const std::uint32_t take = node->length - node->filled < left ? node->length - node->filled : left;
        std::memcpy(node->body + node->filled, p, take);
        node->filled += take;
        p += take;
        left -= take;
        copied += take;
        if (node->filled == node->length) m_bIncompleteTail = 0;
    }

    while (left >= MSG_HEADER_SIZE) {
        const std::uint32_t length = ReadLe32(p);
        id = ReadLe16(p + 4);
        headerLength = length;
        copied = 0;
        if (length > MSG_MAX_LENGTH || length == 0) {
            remaining = left;
            consumed -= left;
            return length == 0 ? PUSH_ZERO_LENGTH : PUSH_TOO_LONG;
        }
        const std::uint32_t take = length < left ? length : left;
        if (!AddMessage(p, take)) return PUSH_REJECTED;
        copied = take;
        p += take;
        left -= take;
    }

    remaining = left;
    consumed -= left;
    return PUSH_OK;
}

bool CMsgPackQueue::Consume(std::uint32_t n)
{
    tagMsgPackNode* node = Front();
    if (node == nullptr) return false;
    if (n > 0 && node->readPos + n != node->length) {
        if (node->readPos + n > node->length) return false;
        node->readPos += n;
        return true;
    }
    {
        System::ZLocker guard(m_lock);
        m_nodes.Pop();
        m_nBytes -= node->length;
        m_nLastId = IdOf(node);
        m_nLastLength = node->length;
        m_nLastFilled = node->filled;
        m_nLastHeaderLength = HeaderLengthOf(node);
    }
    m_pool.Instance()->Free(node->body);
    NodeStore::Free(node);
    return true;
}

void CMsgPackQueue::Clear()
{
    System::ZLocker guard(m_lock);
    while (Consume(0)) {
    }
}

tagMsgPackNode* CMsgPackQueue::Front()
{
    System::ZLocker guard(m_lock);
    return m_nodes.Front();
}

tagMsgPackNode* CMsgPackQueue::Back()
{
    System::ZLocker guard(m_lock);
    return m_nodes.Back();
}

std::uint32_t CMsgPackQueue::Count()
{
    System::ZLocker guard(m_lock);
    return m_nodes.Count();
}

std::uint64_t CMsgPackQueue::Bytes()
{
    System::ZLocker guard(m_lock);
    return m_nBytes;
}

}  // namespace NetWork
}  // namespace Base

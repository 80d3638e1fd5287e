#include "PackMsgBase.h"

#include "base/memory/Allocator.h"

namespace Base {
namespace Utility {

CPackMsgBase::CPackMsgBase(std::uint16_t id, std::uint8_t sendClass, std::uint32_t bodyCapacity)
{
    std::uint32_t capacity = bodyCapacity > MAX_MESSAGE - HEADER_SIZE ? MAX_MESSAGE : bodyCapacity + HEADER_SIZE;
    m_pMsg = static_cast<char*>(Memory::MsgBodyPool()->Alloc(capacity));
    if (m_pMsg == nullptr) capacity = 0;
    m_pBuffer = m_pMsg;
    m_nMaxByte = capacity;
    WriteHeader(id, sendClass);
}

CPackMsgBase::CPackMsgBase(char* buffer, std::uint32_t capacity, std::uint16_t id, std::uint8_t sendClass)
    : CSerializer(buffer, capacity > MAX_MESSAGE ? MAX_MESSAGE : capacity), m_pMsg(buffer), m_bBorrowed(1)
{
    WriteHeader(id, sendClass);
}

CPackMsgBase::~CPackMsgBase()
{
    if (!m_bBorrowed && m_pMsg) Memory::MsgBodyPool()->Free(m_pMsg);
}

void CPackMsgBase::WriteHeader(std::uint16_t id, std::uint8_t sendClass)
{
    // The length word starts at 0 and grows with each write, itself included.
    const unsigned char zero[4] = {0, 0, 0, 0};
    const unsigned char idBytes[2] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8)};
    if (!WirteData(zero, 4) || !WirteData(idBytes, 2) || !WirteData(&sendClass, 1)) return;
}

bool CPackMsgBase::WirteData(const void* src, std::uint32_t len)
{
    if (m_pMsg == nullptr) {
        Fail("WirteData no message buffer");
        return false;
    }
    if (!CSerializer::WirteData(src, len)) return false;
    auto* b = reinterpret_cast<unsigned char*>(m_pMsg);
    std::uint32_t length = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                           std::uint32_t(b[3]) << 24;
    length += len;
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(length >> (8 * i));
    return true;
}

}  // namespace Utility
}  // namespace Base

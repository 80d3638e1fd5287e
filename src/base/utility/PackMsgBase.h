// Builds one wire message: the 7-byte header (length, identifier, send
// class) is written first, then the body; every write adds its size to the
// length field, so the message is complete after each successful write.
#pragma once

#include <cstdint>

#include "Serializer.h"

namespace Base {
namespace Utility {

class CPackMsgBase : public CSerializer {
public:
    enum : std::uint32_t { HEADER_SIZE = 7, MAX_MESSAGE = 0x100000, DEFAULT_BODY = 2048 - HEADER_SIZE };

    // A message buffer of header + bodyCapacity bytes from the message-body
    // pool (never more than the largest message).
    CPackMsgBase(std::uint16_t id, std::uint8_t sendClass, std::uint32_t bodyCapacity = DEFAULT_BODY);
    // Writes into the caller's buffer of `capacity` bytes.
    CPackMsgBase(char* buffer, std::uint32_t capacity, std::uint16_t id, std::uint8_t sendClass);
    ~CPackMsgBase() override;

    bool WirteData(const void* src, std::uint32_t len) override;

    const char* GetMsg() const { return m_pMsg; }
    std::uint32_t GetMsgLength() const { return m_nCurByte; }

private:
    void WriteHeader(std::uint16_t id, std::uint8_t sendClass);

    char* m_pMsg = nullptr;
    std::uint8_t m_bBorrowed = 0;
};

}  // namespace Utility
}  // namespace Base

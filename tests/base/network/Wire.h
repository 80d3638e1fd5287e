// Wire messages for the framing tests: header (u32 length, u16 id, u8 send
// class, little-endian) and body.
#pragma once

#include <cstdint>
#include <string>

#include "base/network/MsgPackQueue.h"

inline std::string WireHeader(std::uint32_t length, std::uint16_t id, std::uint8_t sendClass = 0)
{
    std::string h(7, static_cast<char>(sendClass));
    Base::NetWork::WriteLe32(&h[0], length);
    Base::NetWork::WriteLe16(&h[4], id);
    return h;
}

inline std::string WireMessage(std::uint16_t id, const std::string& body, std::uint8_t sendClass = 0)
{
    return WireHeader(static_cast<std::uint32_t>(7 + body.size()), id, sendClass) + body;
}

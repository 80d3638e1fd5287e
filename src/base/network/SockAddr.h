// One IPv4 socket address in wire layout (family, port, address, zero).
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>

namespace Base {
namespace NetWork {

class CSockAddr {
public:
    explicit CSockAddr(std::uint16_t port = 0);
    virtual ~CSockAddr() {}

    void Reset();
    void SetPort(std::uint16_t port) { m_addr.sin_port = htons(port); }
    std::uint16_t GetPort() const { return ntohs(m_addr.sin_port); }
    // -1 for an empty host, the lookup's Winsock error when a name cannot be
    // resolved, 0 on success. The port is left alone.
    int SetAddress(const std::string& host);
    std::uint32_t GetAddress() const { return m_addr.sin_addr.s_addr; }
    std::string ToString() const;

    int Length() const { return static_cast<int>(sizeof m_addr); }
    sockaddr* Get() { return reinterpret_cast<sockaddr*>(&m_addr); }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&m_addr); }

private:
    sockaddr_in m_addr;
};

}  // namespace NetWork
}  // namespace Base

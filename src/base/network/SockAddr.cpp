#include "SockAddr.h"

#include <cstring>

namespace Base {
namespace NetWork {

CSockAddr::CSockAddr(std::uint16_t port)
{
    Reset();
    SetPort(port);
}

void CSockAddr::Reset()
{
    std::memset(&m_addr, 0, sizeof m_addr);
    m_addr.sin_family = AF_INET;
}

int CSockAddr::SetAddress(const std::string& host)
{
    if (host.empty()) return -1;
    // A dotted address needs no lookup.
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted != INADDR_NONE || host == "255.255.255.255") {
        m_addr.sin_addr.s_addr = dotted;
        return 0;
    }
    const hostent* entry = gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        const int error = WSAGetLastError();
        return error != 0 ? error : WSAHOST_NOT_FOUND;
    }
    std::memcpy(&m_addr.sin_addr, entry->h_addr_list[0], sizeof m_addr.sin_addr);
    return 0;
}

std::string CSockAddr::ToString() const
{
    const auto* b = reinterpret_cast<const unsigned char*>(&m_addr.sin_addr);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]) + ":" + std::to_string(GetPort());
}

}  // namespace NetWork
}  // namespace Base

#include "Socket.h"

namespace Base {
namespace NetWork {

CSocket::~CSocket()
{
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
}

void CSocket::Close()
{
    if (m_socket == INVALID_SOCKET) return;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    OnClose();
}

void CSocket::Attach(SOCKET s)
{
    m_socket = s;
    m_addr.Reset();
    int len = m_addr.Length();
    getpeername(s, m_addr.Get(), &len);
}

SOCKET CSocket::Detach()
{
    return m_socket.exchange(INVALID_SOCKET);
}

bool CSocket::Bind(const std::string& host, std::uint16_t port)
{
    if (!host.empty()) {
        const int result = m_addr.SetAddress(host);
        if (result != 0) {
            OnError(result, ("CSocket::Bind -- SetAddress failed IP:" + host).c_str());
            Close();
            return false;
        }
    }
    m_addr.SetPort(port);
    Create();
    if (bind(m_socket, m_addr.Get(), m_addr.Length()) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        m_addr.Reset();
        OnError(error, ("CSocket::Bind -- ::bind port " + std::to_string(port) +
                        " function return SOCKET_ERROR").c_str());
        return false;
    }
    // With port 0 the system picks one; keep what was really bound.
    int len = m_addr.Length();
    getsockname(m_socket, m_addr.Get(), &len);
    return true;
}

bool CSocket::SetNonblocking(bool on)
{
    Create();
    u_long value = on ? 1 : 0;
    if (ioctlsocket(m_socket, FIONBIO, &value) == SOCKET_ERROR) {
        OnError(WSAGetLastError(), "SetNonblocking failed!");
        return false;
    }
    return true;
}

bool CSocket::SetNoDelay(bool on)
{
    Create();
    const int value = on ? 1 : 0;
    if (setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value), sizeof value) ==
        SOCKET_ERROR) {
        OnError(WSAGetLastError(), "SetNoDelay failed!");
        return false;
    }
    return true;
}

bool CSocket::SetLinger(int on, int milliseconds)
{
    Create();
    linger value;
    value.l_onoff = on > 0 ? 1 : 0;
    value.l_linger = static_cast<u_short>(milliseconds / 1000);
    if (setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof value) ==
        SOCKET_ERROR) {
        OnError(WSAGetLastError(), "SetLinger failed!");
        return false;
    }
    return true;
}

bool CSocket::SetSendBuffSize(int bytes)
{
    Create();
    if (setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) ==
        SOCKET_ERROR) {
        OnError(WSAGetLastError(), "SetSendBuffSize failed!");
        return false;
    }
    return true;
}

bool CSocket::SetRecvBuffSize(int bytes)
{
    Create();
    if (setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) ==
        SOCKET_ERROR) {
        OnError(WSAGetLastError(), "SetRecvBuffSize failed!");
        return false;
    }
    return true;
}

}  // namespace NetWork
}  // namespace Base

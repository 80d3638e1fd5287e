#include "TcpSocket.h"

#include "base/system/Winsock.h"

namespace Base {
namespace NetWork {

bool CTcpSocket::Create()
{
    if (m_socket != INVALID_SOCKET) return false;
    // Links in the object that starts Winsock before main.
    (void)System::IsWinsockStarted();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        OnError(WSAGetLastError(), "CTcpSocket::Create -- socket created failed!");
        return false;
    }
    m_socket = s;
    return true;
}

void CTcpSocket::Close()
{
    m_peer.Reset();
    m_nState = TCP_STATE_IDLE;
    CSocket::Close();
}

SOCKET CTcpSocket::Detach()
{
    m_peer.Reset();
    return CSocket::Detach();
}

void CTcpSocket::Attach(SOCKET s, std::uint32_t state)
{
    CSocket::Attach(s);
    m_nState = state;
    if (state == TCP_STATE_CONNECTED) {
        int len = m_peer.Length();
        getpeername(s, m_peer.Get(), &len);
    }
}

bool CTcpSocket::Listen(int backlog)
{
    Create();
    if (listen(m_socket, backlog) == SOCKET_ERROR) {
        OnError(WSAGetLastError(), "CTcpSocket::Listen -- ::listen function return SOCKET_ERROR");
        Close();
        return false;
    }
    return true;
}

bool CTcpSocket::Accept(CTcpSocket& out)
{
    int len = out.m_peer.Length();
    const SOCKET s = accept(m_socket, out.m_peer.Get(), &len);
    if (s == INVALID_SOCKET) return false;
    out.Attach(s, TCP_STATE_CONNECTED);
    OnAccept();
    return true;
}

bool CTcpSocket::Accept(SOCKET& out)
{
    const SOCKET s = accept(m_socket, nullptr, nullptr);
    if (s == INVALID_SOCKET) return false;
    out = s;
    OnAccept();
    return true;
}

bool CTcpSocket::Connect(std::string host, std::uint16_t port)
{
    const int result = m_peer.SetAddress(host);
    if (result != 0) {
        OnError(result, ("CTcpSocket::Connect -- SetAddress failed IP:" + host).c_str());
        Close();
        return false;
    }
    m_peer.SetPort(port);
    Create();
    if (connect(m_socket, m_peer.Get(), m_peer.Length()) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            m_nState = TCP_STATE_CONNECTING;
            return true;
        }
        m_peer.Reset();
        OnError(error, "CTcpSocket::Connect -- ::connect function return SOCKET_ERROR");
        Close();
        return false;
    }
    m_nState = TCP_STATE_CONNECTED;
    int len = m_addr.Length();
    getsockname(m_socket, m_addr.Get(), &len);
    OnConnect();
    return true;
}

void CTcpSocket::CheckConnecting()
{
    if (m_nState != TCP_STATE_CONNECTING) return;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(m_socket, &writable);
    timeval timeout = {5, 0};
    const int result = select(0, nullptr, &writable, nullptr, &timeout);
    if (result > 0) {
        int error = -1;
        int len = sizeof error;
        getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
        if (error == 0) {
            m_nState = TCP_STATE_CONNECTED;
            OnConnect();
        }
    } else if (result == 0) {
        OnError(WSAGetLastError(), "CTcpSocket::CheckConnecting() -- ::timeout");
        Close();
    } else {
        OnError(WSAGetLastError(), "CTcpSocket::CheckConnecting() -- ::select function return SOCKET_ERROR");
        Close();
    }
}

}  // namespace NetWork
}  // namespace Base

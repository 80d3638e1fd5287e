// A TCP socket with its connection state: connect, listen and accept.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Socket.h"

namespace Base {
namespace NetWork {

enum : std::uint32_t {
    TCP_STATE_IDLE = 0,
    TCP_STATE_CONNECTING = 1,
    TCP_STATE_CONNECTED = 2,
};

class CTcpSocket : public CSocket {
public:
    CTcpSocket() = default;
    ~CTcpSocket() override = default;

    // Opens a stream socket; false when one is already held or on failure.
    bool Create() override;
    void Close() override;
    SOCKET Detach() override;
    using CSocket::Attach;
    virtual void Attach(SOCKET s, std::uint32_t state);
    virtual bool Listen(int backlog);
    virtual bool Accept(CTcpSocket& out);
    virtual bool Accept(SOCKET& out);
    // On a blocking socket, connects and returns the outcome; on a
    // non-blocking one, may leave the state connecting (see CheckConnecting).
    virtual bool Connect(std::string host, std::uint16_t port);
    virtual void CheckConnecting();
    virtual void OnAccept() {}
    virtual void OnConnect() {}

    std::uint32_t GetState() const { return m_nState; }
    bool IsConnected() const { return m_nState == TCP_STATE_CONNECTED; }
    const CSockAddr& GetPeer() const { return m_peer; }

protected:
    void SetState(std::uint32_t state) { m_nState = state; }

    CSockAddr m_peer;
    std::atomic<std::uint32_t> m_nState{TCP_STATE_IDLE};
};

}  // namespace NetWork
}  // namespace Base

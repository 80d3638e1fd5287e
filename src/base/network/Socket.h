// Owns one Winsock socket handle. Failures are reported through OnError with
// a Winsock error code and a text naming the class and the operation.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "SockAddr.h"

namespace Base {
namespace NetWork {

class CSocket {
public:
    CSocket() = default;
    // Closes a socket still held, without calling OnClose.
    virtual ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    virtual bool Create() { return false; }
    // Closes the socket when one is held, then calls OnClose.
    virtual void Close();
    // Takes over the handle and reads its peer address into addr.
    virtual void Attach(SOCKET s);
    // Gives up the handle without closing it.
    virtual SOCKET Detach();
    virtual void OnClose() {}
    virtual void OnError(int code, const char* text)
    {
        (void)code;
        (void)text;
    }

    bool Bind(const std::string& host, std::uint16_t port);
    bool SetNonblocking(bool on);
    bool SetNoDelay(bool on);
    bool SetLinger(int on, int milliseconds);
    bool SetSendBuffSize(int bytes);
    bool SetRecvBuffSize(int bytes);

    SOCKET GetSocket() const { return m_socket; }
    bool IsValid() const { return m_socket != INVALID_SOCKET; }
    const CSockAddr& GetAddr() const { return m_addr; }

protected:
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};  // closed by one thread while others use it
    CSockAddr m_addr;
};

}  // namespace NetWork
}  // namespace Base

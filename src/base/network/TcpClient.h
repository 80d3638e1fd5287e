// A session that connects itself on a short-lived thread of its own and is
// deleted by the worker pool's housekeeping tick once its owner has released
// it and nothing is outstanding. The owner must not touch it after Release().
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "IOCPSession.h"
#include "base/system/ZLock.h"
#include "base/system/ZThread.h"

namespace Base {
namespace NetWork {

class CTcpClient : public CIOCPSession {
public:
    enum : std::uint32_t { CONNECT_STACK_SIZE = 0x10000 };

    CTcpClient();
    explicit CTcpClient(std::uint32_t size);
    ~CTcpClient() override;

    // Starts a connect thread; true when it started. Refused while an
    // attempt runs, while connected or closing, and after Release().
    bool Connect(std::string host, std::uint16_t port) override;
    // Takes over an accepted, connected socket and starts I/O on it.
    bool Open(SOCKET s);
    void Close() override;
    void OnEvent(std::uint32_t code) override;
    void Release() override;
    virtual void Destroy();
    virtual void OnTick();
    virtual void SetupSocket();

    void SetTickEnabled(bool on);
    bool IsConnectFinished() const { return m_connectThread.IsFinished(); }

protected:
    static void ConnectBody(void* self);
    void StartIO();

    COverlappedBuff m_tickBuf;
    std::atomic<bool> m_bTickEnabled{false};
    std::uint32_t m_nRecvBufSize;
    std::uint32_t m_nSendBufSize;
    std::string m_strHost;
    std::uint16_t m_nPort = 0;
    // Orders a close against the connect thread switching the session on.
    System::ZSemiAutoIntLock m_startLock;
    System::ZThread m_connectThread;
};

}  // namespace NetWork
}  // namespace Base

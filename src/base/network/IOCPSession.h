// Send and receive machinery of one connected TCP socket on the worker
// pool's completion port. Each direction has at most one operation or event
// outstanding at a time (its buffer's busy flag); a direction that has
// nothing to do re-arms itself with an event, so a live session always has
// something outstanding per direction. Close() is deferred: it switches both
// directions off, and the socket itself is closed later by DoClose().
#pragma once

#include <atomic>
#include <cstdint>

#include "IOCompletionPort.h"
#include "OverlappedBuff.h"
#include "TcpSocket.h"
#include "base/system/ZLock.h"

namespace Base {
namespace NetWork {

class CIOCPSession : public CTcpSocket, public CIOCPObject {
public:
    enum : std::uint32_t { DEFAULT_BUFF_SIZE = 8195 };

    CIOCPSession();
    explicit CIOCPSession(std::uint32_t size);
    ~CIOCPSession() override;

    void Close() override;

    // Received bytes; false leaves them in the receive buffer.
    virtual bool OnGetData(char* data, std::uint32_t n);
    // Called before each send attempt, for the producer to top up.
    virtual void OnPrepareSendData() {}
    virtual void OnEvent(std::uint32_t code);
    virtual void Release();
    virtual bool IsReleased() const { return m_bReleased; }
    virtual bool CanDelete() const { return m_bReleased && !IsIOPending(); }
    virtual bool IsClosing() const { return m_bClosing; }
    virtual void DoClose();
    virtual bool IsIOPending() const { return m_sendBuf.IsBusy() || m_recvBuf.IsBusy(); }

    void OnIOComplete(COverlappedBuff* pBuff) override;
    void OnIOCompleteFailed(COverlappedBuff* pBuff) override;

    // Switching a direction on that was off also arms it.
    void SetSendEnabled(bool on);
    void SetRecvEnabled(bool on);
    bool IsSendEnabled() const { return m_bSendEnabled; }
    bool IsRecvEnabled() const { return m_bRecvEnabled; }
    bool ArmSend(bool onlyIfIdle);
    bool ArmRecv(bool onlyIfIdle);

    // Queues bytes for sending; returns how many fitted.
    std::uint32_t AppendSendData(const char* data, std::uint32_t n);

protected:
    bool SendSessionData();
    bool RecvSessionData();

    COverlappedBuff m_sendBuf;
    COverlappedBuff m_recvBuf;
    COverlappedBuff m_pendingBuf;
    System::ZSemiAutoIntLock m_pendingLock;
    std::atomic<bool> m_bReleased{false};
    std::atomic<bool> m_bSendEnabled{false};
    std::atomic<bool> m_bRecvEnabled{false};
    std::atomic<bool> m_bClosing{false};
    std::uint32_t m_nDelivered = 0;
    std::uint32_t m_nReceived = 0;
};

}  // namespace NetWork
}  // namespace Base

#include "IOCPSession.h"

#include "IOCPSessionWorkThread.h"

namespace Base {
namespace NetWork {

CIOCPSession::CIOCPSession() : CIOCPSession(DEFAULT_BUFF_SIZE) {}

CIOCPSession::CIOCPSession(std::uint32_t size) : m_sendBuf(size), m_recvBuf(size), m_pendingBuf(size) {}

CIOCPSession::~CIOCPSession() {}

bool CIOCPSession::OnGetData(char* data, std::uint32_t n)
{
    (void)data;
    (void)n;
    return true;
}

void CIOCPSession::Close()
{
    SetRecvEnabled(false);
    SetSendEnabled(false);
    m_bClosing = true;
}

void CIOCPSession::DoClose()
{
    CTcpSocket::Close();
    m_bClosing = false;
}

void CIOCPSession::Release()
{
    Close();
    m_bReleased = true;
}

void CIOCPSession::SetSendEnabled(bool on)
{
    const bool was = m_bSendEnabled.exchange(on);
    if (on && !was) ArmSend(true);
}

void CIOCPSession::SetRecvEnabled(bool on)
{
    const bool was = m_bRecvEnabled.exchange(on);
    if (on && !was) ArmRecv(true);
}

bool CIOCPSession::ArmSend(bool onlyIfIdle)
{
    if (onlyIfIdle && m_sendBuf.IsBusy()) return false;
    if (m_bReleased || !m_bSendEnabled) {
        m_sendBuf.SetBusy(false);
        return false;
    }
    if (GetState() == TCP_STATE_CONNECTING) return false;
    m_sendBuf.SetBusy(true);
    CIOCPSessionWorkThread::Instance()->PostEvent(this, IO_IOCPSESSION_OPER_SEND);
    return true;
}

bool CIOCPSession::ArmRecv(bool onlyIfIdle)
{
    if (onlyIfIdle && m_recvBuf.IsBusy()) return false;
    if (m_bReleased || !m_bRecvEnabled) {
        m_recvBuf.SetBusy(false);
        return false;
    }
    if (GetState() == TCP_STATE_CONNECTING) return false;
    m_recvBuf.SetBusy(true);
    CIOCPSessionWorkThread::Instance()->PostEvent(this, IO_IOCPSESSION_OPER_RECV);
    return true;
}

std::uint32_t CIOCPSession::AppendSendData(const char* data, std::uint32_t n)
{
    System::ZLocker guard(m_pendingLock);
    return m_pendingBuf.Append(data, n);
}

void CIOCPSession::OnEvent(std::uint32_t code)
{
    switch (code) {
    case IO_IOCPSESSION_OPER_SEND:
        OnPrepareSendData();
        if (!SendSessionData()) ArmSend(false);
        break;
    case IO_IOCPSESSION_OPER_RECV:
        if (!RecvSessionData()) ArmRecv(false);
        break;
    default:
        break;
    }
}

bool CIOCPSession::SendSessionData()
{
    if (!m_bSendEnabled || GetState() != TCP_STATE_CONNECTED || m_bReleased) return false;
    if (m_sendBuf.GetLength() == 0) {
        // What a partial send left behind goes first; only an empty buffer
        // takes the waiting bytes.
        System::ZLocker guard(m_pendingLock);
        if (m_pendingBuf.GetLength() == 0) return false;
        m_sendBuf.Swap(m_pendingBuf);
    }
    m_sendBuf.SetOp(IO_IOCPSESSION_OPER_SEND_COMPLETE);
    m_sendBuf.ResetOverlapped();
    DWORD sent = 0;
    if (WSASend(m_socket, m_sendBuf.GetWSABuf(), 1, &sent, 0, m_sendBuf.GetOverlapped(), nullptr) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSA_IO_PENDING) {
            OnError(error, "CIOCPSession::SendSessionData() -- WSASend Failed");
            Close();
            return false;
        }
    }
    return true;
}

bool CIOCPSession::RecvSessionData()
{
    if (!m_bRecvEnabled || GetState() != TCP_STATE_CONNECTED || m_bReleased) return false;
    if (m_nDelivered != m_nReceived) {
        // Refused bytes stay; the next receive goes behind them.
        m_recvBuf.Consume(m_recvBuf.GetNumberOfBytes());
    } else {
        m_recvBuf.OfferAll();
        m_nDelivered = m_nReceived = 0;
    }
    m_recvBuf.SetNumberOfBytes(0);
    if (m_recvBuf.GetLength() == 0) return false;
    m_recvBuf.SetOp(IO_IOCPSESSION_OPER_RECV_COMPLETE);
    m_recvBuf.ResetOverlapped();
    DWORD received = 0;
    DWORD flags = 0;
    if (WSARecv(m_socket, m_recvBuf.GetWSABuf(), 1, &received, &flags, m_recvBuf.GetOverlapped(), nullptr) ==
        SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSA_IO_PENDING) {
            OnError(error, "CIOCPSession::RecvSessionData() -- WSARecv Failed");
            Close();
            return false;
        }
    }
    return true;
}

void CIOCPSession::OnIOComplete(COverlappedBuff* pBuff)
{
    const std::uint32_t bytes = pBuff->GetNumberOfBytes();
    switch (pBuff->GetOp()) {
    case IO_IOCPSESSION_OPER_SEND_COMPLETE:
        if (bytes == 0) {
            OnError(-1, "IO_IOCPSESSION_OPER_SEND_COMPLETE -- completed 0 bytes");
            Close();
            pBuff->SetBusy(false);
            return;
        }
        if (pBuff->GetLength() < bytes) {
            OnError(-1,
                    "IO_IOCPSESSION_OPER_SEND_COMPLETE -- pIOBuff->GetLength() is less than "
                    "pIOBuff->GetNumberOfBytes()");
            Close();
            pBuff->SetBusy(false);
            return;
        }
        // A partial send leaves the rest at the front for the next send.
        pBuff->Consume(bytes);
        OnPrepareSendData();
        if (!SendSessionData()) ArmSend(false);
        return;
    case IO_IOCPSESSION_OPER_RECV_COMPLETE:
        if (bytes == 0) {
            OnError(-1, "IO_IOCPSESSION_OPER_RECV_COMPLETE -- completed 0 bytes");
            Close();
            pBuff->SetBusy(false);
            return;
        }
        m_nReceived += bytes;
        if (OnGetData(pBuff->GetData(), bytes)) m_nDelivered += bytes;
        if (!RecvSessionData()) ArmRecv(false);
        return;
    default:
        return;
    }
}

void CIOCPSession::OnIOCompleteFailed(COverlappedBuff* pBuff)
{
    OnError(static_cast<int>(GetLastError()), "CIOCPSession::OnIOCompleteFailed");
    Close();
    if (pBuff) pBuff->SetBusy(false);
}

}  // namespace NetWork
}  // namespace Base

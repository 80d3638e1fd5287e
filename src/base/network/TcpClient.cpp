#include "TcpClient.h"

#include "IOCPSessionWorkThread.h"

namespace Base {
namespace NetWork {

CTcpClient::CTcpClient() : CTcpClient(DEFAULT_BUFF_SIZE) {}

CTcpClient::CTcpClient(std::uint32_t size)
    : CIOCPSession(size), m_tickBuf(1), m_nRecvBufSize(size), m_nSendBufSize(size)
{
    // The tick starts with the first Connect, Open or Release: an event for
    // an object still under construction would run on a half-built object.
}

CTcpClient::~CTcpClient() { m_connectThread.Stop(true); }

void CTcpClient::SetTickEnabled(bool on)
{
    const bool was = m_bTickEnabled.exchange(on);
    if (on && !was && !m_tickBuf.IsBusy()) {
        m_tickBuf.SetBusy(true);
        CIOCPSessionWorkThread::Instance()->PostEvent(this, IO_IOCPSESSION_OPER_TICK);
    }
}

bool CTcpClient::Connect(std::string host, std::uint16_t port)
{
    // A running attempt is never cut short: killing a thread inside connect()
    // can leave the process hung.
    if (m_bReleased || m_bClosing || GetState() != TCP_STATE_IDLE || !m_connectThread.IsFinished()) return false;
    m_connectThread.Stop(true);  // reaps the handle of an earlier attempt
    m_strHost = host;
    m_nPort = port;
    SetState(TCP_STATE_CONNECTING);
    SetTickEnabled(true);
    m_connectThread.SetProc(&CTcpClient::ConnectBody, this);
    const bool started = m_connectThread.Start(false, THREAD_PRIORITY_NORMAL, CONNECT_STACK_SIZE);
    if (!started && m_connectThread.IsFinished()) SetState(TCP_STATE_IDLE);
    return started;
}

bool CTcpClient::Open(SOCKET s)
{
    if (m_bReleased || m_bClosing || GetState() != TCP_STATE_IDLE || IsValid() || s == INVALID_SOCKET) return false;
    Attach(s, TCP_STATE_CONNECTED);
    SetTickEnabled(true);
    StartIO();
    return true;
}

void CTcpClient::ConnectBody(void* arg)
{
    auto* self = static_cast<CTcpClient*>(arg);
    self->SetNonblocking(false);
    // On failure the deferred Close() returns the session to idle on a tick.
    if (!self->CTcpSocket::Connect(self->m_strHost, self->m_nPort)) return;
    self->StartIO();
}

void CTcpClient::StartIO()
{
    SetupSocket();
    CIOCompletionPort& port = CIOCPSessionWorkThread::Instance()->GetPort();
    port.AssociateDevice(m_socket, reinterpret_cast<ULONG_PTR>(static_cast<CIOCPObject*>(this)));
    m_pPort = &port;
    System::ZLocker guard(m_startLock);
    // A close requested while connecting wins: the tick closes the socket.
    if (m_bClosing || m_bReleased) return;
    SetRecvEnabled(true);
    SetSendEnabled(true);
}

void CTcpClient::SetupSocket()
{
    SetNonblocking(true);
    SetNoDelay(true);
    SetRecvBuffSize(static_cast<int>(m_nRecvBufSize));
    SetSendBuffSize(static_cast<int>(m_nSendBufSize));
}

void CTcpClient::Close()
{
    System::ZLocker guard(m_startLock);
    CIOCPSession::Close();
}

void CTcpClient::Release()
{
    CIOCPSession::Release();
    SetTickEnabled(true);
}

void CTcpClient::OnEvent(std::uint32_t code)
{
    if (code == IO_IOCPSESSION_OPER_TICK)
        OnTick();
    else
        CIOCPSession::OnEvent(code);
}

void CTcpClient::OnTick()
{
    const bool connectDone = m_connectThread.IsFinished();
    // The socket is not closed under a connect thread still using it.
    if (m_bClosing && connectDone) DoClose();
    if (connectDone && CanDelete()) {
        Destroy();
        return;
    }
    if (m_bTickEnabled)
        CIOCPSessionWorkThread::Instance()->PostEvent(this, IO_IOCPSESSION_OPER_TICK);
    else
        m_tickBuf.SetBusy(false);
}

void CTcpClient::Destroy() { delete this; }

}  // namespace NetWork
}  // namespace Base

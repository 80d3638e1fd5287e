#include "NetworkConnector.h"

#include "NetworkSession.h"

namespace Base {
namespace NetWork {

CNetworkConnector::CNetworkConnector() { m_pSession = NewSession(); }

CNetworkConnector::~CNetworkConnector()
{
    if (m_pSession) {
        m_pSession->SetOwner(nullptr);
        m_pSession->Release();
        m_pSession = nullptr;
    }
}

CNetworkSession* CNetworkConnector::NewSession()
{
    CNetworkSession* session =
        m_nBufferSize == DEFAULT_BUFFER_SIZE ? new CNetworkSession() : new CNetworkSession(m_nBufferSize);
    session->SetOwner(this);
    session->SetEncode(m_bEncode != 0);
    return session;
}

void CNetworkConnector::Init(std::string host, std::uint16_t port)
{
    m_strHost = host;
    m_nPort = port;
}

void CNetworkConnector::Connect()
{
    // A session whose close is pending counts as gone: its socket is about
    // to be closed, so it gets a successor like an idle one.
    if (m_pSession && m_pSession->GetState() != TCP_STATE_IDLE && !m_pSession->IsClosing()) return;
    CNetworkSession* old = m_pSession;
    if (old) old->SetOwner(nullptr);
    m_pSession = NewSession();
    m_pSession->Connect(m_strHost, m_nPort);
    if (old) old->Release();
}

bool CNetworkConnector::Send(const char* message)
{
    if (!IsConnected()) return false;
    return m_pSession->Send(message);
}

bool CNetworkConnector::IsConnected()
{
    return m_pSession && m_pSession->IsConnected() && !m_pSession->IsClosing();
}

void CNetworkConnector::Close()
{
    if (m_pSession) m_pSession->Close();
}

void CNetworkConnector::SetEncode(bool on)
{
    m_bEncode = on ? 1 : 0;
    if (m_pSession)
        m_pSession->SetEncode(on);
    else
        Connect();
}

}  // namespace NetWork
}  // namespace Base

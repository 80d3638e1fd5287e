#include "LinkConnector.h"

#include "NetworkConnector.h"

namespace Base {
namespace NetWork {

CLinkConnector* CLinkConnector::Instance()
{
    static CLinkConnector* s_pInstance = new CLinkConnector;
    return s_pInstance;
}

CLinkConnector::~CLinkConnector()
{
    m_pActive = nullptr;
    for (CNetworkConnector*& c : m_arrConnectors) {
        delete c;
        c = nullptr;
    }
    delete m_pSpare;
}

bool CLinkConnector::IsConnected() { return m_pActive != nullptr && m_pActive->IsConnected(); }

void CLinkConnector::Disconnect()
{
    if (m_pActive) {
        m_pActive->Close();
        m_pActive = nullptr;
    }
    if (m_pSpare) {
        m_pSpare->Close();
        m_pSpare = nullptr;
    }
}

void CLinkConnector::Connect(const std::string& host, const std::vector<int>& ports)
{
    if (IsConnected()) return;
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        if (m_arrConnectors[i] != nullptr || ports.size() <= i) continue;
        CNetworkConnector* c = new CNetworkConnector;
        c->SetEncode(true);
        c->Init(host, static_cast<std::uint16_t>(ports[i] & 0xFFFF));
        m_arrConnectors[i] = c;
    }
    for (CNetworkConnector* c : m_arrConnectors)
        if (c) c->Connect();
    // Only attempts that have already finished count; later ones stay up
    // without becoming the link.
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        if (m_arrConnectors[i] == nullptr || !m_arrConnectors[i]->IsConnected()) continue;
        m_pActive = m_arrConnectors[i];
        for (unsigned j = 0; j < SLOT_COUNT; ++j)
            if (j != i && m_arrConnectors[j]) m_arrConnectors[j]->Close();
        break;
    }
}

void CLinkConnector::Reconnect(const std::string& host, const std::vector<int>& ports)
{
    Disconnect();
    Connect(host, ports);
}

}  // namespace NetWork
}  // namespace Base

#include "LinkServer.h"

#include "base/network/LinkConnector.h"
#include "update/UpdateEngine.h"

void ConnectLinkServer()
{
    if (g_pUpdateEngine == nullptr) return;
    Base::NetWork::CLinkConnector::Instance()->Connect(g_pUpdateEngine->m_strLinkServerIP,
                                                       g_pUpdateEngine->m_vecLinkServerPort);
}

void ReconnectLinkServer()
{
    Base::NetWork::CLinkConnector::Instance()->Disconnect();
    ConnectLinkServer();
}

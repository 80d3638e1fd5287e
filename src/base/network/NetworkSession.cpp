#include "NetworkSession.h"

#include "NetworkConnector.h"

namespace Base {
namespace NetWork {

void CNetworkSession::OnClose()
{
    if (CNetworkConnector* owner = m_pOwner) owner->OnClose();
}

void CNetworkSession::OnError(int code, const char* text)
{
    if (CNetworkConnector* owner = m_pOwner) owner->OnError(code, text);
}

}  // namespace NetWork
}  // namespace Base

// The session a link connector owns: passes its close and error hooks on to
// the connector, if it still has one.
#pragma once

#include <atomic>
#include <cstdint>

#include "ClientSession.h"

namespace Base {
namespace NetWork {

class CNetworkConnector;

class CNetworkSession : public CClientSession {
public:
    CNetworkSession() = default;
    explicit CNetworkSession(std::uint32_t size) : CClientSession(size) {}

    void SetOwner(CNetworkConnector* owner) { m_pOwner = owner; }
    CNetworkConnector* GetOwner() const { return m_pOwner; }

    void OnClose() override;
    void OnError(int code, const char* text) override;

private:
    std::atomic<CNetworkConnector*> m_pOwner{nullptr};
};

}  // namespace NetWork
}  // namespace Base

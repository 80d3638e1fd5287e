// The process-wide holder of the link server connections: one connector per
// configured port, at most three, of which the first one found connected
// becomes the link.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Base {
namespace NetWork {

class CNetworkConnector;

class CLinkConnector {
public:
    enum : unsigned { SLOT_COUNT = 3 };

    // The program uses the one instance; separate ones serve tests.
    CLinkConnector() = default;
    virtual ~CLinkConnector();
    CLinkConnector(const CLinkConnector&) = delete;
    CLinkConnector& operator=(const CLinkConnector&) = delete;

    static CLinkConnector* Instance();

    bool IsConnected();
    // Closes the link (and the spare); the slots stay as they are.
    void Disconnect();
    // Fills the empty slots for the first three ports (low 16 bits used),
    // starts every slot's attempt and picks the first connected one.
    void Connect(const std::string& host, const std::vector<int>& ports);
    void Reconnect(const std::string& host, const std::vector<int>& ports);

    CNetworkConnector* GetActive() const { return m_pActive; }
    CNetworkConnector* GetSlot(unsigned i) const { return i < SLOT_COUNT ? m_arrConnectors[i] : nullptr; }

private:
    CNetworkConnector* m_pActive = nullptr;
    CNetworkConnector* m_arrConnectors[SLOT_COUNT] = {nullptr, nullptr, nullptr};
    CNetworkConnector* m_pSpare = nullptr;
};

}  // namespace NetWork
}  // namespace Base

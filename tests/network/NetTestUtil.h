// Helpers for the network tests: waiting on cross-thread state, a recording
// client session, a loopback listener and blocking-socket peers.
#pragma once

#include <winsock2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/network/ClientSession.h"
#include "base/network/TcpSocket.h"

// Wakes WaitFor early; hooks of the test sessions call it.
void NotifyNetActivity();
// Waits until pred holds, at most timeoutMs; true when it held.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// The scripted peer's port (LINK_PEER_PORT), 0 when it is not running.
std::uint16_t PeerPort();

// What a session reported; outlives the session, which the workers delete.
struct SessionLog {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> errors;
    int closes = 0;
    int connects = 0;
    bool deleted = false;

    std::vector<std::pair<int, std::string>> Errors();
    bool HasError(const std::string& text);
    bool IsDeleted();
    int Closes();
};

// A framed client session that records its hooks.
class TestClientSession : public Base::NetWork::CClientSession {
public:
    explicit TestClientSession(std::shared_ptr<SessionLog> log, std::uint32_t size = DEFAULT_SIZE);
    ~TestClientSession() override;

    void OnError(int code, const char* text) override;
    void OnClose() override;
    void OnConnect() override;
    bool OnGetData(char* data, std::uint32_t n) override;

    // For driving the framing directly.
    void ForceRecvEnabled() { m_bRecvEnabled = true; }
    std::string PendingSendBytes();
    void ClearPendingSend();

private:
    std::shared_ptr<SessionLog> m_log;
};

// Releases a session and waits for the workers to delete it.
bool ReleaseAndWait(Base::NetWork::CTcpClient* session, const std::shared_ptr<SessionLog>& log);

// A listening socket on 127.0.0.1 with a system-chosen port.
class Listener {
public:
    Listener();
    ~Listener();
    std::uint16_t Port() const { return m_nPort; }
    // The next accepted connection, or INVALID_SOCKET after timeoutMs.
    SOCKET Accept(int timeoutMs = 5000);

private:
    Base::NetWork::CTcpSocket m_socket;
    std::uint16_t m_nPort = 0;
};

// Blocking-socket helpers with a receive time-out.
void SetRecvTimeout(SOCKET s, int ms);
bool RecvAll(SOCKET s, char* p, std::size_t n);
bool SendAll(SOCKET s, const char* p, std::size_t n);
// A port on 127.0.0.1 that nothing listens on (bound once, then freed).
std::uint16_t ClosedPort();

// One wire message, plain.
std::string WireMessage(std::uint16_t id, const std::string& body, std::uint8_t sendClass = 0);
std::string WireHeader(std::uint32_t length, std::uint16_t id, std::uint8_t sendClass = 0);

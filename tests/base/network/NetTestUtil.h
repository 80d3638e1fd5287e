// Helpers for the network tests: waiting on cross-thread state, sessions
// that record their hooks, a loopback listener and blocking-socket peers.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"
#include "Wire.h"
#include "base/network/ClientSession.h"
#include "base/network/LinkConnector.h"
#include "base/network/NetworkConnector.h"
#include "base/network/TcpSocket.h"

// Waits until pred holds, at most timeoutMs; true when it held. Hooks of
// the test sessions wake it early.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);
void NotifyNetActivity();

// What a session reported; outlives the session, which the workers delete.
struct SessionLog {
    std::mutex mutex;  // guards errors
    std::vector<std::pair<int, std::string>> errors;
    std::atomic<int> closes{0};
    std::atomic<bool> deleted{false};
    std::vector<std::pair<int, std::string>> Errors()
    {
        std::lock_guard<std::mutex> g(mutex);
        return errors;
    }
};

// A session of class Base whose hooks are written to a SessionLog; each hook
// wakes WaitFor.
template <class Base>
class TRecorded : public Base {
public:
    template <class... A>
    explicit TRecorded(std::shared_ptr<SessionLog> log, A... args) : Base(args...), m_log(std::move(log)) {}
    ~TRecorded() override { m_log->deleted = true, NotifyNetActivity(); }
    void OnError(int code, const char* text) override
    {
        std::lock_guard<std::mutex> g(m_log->mutex);
        m_log->errors.emplace_back(code, text ? text : "");
        NotifyNetActivity();
    }
    void OnClose() override { ++m_log->closes, NotifyNetActivity(); }

protected:
    std::shared_ptr<SessionLog> m_log;
};

// A framed client session that records its hooks.
class TestClientSession : public TRecorded<Base::NetWork::CClientSession> {
public:
    explicit TestClientSession(std::shared_ptr<SessionLog> log, std::uint32_t size = DEFAULT_SIZE)
        : TRecorded(std::move(log), size) {}
    bool OnGetData(char* data, std::uint32_t n) override
    {
        const bool taken = CClientSession::OnGetData(data, n);
        NotifyNetActivity();
        return taken;
    }
    void ForceRecvEnabled() { m_bRecvEnabled = true; }
};

// Releases a session and waits for the workers to delete it.
bool ReleaseAndWait(Base::NetWork::CTcpClient* session, const std::shared_ptr<SessionLog>& log);

// A listening socket on 127.0.0.1 with a system-chosen port.
class Listener {
public:
    Listener();
    ~Listener() { m_socket.Close(); }
    std::uint16_t Port() const { return m_nPort; }
    // The next accepted connection (receive time-out 5 s), or INVALID_SOCKET.
    SOCKET Accept(int timeoutMs = 5000);

private:
    Base::NetWork::CTcpSocket m_socket;
    std::uint16_t m_nPort = 0;
};

// True when the peer closed: the next receive gives end of stream.
bool PeerClosed(SOCKET s);
// n bytes from a blocking socket, fewer when it closes or times out.
std::string RecvBytes(SOCKET s, std::size_t n);

// A link connector slot idle and not closing.
bool IsIdle(Base::NetWork::CNetworkConnector* c);
// Attempts finish on their own threads: when none had when the slots were
// checked, connect() after the first n are all up must pick slot 0.
void PickTheLink(Base::NetWork::CLinkConnector& holder, unsigned n, const std::function<void()>& connect);

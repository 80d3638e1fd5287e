#include <gtest/gtest.h>

#include "NetTestUtil.h"

#include <chrono>
#include <condition_variable>

#include "base/network/NetworkSession.h"

using namespace Base::NetWork;

namespace {
std::mutex g_activityMutex;
std::condition_variable g_activity;
}  // namespace

void NotifyNetActivity() { g_activity.notify_all(); }

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(g_activityMutex);
    // Not every change has a hook; look again every few milliseconds.
    for (; !pred(); g_activity.wait_for(lock, std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() >= deadline) return pred();
    return true;
}

bool ReleaseAndWait(CTcpClient* session, const std::shared_ptr<SessionLog>& log)
{
    session->Release();
    return WaitFor([&] { return log->deleted.load(); }, 10000);
}

Listener::Listener()
{
    if (m_socket.Bind("127.0.0.1", 0) && m_socket.Listen(SOMAXCONN)) m_nPort = m_socket.GetAddr().GetPort();
}

SOCKET Listener::Accept(int timeoutMs)
{
    fd_set readable = {1, {m_socket.GetSocket()}};
    timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) return INVALID_SOCKET;
    SOCKET s = INVALID_SOCKET;
    if (!m_socket.Accept(s)) return INVALID_SOCKET;
    const DWORD receiveTimeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeout), sizeof receiveTimeout);
    return s;
}

std::string RecvBytes(SOCKET s, std::size_t n)
{
    std::string bytes(n, '\0');
    std::size_t got = 0;
    for (int r; got < n && (r = recv(s, &bytes[got], static_cast<int>(n - got), 0)) > 0;) got += static_cast<std::size_t>(r);
    return bytes.substr(0, got);
}

bool PeerClosed(SOCKET s)
{
    char byte;
    return recv(s, &byte, 1, 0) == 0;
}

bool IsIdle(CNetworkConnector* c) { return c->GetSession()->GetState() == TCP_STATE_IDLE && !c->GetSession()->IsClosing(); }

void PickTheLink(CLinkConnector& holder, unsigned n, const std::function<void()>& connect)
{
    if (holder.GetActive() != nullptr) return;
    ASSERT_TRUE(WaitFor([&] {
        for (unsigned i = 0; i < n; ++i)
            if (!holder.GetSlot(i) || !holder.GetSlot(i)->IsConnected()) return false;
        return true;
    }));
    connect();
    EXPECT_EQ(holder.GetActive(), holder.GetSlot(0));
}

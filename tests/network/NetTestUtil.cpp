#include "NetTestUtil.h"

#include <cstdlib>

#include "base/network/MsgPackQueue.h"

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
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        // Not every change has a hook; look again every few milliseconds.
        g_activity.wait_for(lock, std::chrono::milliseconds(5));
    }
}

std::uint16_t PeerPort()
{
    const char* text = std::getenv("LINK_PEER_PORT");
    return text ? static_cast<std::uint16_t>(std::atoi(text)) : 0;
}

std::vector<std::pair<int, std::string>> SessionLog::Errors()
{
    std::lock_guard<std::mutex> g(mutex);
    return errors;
}

bool SessionLog::HasError(const std::string& text)
{
    std::lock_guard<std::mutex> g(mutex);
    for (const auto& e : errors)
        if (e.second == text) return true;
    return false;
}

bool SessionLog::IsDeleted()
{
    std::lock_guard<std::mutex> g(mutex);
    return deleted;
}

int SessionLog::Closes()
{
    std::lock_guard<std::mutex> g(mutex);
    return closes;
}

TestClientSession::TestClientSession(std::shared_ptr<SessionLog> log, std::uint32_t size)
    : CClientSession(size), m_log(std::move(log))
{
}

TestClientSession::~TestClientSession()
{
    {
        std::lock_guard<std::mutex> g(m_log->mutex);
        m_log->deleted = true;
    }
    NotifyNetActivity();
}

void TestClientSession::OnError(int code, const char* text)
{
    {
        std::lock_guard<std::mutex> g(m_log->mutex);
        m_log->errors.emplace_back(code, text ? text : "");
    }
    NotifyNetActivity();
}

void TestClientSession::OnClose()
{
    {
        std::lock_guard<std::mutex> g(m_log->mutex);
        ++m_log->closes;
    }
    NotifyNetActivity();
}

void TestClientSession::OnConnect()
{
    {
        std::lock_guard<std::mutex> g(m_log->mutex);
        ++m_log->connects;
    }
    NotifyNetActivity();
}

bool TestClientSession::OnGetData(char* data, std::uint32_t n)
{
    const bool taken = CClientSession::OnGetData(data, n);
    NotifyNetActivity();
    return taken;
}

std::string TestClientSession::PendingSendBytes()
{
    Base::System::ZLocker guard(m_pendingLock);
    return std::string(m_pendingBuf.GetData(), m_pendingBuf.GetLength());
}

void TestClientSession::ClearPendingSend()
{
    Base::System::ZLocker guard(m_pendingLock);
    m_pendingBuf.Clear();
}

bool ReleaseAndWait(CTcpClient* session, const std::shared_ptr<SessionLog>& log)
{
    session->Release();
    return WaitFor([&] { return log->IsDeleted(); }, 10000);
}

Listener::Listener()
{
    if (m_socket.Bind("127.0.0.1", 0) && m_socket.Listen(SOMAXCONN)) m_nPort = m_socket.GetAddr().GetPort();
}

Listener::~Listener() { m_socket.Close(); }

SOCKET Listener::Accept(int timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket.GetSocket(), &readable);
    timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) return INVALID_SOCKET;
    SOCKET s = INVALID_SOCKET;
    return m_socket.Accept(s) ? s : INVALID_SOCKET;
}

void SetRecvTimeout(SOCKET s, int ms)
{
    const DWORD value = static_cast<DWORD>(ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

bool RecvAll(SOCKET s, char* p, std::size_t n)
{
    while (n > 0) {
        const int got = recv(s, p, static_cast<int>(n > 65536 ? 65536 : n), 0);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool SendAll(SOCKET s, const char* p, std::size_t n)
{
    while (n > 0) {
        const int sent = send(s, p, static_cast<int>(n > 65536 ? 65536 : n), 0);
        if (sent <= 0) return false;
        p += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::uint16_t ClosedPort()
{
    CTcpSocket s;
    if (!s.Bind("127.0.0.1", 0)) return 0;
    const std::uint16_t port = s.GetAddr().GetPort();
    s.Close();
    return port;
}

std::string WireHeader(std::uint32_t length, std::uint16_t id, std::uint8_t sendClass)
{
    std::string h(7, '\0');
    WriteLe32(&h[0], length);
    WriteLe16(&h[4], id);
    h[6] = static_cast<char>(sendClass);
    return h;
}

std::string WireMessage(std::uint16_t id, const std::string& body, std::uint8_t sendClass)
{
    return WireHeader(static_cast<std::uint32_t>(7 + body.size()), id, sendClass) + body;
}

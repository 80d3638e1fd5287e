#include <gtest/gtest.h>
#include <winsock2.h>

#include <memory>
#include <mutex>
#include <string>

#include "NetTestUtil.h"
#include "base/network/IOCPSession.h"
#include "base/network/IOCPSessionWorkThread.h"
#include "base/network/TcpClient.h"

using namespace Base::NetWork;

namespace {

std::string Pattern(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    unsigned x = seed;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

// Unframed bytes: what to send and what arrived.
struct RawData {
    std::mutex mutex;
    std::string source;
    std::size_t offset = 0;
    std::string received;

    std::size_t Received()
    {
        std::lock_guard<std::mutex> g(mutex);
        return received.size();
    }
};

class RawClient : public CTcpClient {
public:
    RawClient(std::shared_ptr<SessionLog> log, std::shared_ptr<RawData> data)
        : CTcpClient(8192), m_log(std::move(log)), m_data(std::move(data))
    {
    }
    ~RawClient() override
    {
        {
            std::lock_guard<std::mutex> g(m_log->mutex);
            m_log->deleted = true;
        }
        NotifyNetActivity();
    }
    bool OnGetData(char* p, std::uint32_t n) override
    {
        {
            std::lock_guard<std::mutex> g(m_data->mutex);
            m_data->received.append(p, n);
        }
        NotifyNetActivity();
        return true;
    }
    void OnPrepareSendData() override
    {
        std::lock_guard<std::mutex> g(m_data->mutex);
        while (m_data->offset < m_data->source.size()) {
            const std::size_t left = m_data->source.size() - m_data->offset;
            const std::uint32_t taken = AppendSendData(m_data->source.data() + m_data->offset,
                                                       static_cast<std::uint32_t>(left > 65536 ? 65536 : left));
            if (taken == 0) break;
            m_data->offset += taken;
        }
    }
    void OnError(int code, const char* text) override
    {
        {
            std::lock_guard<std::mutex> g(m_log->mutex);
            m_log->errors.emplace_back(code, text);
        }
        NotifyNetActivity();
    }
    void OnClose() override
    {
        {
            std::lock_guard<std::mutex> g(m_log->mutex);
            ++m_log->closes;
        }
        NotifyNetActivity();
    }

private:
    std::shared_ptr<SessionLog> m_log;
    std::shared_ptr<RawData> m_data;
};

// A session driven by hand: its send direction belongs to the test, which
// stands in for the completion port with made-up completions.
class ManualSession : public CIOCPSession {
public:
    ManualSession() : CIOCPSession(64) {}
    void Start(SOCKET s)
    {
        Attach(s, TCP_STATE_CONNECTED);
        SetNonblocking(true);
        CIOCompletionPort& port = CIOCPSessionWorkThread::Instance()->GetPort();
        port.AssociateDevice(m_socket, reinterpret_cast<ULONG_PTR>(static_cast<CIOCPObject*>(this)));
        m_pPort = &port;
        m_bSendEnabled = true;
        m_sendBuf.SetBusy(true);
    }
    // As if a send of `inFlight` had completed with `sent` bytes while
    // `waiting` was queued behind it.
    void CompleteSend(const std::string& inFlight, std::uint32_t sent, const std::string& waiting)
    {
        m_sendBuf.Clear();
        m_sendBuf.Append(inFlight.data(), static_cast<std::uint32_t>(inFlight.size()));
        AppendSendData(waiting.data(), static_cast<std::uint32_t>(waiting.size()));
        m_sendBuf.SetOp(IO_IOCPSESSION_OPER_SEND_COMPLETE);
        m_sendBuf.SetNumberOfBytes(sent);
        OnIOComplete(&m_sendBuf);
    }
    void OnError(int code, const char* text) override
    {
        std::lock_guard<std::mutex> g(mutex);
        errors.emplace_back(code, text);
    }
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> errors;
};

struct Connected {
    std::shared_ptr<SessionLog> log = std::make_shared<SessionLog>();
    TestClientSession* session = nullptr;
    SOCKET server = INVALID_SOCKET;
};

// A framed session connected to the test's listener, with both directions on.
bool ConnectSession(Listener& listener, Connected& c)
{
    c.session = new TestClientSession(c.log);
    if (!c.session->Connect("127.0.0.1", listener.Port())) return false;
    c.server = listener.Accept();
    if (c.server == INVALID_SOCKET) return false;
    SetRecvTimeout(c.server, 5000);
    return WaitFor([&] { return c.session->IsConnected() && c.session->IsSendEnabled() && c.session->IsIOPending(); });
}

}  // namespace

TEST(IOCPSessionTest, LargeTransfersBothWaysBetweenTwoSessions)
{
    Listener listener;
    auto clientLog = std::make_shared<SessionLog>();
    auto serverLog = std::make_shared<SessionLog>();
    auto clientData = std::make_shared<RawData>();
    auto serverData = std::make_shared<RawData>();
    const std::size_t size = 3u << 20;
    clientData->source = Pattern(size, 1);
    serverData->source = Pattern(size, 2);

    auto* client = new RawClient(clientLog, clientData);
    ASSERT_TRUE(client->Connect("127.0.0.1", listener.Port()));
    SOCKET s = listener.Accept();
    ASSERT_NE(s, INVALID_SOCKET);
    auto* server = new RawClient(serverLog, serverData);
    ASSERT_TRUE(server->Open(s));

    EXPECT_TRUE(WaitFor([&] { return clientData->Received() == size && serverData->Received() == size; }, 30000));
    EXPECT_TRUE(clientData->received == serverData->source);
    EXPECT_TRUE(serverData->received == clientData->source);
    EXPECT_TRUE(clientLog->Errors().empty());
    EXPECT_TRUE(serverLog->Errors().empty());

    EXPECT_TRUE(ReleaseAndWait(client, clientLog));
    EXPECT_TRUE(ReleaseAndWait(server, serverLog));
}

TEST(IOCPSessionTest, RemainderOfAPartialSendGoesOutBeforeWaitingBytes)
{
    Listener listener;
    CTcpSocket out;
    ASSERT_TRUE(out.Connect("127.0.0.1", listener.Port()));
    SOCKET peer = listener.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    SetRecvTimeout(peer, 5000);

    auto* session = new ManualSession;
    session->Start(out.Detach());
    session->CompleteSend("0123456789", 4, "abc");
    char got[9] = {};
    ASSERT_TRUE(RecvAll(peer, got, sizeof got));
    EXPECT_EQ(std::string(got, 9), "456789abc");

    session->Close();
    EXPECT_TRUE(WaitFor([&] { return !session->IsIOPending(); }));
    session->DoClose();
    EXPECT_TRUE(session->errors.empty());
    delete session;
    closesocket(peer);
}

TEST(IOCPSessionTest, ImpossibleSendCompletionsCloseTheSession)
{
    ManualSession zero;
    zero.CompleteSend("abc", 0, "");
    ManualSession tooMany;
    tooMany.CompleteSend("abc", 4, "");
    ASSERT_EQ(zero.errors.size(), 1u);
    EXPECT_EQ(zero.errors[0], std::make_pair(-1, std::string("IO_IOCPSESSION_OPER_SEND_COMPLETE -- completed 0 bytes")));
    ASSERT_EQ(tooMany.errors.size(), 1u);
    EXPECT_EQ(tooMany.errors[0].second,
              "IO_IOCPSESSION_OPER_SEND_COMPLETE -- pIOBuff->GetLength() is less than pIOBuff->GetNumberOfBytes()");
    for (ManualSession* s : {&zero, &tooMany}) {
        EXPECT_TRUE(s->IsClosing());
        EXPECT_FALSE(s->IsIOPending());
        EXPECT_FALSE(s->IsSendEnabled());
    }
}

TEST(IOCPSessionTest, ZeroByteReceiveReportsAndClosesOnTheNextTick)
{
    Listener listener;
    Connected c;
    ASSERT_TRUE(ConnectSession(listener, c));
    EXPECT_EQ(c.log->connects, 1);
    closesocket(c.server);
    // The close hook runs inside the tick's socket close, before it ends.
    EXPECT_TRUE(WaitFor([&] { return c.log->Closes() == 1 && !c.session->IsClosing(); }));
    EXPECT_TRUE(c.log->HasError("IO_IOCPSESSION_OPER_RECV_COMPLETE -- completed 0 bytes"));
    EXPECT_EQ(c.log->Errors().at(0).first, -1);
    EXPECT_EQ(c.session->GetState(), TCP_STATE_IDLE);
    EXPECT_FALSE(c.session->IsClosing());
    EXPECT_FALSE(c.session->IsValid());
    EXPECT_TRUE(WaitFor([&] { return !c.session->IsIOPending(); }));
    EXPECT_TRUE(ReleaseAndWait(c.session, c.log));
}

TEST(IOCPSessionTest, ReleaseWithAReceiveOutstandingDeletesAfterItEnds)
{
    Listener listener;
    Connected c;
    ASSERT_TRUE(ConnectSession(listener, c));
    c.session->Release();
    EXPECT_TRUE(WaitFor([&] { return c.log->IsDeleted(); }));
    // The outstanding receive ended with the socket's close before deletion.
    EXPECT_EQ(c.log->Closes(), 1);
    ASSERT_EQ(c.log->Errors().size(), 1u);
    EXPECT_EQ(c.log->Errors()[0].second, "CIOCPSession::OnIOCompleteFailed");
    EXPECT_NE(c.log->Errors()[0].first, 0);
    char byte;
    EXPECT_EQ(recv(c.server, &byte, 1, 0), 0);  // the peer sees the close
    closesocket(c.server);
}

TEST(IOCPSessionTest, FailedConnectReturnsToIdleUnarmedAndCanConnectAgain)
{
    auto log = std::make_shared<SessionLog>();
    auto* session = new TestClientSession(log);
    ASSERT_TRUE(session->Connect("127.0.0.1", ClosedPort()));
    EXPECT_TRUE(WaitFor([&] {
        return log->Closes() == 1 && session->GetState() == TCP_STATE_IDLE && session->IsConnectFinished();
    }));
    ASSERT_FALSE(log->Errors().empty());
    EXPECT_EQ(log->Errors()[0],
              std::make_pair(static_cast<int>(WSAECONNREFUSED),
                             std::string("CTcpSocket::Connect -- ::connect function return SOCKET_ERROR")));
    EXPECT_FALSE(session->IsRecvEnabled());
    EXPECT_FALSE(session->IsSendEnabled());
    EXPECT_FALSE(session->IsIOPending());

    // An idle session may try again; a connected one refuses.
    Listener listener;
    EXPECT_TRUE(WaitFor([&] { return !session->IsClosing(); }));
    ASSERT_TRUE(session->Connect("127.0.0.1", listener.Port()));
    SOCKET server = listener.Accept();
    ASSERT_NE(server, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return session->IsConnected() && session->IsRecvEnabled(); }));
    EXPECT_FALSE(session->Connect("127.0.0.1", listener.Port()));
    EXPECT_TRUE(session->IsConnected());
    EXPECT_TRUE(ReleaseAndWait(session, log));
    closesocket(server);
}

TEST(IOCPSessionTest, CloseRequestedByTheOwnerClosesTheSocketAndStaysClosed)
{
    Listener listener;
    Connected c;
    ASSERT_TRUE(ConnectSession(listener, c));
    c.session->Close();
    EXPECT_FALSE(c.session->IsRecvEnabled());
    EXPECT_TRUE(WaitFor([&] {
        return c.session->GetState() == TCP_STATE_IDLE && !c.session->IsIOPending() && c.log->Closes() == 1;
    }));
    char byte;
    EXPECT_EQ(recv(c.server, &byte, 1, 0), 0);
    EXPECT_TRUE(ReleaseAndWait(c.session, c.log));
    closesocket(c.server);
}

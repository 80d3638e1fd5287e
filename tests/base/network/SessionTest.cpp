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
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return s;
}

// Unframed bytes: what to send and what arrived.
struct RawData {
    std::mutex mutex;
    std::string source, received;
    std::size_t offset = 0;
    std::size_t Received()
    {
        std::lock_guard<std::mutex> g(mutex);
        return received.size();
    }
};

class RawClient : public TRecorded<CTcpClient> {
public:
    RawClient(std::shared_ptr<SessionLog> log, std::shared_ptr<RawData> data)
        : TRecorded(std::move(log), 8192u), m_data(std::move(data))
    {
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
        for (std::uint32_t taken = 1; taken && m_data->offset < m_data->source.size(); m_data->offset += taken) {
            const std::size_t left = m_data->source.size() - m_data->offset;
            taken = AppendSendData(m_data->source.data() + m_data->offset,
                                   static_cast<std::uint32_t>(left > 65536 ? 65536 : left));
        }
    }

private:
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
    void OnError(int code, const char*) override
    {
        std::lock_guard<std::mutex> g(mutex);
        codes.push_back(code);
    }
    std::mutex mutex;
    std::vector<int> codes;
};

// A framed session connected to the test's listener, with both directions on.
struct Connected {
    std::shared_ptr<SessionLog> log = std::make_shared<SessionLog>();
    TestClientSession* session = new TestClientSession(log);
    SOCKET server = INVALID_SOCKET;

    bool Open(Listener& listener)
    {
        if (!session->Connect("127.0.0.1", listener.Port())) return false;
        server = listener.Accept();
        return server != INVALID_SOCKET &&
               WaitFor([&] { return session->IsConnected() && session->IsSendEnabled() && session->IsIOPending(); });
    }
    ~Connected() { closesocket(server); }
};

const char kZeroReceive[] = "IO_IOCPSESSION_OPER_RECV_COMPLETE -- completed 0 bytes";

}  // namespace

TEST(IOCPSessionTest, LargeTransfersBothWaysBetweenTwoSessions)
{
    Listener listener;
    auto clientLog = std::make_shared<SessionLog>(), serverLog = std::make_shared<SessionLog>();
    auto clientData = std::make_shared<RawData>(), serverData = std::make_shared<RawData>();
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

TEST(IOCPSessionTest, TheRestOfAPartialSendGoesOutBeforeWaitingBytes)
{
    Listener listener;
    CTcpSocket out;
    ASSERT_TRUE(out.Connect("127.0.0.1", listener.Port()));
    SOCKET peer = listener.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    auto* session = new ManualSession;
    session->Start(out.Detach());
    session->CompleteSend("0123456789", 4, "abc");
    char got[9] = {};
    ASSERT_TRUE(RecvAll(peer, got, sizeof got));
    EXPECT_EQ(std::string(got, 9), "456789abc");
    session->Close();
    EXPECT_TRUE(WaitFor([&] { return !session->IsIOPending(); }));
    session->DoClose();
    EXPECT_TRUE(session->codes.empty());
    delete session;
    closesocket(peer);

    // Impossible completions (0 bytes, more than was sent) close the session.
    for (std::uint32_t sent : {0u, 4u}) {
        ManualSession bad;
        bad.CompleteSend("abc", sent, "");
        EXPECT_EQ(bad.codes.size(), 1u) << sent;
        EXPECT_TRUE(bad.IsClosing());
        EXPECT_FALSE(bad.IsIOPending());
        EXPECT_FALSE(bad.IsSendEnabled());
    }
}

TEST(IOCPSessionTest, APeerCloseOrAnOwnerCloseClosesOnTheNextTick)
{
    Listener listener;
    for (bool byPeer : {true, false}) {
        Connected c;
        ASSERT_TRUE(c.Open(listener));
        EXPECT_EQ(c.log->connects, 1);
        if (byPeer) {
            closesocket(c.server);
            c.server = INVALID_SOCKET;
        } else {
            c.session->Close();
            EXPECT_FALSE(c.session->IsRecvEnabled());
        }
        // The close hook runs inside the tick's socket close, before it ends.
        EXPECT_TRUE(WaitFor([&] { return c.log->Closes() == 1 && !c.session->IsClosing() && !c.session->IsIOPending(); }));
        EXPECT_EQ(c.log->HasError(kZeroReceive), byPeer);
        EXPECT_EQ(c.session->GetState(), TCP_STATE_IDLE);
        EXPECT_FALSE(c.session->IsValid());
        if (!byPeer) {
            EXPECT_TRUE(PeerClosed(c.server));
        }
        EXPECT_TRUE(ReleaseAndWait(c.session, c.log));
    }
}

TEST(IOCPSessionTest, ReleaseWithAReceiveOutstandingDeletesAfterItEnds)
{
    Listener listener;
    Connected c;
    ASSERT_TRUE(c.Open(listener));
    EXPECT_TRUE(ReleaseAndWait(c.session, c.log));
    // The outstanding receive ended with the socket's close before deletion.
    EXPECT_EQ(c.log->Closes(), 1);
    ASSERT_EQ(c.log->Errors().size(), 1u);
    EXPECT_NE(c.log->Errors()[0].first, 0);
    EXPECT_TRUE(PeerClosed(c.server));
}

TEST(IOCPSessionTest, FailedConnectReturnsToIdleUnarmedAndCanConnectAgain)
{
    auto log = std::make_shared<SessionLog>();
    auto* session = new TestClientSession(log);
    ASSERT_TRUE(session->Connect("127.0.0.1", ClosedPort()));
    EXPECT_TRUE(WaitFor([&] {
        return log->Closes() == 1 && session->GetState() == TCP_STATE_IDLE && session->IsConnectFinished() &&
               !session->IsClosing();
    }));
    ASSERT_FALSE(log->Errors().empty());
    EXPECT_EQ(log->Errors()[0].first, WSAECONNREFUSED);
    EXPECT_FALSE(session->IsRecvEnabled());
    EXPECT_FALSE(session->IsSendEnabled());
    EXPECT_FALSE(session->IsIOPending());

    // An idle session may try again; a connected one refuses.
    Listener listener;
    ASSERT_TRUE(session->Connect("127.0.0.1", listener.Port()));
    SOCKET server = listener.Accept();
    ASSERT_NE(server, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return session->IsConnected() && session->IsRecvEnabled(); }));
    EXPECT_FALSE(session->Connect("127.0.0.1", listener.Port()));
    EXPECT_TRUE(session->IsConnected());
    EXPECT_TRUE(ReleaseAndWait(session, log));
    closesocket(server);
}

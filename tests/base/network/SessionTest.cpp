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

// Sends its source unframed and keeps what arrives.
class RawClient : public TRecorded<CTcpClient> {
public:
    RawClient(std::shared_ptr<SessionLog> log, std::string source) : TRecorded(std::move(log), 8192u), m_source(source) {}
    std::string Received(bool sizeOnly = false)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return sizeOnly ? std::string(m_received.size(), '\0') : m_received;
    }
    bool OnGetData(char* p, std::uint32_t n) override
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_received.append(p, n);
        NotifyNetActivity();
        return true;
    }
    void OnPrepareSendData() override
    {
        std::lock_guard<std::mutex> g(m_mutex);
        for (std::uint32_t taken = 1; taken && m_offset < m_source.size(); m_offset += taken)
            taken = AppendSendData(m_source.data() + m_offset,
                                   static_cast<std::uint32_t>(std::min<std::size_t>(m_source.size() - m_offset, 65536)));
    }

private:
    std::mutex m_mutex;
    std::string m_source, m_received;
    std::size_t m_offset = 0;
};

// A session driven by hand: its send direction belongs to the test, which
// stands in for the completion port: a send of `inFlight` completes with
// `sent` bytes while `waiting` is queued behind it.
class ManualSession : public TRecorded<CIOCPSession> {
public:
    explicit ManualSession(SOCKET s = INVALID_SOCKET) : TRecorded(std::make_shared<SessionLog>(), 64u)
    {
        if (s == INVALID_SOCKET) return;
        Attach(s, TCP_STATE_CONNECTED);
        SetNonblocking(true);
        m_pPort = &CIOCPSessionWorkThread::Instance()->GetPort();
        m_pPort->AssociateDevice(m_socket, reinterpret_cast<ULONG_PTR>(static_cast<CIOCPObject*>(this)));
        m_bSendEnabled = true;
        m_sendBuf.SetBusy(true);
    }
    void CompleteSend(const std::string& inFlight, std::uint32_t sent, const std::string& waiting)
    {
        m_sendBuf.Clear();
        m_sendBuf.Append(inFlight.data(), static_cast<std::uint32_t>(inFlight.size()));
        AppendSendData(waiting.data(), static_cast<std::uint32_t>(waiting.size()));
        m_sendBuf.SetOp(IO_IOCPSESSION_OPER_SEND_COMPLETE);
        m_sendBuf.SetNumberOfBytes(sent);
        OnIOComplete(&m_sendBuf);
    }
    SessionLog& Log() { return *m_log; }
};

const char kZeroReceive[] = "IO_IOCPSESSION_OPER_RECV_COMPLETE -- completed 0 bytes";

}  // namespace

TEST(IOCPSessionTest, LargeTransfersBothWaysBetweenTwoSessions)
{
    Listener listener;
    auto clientLog = std::make_shared<SessionLog>(), serverLog = std::make_shared<SessionLog>();
    const std::size_t size = 3u << 20;
    auto* client = new RawClient(clientLog, PatternBytes(size));
    ASSERT_TRUE(client->Connect("127.0.0.1", listener.Port()));
    SOCKET s = listener.Accept();
    ASSERT_NE(s, INVALID_SOCKET);
    auto* server = new RawClient(serverLog, PatternBytes(size + 1).substr(1));
    ASSERT_TRUE(server->Open(s));
    EXPECT_TRUE(WaitFor([&] { return client->Received(true).size() == size && server->Received(true).size() == size; }, 30000));
    EXPECT_TRUE(client->Received() == PatternBytes(size + 1).substr(1));
    EXPECT_TRUE(server->Received() == PatternBytes(size));
    EXPECT_TRUE(clientLog->Errors().empty() && serverLog->Errors().empty());
    EXPECT_TRUE(ReleaseAndWait(client, clientLog));
    EXPECT_TRUE(ReleaseAndWait(server, serverLog));
}

TEST(IOCPSessionTest, TheRestOfAPartialSendGoesOutFirstAndImpossibleCompletionsClose)
{
    Listener listener;
    CTcpSocket out;
    ASSERT_TRUE(out.Connect("127.0.0.1", listener.Port()));
    SOCKET peer = listener.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    auto* session = new ManualSession(out.Detach());
    session->CompleteSend("0123456789", 4, "abc");
    EXPECT_EQ(RecvBytes(peer, 9), "456789abc");
    session->Close();
    EXPECT_TRUE(WaitFor([&] { return !session->IsIOPending(); }));
    session->DoClose();
    EXPECT_TRUE(session->Log().Errors().empty());
    delete session;
    closesocket(peer);
    for (std::uint32_t sent : {0u, 4u}) {  // nothing sent, more than was sent
        ManualSession bad;
        bad.CompleteSend("abc", sent, "");
        EXPECT_EQ(bad.Log().Errors().size(), 1u) << sent;
        EXPECT_TRUE(bad.IsClosing() && !bad.IsIOPending() && !bad.IsSendEnabled()) << sent;
    }
}

TEST(IOCPSessionTest, APeerCloseAnOwnerCloseOrAReleaseEndsTheReceiveAndClosesOnce)
{
    Listener listener;
    enum { BY_PEER, BY_OWNER, BY_RELEASE };
    for (int by : {BY_PEER, BY_OWNER, BY_RELEASE}) {
        // A framed session connected to the listener, with both directions on.
        auto log = std::make_shared<SessionLog>();
        auto* session = new TestClientSession(log);
        ASSERT_TRUE(session->Connect("127.0.0.1", listener.Port()));
        SOCKET server = listener.Accept();
        ASSERT_NE(server, INVALID_SOCKET);
        ASSERT_TRUE(
            WaitFor([&] { return session->IsConnected() && session->IsSendEnabled() && session->IsIOPending(); }));
        if (by == BY_PEER) {
            closesocket(server);
            server = INVALID_SOCKET;
        } else if (by == BY_OWNER) {
            session->Close();
            EXPECT_FALSE(session->IsRecvEnabled());
        } else {
            // Deleted only after the outstanding receive ended with the close.
            EXPECT_TRUE(ReleaseAndWait(session, log));
        }
        // The close hook runs inside the tick's socket close, before it ends.
        EXPECT_TRUE(WaitFor([&] { return log->closes == 1 && (by == BY_RELEASE || !session->IsClosing()); }));
        const auto errors = log->Errors();
        const auto zeroReceive = std::make_pair(-1, std::string(kZeroReceive));
        EXPECT_TRUE(by != BY_PEER || std::count(errors.begin(), errors.end(), zeroReceive)) << testing::PrintToString(errors);
        EXPECT_TRUE(by == BY_PEER || PeerClosed(server)) << by;
        closesocket(server);
        if (by == BY_RELEASE) continue;
        EXPECT_TRUE(WaitFor([&] { return !session->IsIOPending(); }));
        EXPECT_EQ(session->GetState(), TCP_STATE_IDLE);
        EXPECT_FALSE(session->IsValid());
        EXPECT_TRUE(ReleaseAndWait(session, log));
    }
}

TEST(IOCPSessionTest, FailedConnectReturnsToIdleUnarmedAndCanConnectAgain)
{
    auto log = std::make_shared<SessionLog>();
    auto* session = new TestClientSession(log);
    ASSERT_TRUE(session->Connect("127.0.0.1", ClosedPort()));
    EXPECT_TRUE(WaitFor([&] {
        return log->closes == 1 && session->GetState() == TCP_STATE_IDLE && session->IsConnectFinished() &&
               !session->IsClosing();
    }));
    EXPECT_EQ(log->Errors().at(0).first, WSAECONNREFUSED);
    EXPECT_TRUE(!session->IsRecvEnabled() && !session->IsSendEnabled() && !session->IsIOPending()) << "unarmed";
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

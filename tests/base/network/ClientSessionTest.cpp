#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "NetTestUtil.h"
#include "base/network/MsgPackQueue.h"
#include "base/utility/PackMsgBase.h"

using namespace Base::NetWork;
using Base::Utility::CPackMsgBase;

namespace {

void Feed(TestClientSession& s, std::string bytes) { s.OnGetData(&bytes[0], static_cast<std::uint32_t>(bytes.size())); }

typedef std::vector<std::pair<std::uint16_t, std::string>> Messages;  // id, body

// Takes every message out of the queue; only once the producer is done.
Messages TakeAll(CMsgPackQueue& q)
{
    Messages out;
    for (tagMsgPackNode* node; (node = q.Front()) != nullptr; q.Consume(0))
        out.emplace_back(ReadLe16(node->body + 4), std::string(node->body + 7, node->filled - 7));
    return out;
}

// The link scrambling modelled on its own: every byte goes out XOR the
// previous plain byte, the first one XOR 0x6D.
std::string Scrambled(const std::string& plain, std::uint8_t& key)
{
    std::string out(plain.size(), '\0');
    for (std::size_t i = 0; i < plain.size(); key = static_cast<std::uint8_t>(plain[i++]))
        out[i] = static_cast<char>(static_cast<std::uint8_t>(plain[i]) ^ key);
    return out;
}

// A scrambled session connected to a blocking socket that the test drives.
struct Linked {
    explicit Linked(std::uint32_t size = CClientSession::DEFAULT_SIZE) : session(new TestClientSession(log, size))
    {
        session->SetEncode(true);
        EXPECT_TRUE(session->Connect("127.0.0.1", listener.Port()));
        peer = listener.Accept();
        const BOOL on = TRUE;  // every piece its own segment
        setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        EXPECT_TRUE(WaitFor([&] { return session->IsConnected() && session->IsSendEnabled(); }));
    }
    ~Linked()
    {
        EXPECT_TRUE(ReleaseAndWait(session, log));
        closesocket(peer);
    }
    // Sends plain bytes scrambled, in one segment.
    bool Send(const std::string& plain)
    {
        const std::string wire = Scrambled(plain, sendKey);
        const bool ok = send(peer, wire.data(), static_cast<int>(wire.size()), 0) == static_cast<int>(wire.size());
        Sleep(20);
        return ok;
    }
    Listener listener;
    std::shared_ptr<SessionLog> log = std::make_shared<SessionLog>();
    TestClientSession* session;
    SOCKET peer = INVALID_SOCKET;
    std::uint8_t sendKey = 0x6D;
};

}  // namespace

// A full-size receive behind a staged header loses nothing.
TEST(ClientSessionTest, FramesAcrossReceivesOneErrorIsToleratedReceivingAndSendingStopAtTheBounds)
{
    TestClientSession t(std::make_shared<SessionLog>());
    const std::string body = PatternBytes(20000);
    const std::string plain = WireMessage(0x30, body) + WireMessage(0x31, "after");
    Feed(t, plain.substr(0, 5));
    EXPECT_EQ(t.StagedRecvBytes(), 5u);
    Feed(t, plain.substr(5, 8192));  // more than fits behind the staged bytes
    Feed(t, plain.substr(5 + 8192));
    EXPECT_EQ(TakeAll(t.RecvQueue()), (Messages{{0x30, body}, {0x31, "after"}}));

    // One framing error is tolerated, the next in a row closes.
    const struct { std::vector<std::string> pieces; std::vector<int> results; bool closes; } cases[] = {
        {{WireHeader(0, 0x1234) + "xyz", "12345"}, {PUSH_ZERO_LENGTH, PUSH_ZERO_LENGTH}, true},
        {{WireHeader(3, 5) + "abcd", WireMessage(1, "fine"), WireHeader(4, 6) + "abcd"}, {PUSH_REJECTED, PUSH_REJECTED}, false},
        {{WireHeader(MSG_MAX_LENGTH + 1, 0x42).substr(0, 5), WireHeader(MSG_MAX_LENGTH + 1, 0x42).substr(5) + std::string(8190, 'z')},
         {PUSH_TOO_LONG, PUSH_TOO_LONG},
         true},
    };
    for (const auto& c : cases) {
        auto log = std::make_shared<SessionLog>();
        TestClientSession s(log);
        for (const std::string& piece : c.pieces) Feed(s, piece);
        std::vector<int> results;
        for (const auto& e : log->Errors()) results.push_back(e.first);
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(s.IsClosing(), c.closes);
    }

    // Receiving stops at the count and at the byte bound.
    TestClientSession s(std::make_shared<SessionLog>());
    s.ForceRecvEnabled();
    std::string batch;
    for (int i = 0; i < 1000; ++i) batch += WireMessage(1, "");
    for (int i = 0; i < 49; ++i) Feed(s, batch);
    for (int i = 0; i < 999; ++i) Feed(s, WireMessage(1, ""));
    EXPECT_TRUE(s.IsRecvEnabled());
    Feed(s, WireMessage(1, ""));
    EXPECT_EQ(s.RecvQueue().Count(), 50000u);
    EXPECT_FALSE(s.IsRecvEnabled());
    EXPECT_FALSE(s.IsClosing());  // the connection stays open

    TestClientSession b(std::make_shared<SessionLog>());
    b.ForceRecvEnabled();
    const std::string big = WireMessage(2, std::string(MSG_MAX_LENGTH - 7, 'b'));
    for (int i = 0; i < 15; ++i) Feed(b, big);
    EXPECT_TRUE(b.IsRecvEnabled());
    Feed(b, big);
    EXPECT_EQ(b.RecvQueue().Bytes(), 16u << 20);
    EXPECT_FALSE(b.IsRecvEnabled());

    // Sends past the class limits and bad messages are refused.
    TestClientSession sender(std::make_shared<SessionLog>());
    EXPECT_FALSE(sender.Send(WireMessage(1, "", 3).data()));
    EXPECT_FALSE(sender.Send(WireHeader(5, 1).data()));  // shorter than its header
    EXPECT_FALSE(sender.Send(nullptr));
    int accepted = 0;
    // Refused once more than 10000 / 20000 / 50000 are queued, for classes 2 / 1 / 0.
    const std::pair<std::uint8_t, int> classes[] = {{2, 10001}, {1, 20001}, {0, 50001}};
    for (const auto& c : classes) {
        const std::string m = WireMessage(1, "", c.first);
        while (sender.Send(m.data())) ++accepted;
        EXPECT_EQ(accepted, c.second) << int(c.first);
    }
    EXPECT_FALSE(sender.Send(WireMessage(1, "", 2).data()));
}

TEST(ClientSessionSocketTest, ScrambledStreamsBothWaysInAnySegmentation)
{
    Linked link;
    std::string plain;
    for (unsigned i = 0; i < 40; ++i) {  // classes 0-2, bodies up to 19.5 KB: several stage fillings
        CPackMsgBase msg(static_cast<std::uint16_t>(0x100 + i), static_cast<std::uint8_t>(i % 3), i * 500);
        const std::string body(i * 500, static_cast<char>(i));
        ASSERT_TRUE(msg.WirteData(body.data(), static_cast<std::uint32_t>(body.size())));
        ASSERT_TRUE(link.session->Send(msg.GetMsg()));
        plain.append(msg.GetMsg(), msg.GetMsgLength());
    }
    std::uint8_t key = 0x6D;
    EXPECT_TRUE(RecvBytes(link.peer, plain.size()) == Scrambled(plain, key)) << "the client's stream is scrambled once, in queue order";

    // A header cut in two, three messages in one segment, one long message in pieces.
    const std::string first = WireMessage(0x21, "split header"), longer = WireMessage(0x26, PatternBytes(20000));
    for (const std::string& piece : {first.substr(0, 3), first.substr(3), WireMessage(0x22, "a") + WireMessage(0x23, "bb"),
                                     longer.substr(0, 5000), longer.substr(5000, 9000), longer.substr(14000)})
        ASSERT_TRUE(link.Send(piece));
    CMsgPackQueue& queue = link.session->RecvQueue();
    ASSERT_TRUE(WaitFor([&] { return queue.Count() == 4 && !queue.IsTailIncomplete(); }));
    EXPECT_EQ(TakeAll(queue), (Messages{{0x21, "split header"}, {0x22, "a"}, {0x23, "bb"}, {0x26, PatternBytes(20000)}}));
    EXPECT_TRUE(link.log->Errors().empty());
}

// 8 KiB socket buffers crawl on loopback, whose segments are far larger;
// the bound does not depend on the buffer size.
TEST(ClientSessionSocketTest, AFloodStopsReceivingWithTheLinkKept)
{
    Linked link(64 * 1024);
    const std::string big = WireMessage(0x32, std::string(MSG_MAX_LENGTH - 7, '\0'));
    u_long nonblocking = 1;
    ioctlsocket(link.peer, FIONBIO, &nonblocking);
    std::string pending;
    int messages = 0;
    EXPECT_TRUE(WaitFor([&] {  // sends what the socket takes while waiting: up to 20 MiB
        if (pending.empty() && messages < 20) pending = Scrambled(big, link.sendKey), ++messages;
        const int n = pending.empty() ? 0 : send(link.peer, pending.data(), static_cast<int>(pending.size()), 0);
        if (n > 0) pending.erase(0, n);
        return !link.session->IsRecvEnabled();
    }, 20000));
    const std::uint64_t bytes = link.session->RecvQueue().Bytes();
    EXPECT_GE(bytes, 16u << 20);
    EXPECT_LE(bytes, 17u << 20);  // at most one receive past the bound
    EXPECT_TRUE(link.session->IsConnected());
    EXPECT_FALSE(WaitFor([&] { return link.session->RecvQueue().Bytes() != bytes; }, 200));
}

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

// An independent model of the link scrambling: every byte is sent XOR the
// previous plain byte, the first one XOR 0x6D.
std::string Scrambled(const std::string& plain, std::uint8_t& last)
{
    std::string out(plain.size(), '\0');
    for (std::size_t i = 0; i < plain.size(); ++i) {
        out[i] = static_cast<char>(static_cast<std::uint8_t>(plain[i]) ^ last);
        last = static_cast<std::uint8_t>(plain[i]);
    }
    return out;
}

void Feed(TestClientSession& s, std::string bytes)
{
    s.OnGetData(&bytes[0], static_cast<std::uint32_t>(bytes.size()));
}

struct Msg {
    std::uint16_t id;
    std::string body;
    bool operator==(const Msg& o) const { return id == o.id && body == o.body; }
};

std::ostream& operator<<(std::ostream& os, const Msg& m) { return os << m.id << ":" << m.body.size(); }

// Takes every message out of the queue; only once the producer is done.
std::vector<Msg> TakeAll(CMsgPackQueue& q)
{
    std::vector<Msg> out;
    while (tagMsgPackNode* node = q.Front()) {
        out.push_back({ReadLe16(node->body + 4), std::string(node->body + 7, node->filled - 7)});
        q.Consume(0);
    }
    return out;
}

bool BackIs(CMsgPackQueue& q, std::uint16_t id)
{
    tagMsgPackNode* node = q.Back();
    return node && !q.IsTailIncomplete() && node->filled >= 7 && ReadLe16(node->body + 4) == id;
}

const std::string kErr = "CClientSession::OnGetData -- PushData ";

enum { PEER_CHECK = 1, PEER_SPLIT, PEER_LEN0, PEER_LENBIG, PEER_CLOSE, PEER_FLOOD_COUNT, PEER_FLOOD_BYTES };
const std::uint16_t ID_VERDICT = 0x0C0C, ID_GO_ON = 0x0060, ID_DONE = 0x00D0;

std::string U32(std::uint32_t v)
{
    std::string s(4, '\0');
    WriteLe32(&s[0], v);
    return s;
}

// A scrambled session on the scripted peer, playing one scenario.
struct PeerRun {
    explicit PeerRun(std::uint32_t size = CClientSession::DEFAULT_SIZE) : session(new TestClientSession(log, size)) {}
    std::shared_ptr<SessionLog> log = std::make_shared<SessionLog>();
    TestClientSession* session;

    bool Start(std::uint16_t scenario, const std::string& body = std::string())
    {
        if (PeerPort() == 0) return false;
        session->SetEncode(true);
        if (!session->Connect("127.0.0.1", PeerPort())) return false;
        if (!WaitFor([&] { return session->IsConnected() && session->IsSendEnabled(); })) return false;
        return session->Send(WireMessage(scenario, body).data());
    }
    ~PeerRun() { EXPECT_TRUE(ReleaseAndWait(session, log)); }
};

}  // namespace

TEST(ClientSessionFramingTest, HeaderCutAcrossReceivesWaitsInTheStage)
{
    TestClientSession s(std::make_shared<SessionLog>());
    s.SetEncode(true);
    std::uint8_t key = 0x6D;
    const std::string wire = Scrambled(WireMessage(0x21, "split header") + WireMessage(0x22, "x"), key);
    Feed(s, wire.substr(0, 3));
    EXPECT_EQ(s.StagedRecvBytes(), 3u);
    EXPECT_EQ(s.RecvQueue().Count(), 0u);
    Feed(s, wire.substr(3, 17));
    Feed(s, wire.substr(20));
    EXPECT_EQ(s.StagedRecvBytes(), 0u);
    EXPECT_EQ(TakeAll(s.RecvQueue()), (std::vector<Msg>{{0x21, "split header"}, {0x22, "x"}}));
}

TEST(ClientSessionFramingTest, FullSizeReceiveBehindAStagedHeaderLosesNothing)
{
    TestClientSession s(std::make_shared<SessionLog>());
    std::string body(20000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
    const std::string wire = WireMessage(0x30, body) + WireMessage(0x31, "after");
    Feed(s, wire.substr(0, 5));
    Feed(s, wire.substr(5, 8192));  // more than fits behind the 5 staged bytes
    Feed(s, wire.substr(5 + 8192));
    EXPECT_EQ(TakeAll(s.RecvQueue()), (std::vector<Msg>{{0x30, body}, {0x31, "after"}}));
}

TEST(ClientSessionFramingTest, OneFramingErrorIsToleratedTheNextCloses)
{
    auto log = std::make_shared<SessionLog>();
    TestClientSession s(log);
    Feed(s, WireMessage(7, "hi"));
    s.RecvQueue().Consume(0);  // becomes the last removed message
    Feed(s, WireHeader(0, 0x1234) + "xyz");
    ASSERT_EQ(log->Errors().size(), 1u);
    EXPECT_EQ(log->Errors()[0], std::make_pair(6, kErr + "Error2 10 0 10 4660 0 0 0 7 9 9 9"));
    EXPECT_FALSE(s.IsClosing());
    EXPECT_EQ(s.StagedRecvBytes(), 10u);

    Feed(s, "12345");
    ASSERT_EQ(log->Errors().size(), 2u);
    EXPECT_EQ(log->Errors()[1], std::make_pair(6, kErr + "Error3 15 0 15 4660 0 0 0 7 9 9 9"));
    EXPECT_TRUE(s.IsClosing());
}

TEST(ClientSessionFramingTest, GoodFramingBetweenErrorsRestoresTheTolerance)
{
    auto log = std::make_shared<SessionLog>();
    TestClientSession s(log);
    Feed(s, WireHeader(3, 5) + "abcd");  // shorter than a header: rejected, all consumed
    Feed(s, WireMessage(1, "fine"));
    Feed(s, WireHeader(4, 6) + "abcd");
    const auto errors = log->Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], std::make_pair(9, kErr + "Error2 11 11 0 5 3 0 0 0 0 0 0"));
    EXPECT_EQ(errors[1], std::make_pair(9, kErr + "Error2 11 11 0 6 4 0 0 0 0 0 0"));
    EXPECT_FALSE(s.IsClosing());
    EXPECT_EQ(s.RecvQueue().Count(), 1u);
}

TEST(ClientSessionFramingTest, OversizedLengthInTheStageGivesErrorsFourAndFive)
{
    auto log = std::make_shared<SessionLog>();
    TestClientSession s(log);
    const std::string header = WireHeader(MSG_MAX_LENGTH + 1, 0x42);
    Feed(s, header.substr(0, 5));
    Feed(s, header.substr(5) + std::string(8190, 'z'));
    const auto errors = log->Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], std::make_pair(5, kErr + "Error4 8192 0 8192 66 1048577 0 0 0 0 0 0"));
    EXPECT_EQ(errors[1], std::make_pair(5, kErr + "Error5 8192 0 8192 66 1048577 0 0 0 0 0 0"));
    EXPECT_TRUE(s.IsClosing());
}

TEST(ClientSessionFramingTest, ReceivingStopsAtTheMessageCountBound)
{
    TestClientSession s(std::make_shared<SessionLog>());
    s.ForceRecvEnabled();
    std::string batch;
    for (int i = 0; i < 1000; ++i) batch += WireMessage(1, "");
    for (int i = 0; i < 49; ++i) Feed(s, batch);
    for (int i = 0; i < 999; ++i) Feed(s, WireMessage(1, ""));
    EXPECT_EQ(s.RecvQueue().Count(), 49999u);
    EXPECT_TRUE(s.IsRecvEnabled());
    Feed(s, WireMessage(1, ""));
    EXPECT_EQ(s.RecvQueue().Count(), 50000u);
    EXPECT_FALSE(s.IsRecvEnabled());
    EXPECT_FALSE(s.IsClosing());  // the connection stays open
}

TEST(ClientSessionFramingTest, ReceivingStopsAtTheByteBound)
{
    TestClientSession s(std::make_shared<SessionLog>());
    s.ForceRecvEnabled();
    const std::string big = WireMessage(2, std::string(MSG_MAX_LENGTH - 7, 'b'));
    for (int i = 0; i < 15; ++i) Feed(s, big);
    EXPECT_TRUE(s.IsRecvEnabled());
    Feed(s, big);
    EXPECT_EQ(s.RecvQueue().Count(), 16u);
    EXPECT_EQ(s.RecvQueue().Bytes(), 16u << 20);
    EXPECT_FALSE(s.IsRecvEnabled());
}

TEST(ClientSessionSendTest, ClassLimitsAndBadMessagesAreRefused)
{
    TestClientSession s(std::make_shared<SessionLog>());
    EXPECT_FALSE(s.Send(WireMessage(1, "", 3).data()));
    EXPECT_FALSE(s.Send(WireHeader(5, 1).data()));  // shorter than its header
    EXPECT_FALSE(s.Send(nullptr));
    const std::string m2 = WireMessage(2, "", 2), m1 = WireMessage(1, "", 1), m0 = WireMessage(0, "", 0);
    int accepted = 0;
    while (s.Send(m2.data())) ++accepted;
    EXPECT_EQ(accepted, 10001);  // refused once more than 10000 are queued
    while (s.Send(m1.data())) ++accepted;
    EXPECT_EQ(accepted, 20001);
    EXPECT_FALSE(s.Send(m2.data()));
    while (s.Send(m0.data())) ++accepted;
    EXPECT_EQ(accepted, 50001);
    EXPECT_FALSE(s.Send(m1.data()));
    EXPECT_EQ(s.SendQueue().Count(), 50001u);
}

TEST(ClientSessionSendTest, OutgoingStreamIsScrambledOnceInQueueOrder)
{
    TestClientSession s(std::make_shared<SessionLog>());
    char abc[] = {0x41, 0x42, 0x43};
    char* out = nullptr;
    std::uint32_t n = 0;
    ASSERT_TRUE(s.EnCode(abc, 3, out, n));
    EXPECT_EQ(out, abc);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(abc, 3), "\x2C\x03\x01");  // 41^6D, 42^41, 43^42

    TestClientSession t(std::make_shared<SessionLog>());
    t.SetEncode(true);
    std::string plain = WireMessage(1, "first");
    plain += WireMessage(2, std::string(20000, 'q'));
    plain += WireMessage(3, "last");
    ASSERT_TRUE(t.Send(WireMessage(1, "first").data()));
    ASSERT_TRUE(t.Send(WireMessage(2, std::string(20000, 'q')).data()));
    ASSERT_TRUE(t.Send(WireMessage(3, "last").data()));
    std::uint8_t key = 0x6D;
    const std::string expected = Scrambled(plain, key);
    // The engine's pending buffer takes 8192 bytes at a time; emptying it in
    // between stands in for the socket.
    std::string wire;
    for (int round = 0; round < 10 && wire.size() < expected.size(); ++round) {
        t.OnPrepareSendData();
        wire += t.PendingSendBytes();
        t.ClearPendingSend();
    }
    EXPECT_TRUE(wire == expected) << wire.size() << " of " << expected.size();
    EXPECT_EQ(t.SendQueue().Count(), 0u);
}

TEST(ClientSessionPeerTest, PeerChecksWhatTheClientSends)
{
    PeerRun run;
    ASSERT_TRUE(run.Start(PEER_CHECK, U32(40) + U32(500)));
    for (unsigned i = 0; i < 40; ++i) {
        CPackMsgBase msg(static_cast<std::uint16_t>(0x100 + i), static_cast<std::uint8_t>(i % 3), i * 500);
        const std::string body(i * 500, static_cast<char>(i));
        ASSERT_TRUE(msg.WirteData(body.data(), static_cast<std::uint32_t>(body.size())));
        ASSERT_TRUE(run.session->Send(msg.GetMsg()));
    }
    ASSERT_TRUE(WaitFor([&] { return BackIs(run.session->RecvQueue(), ID_VERDICT); }));
    EXPECT_EQ(TakeAll(run.session->RecvQueue()), (std::vector<Msg>{{ID_VERDICT, "ok"}}));
    EXPECT_TRUE(run.log->Errors().empty());
}

TEST(ClientSessionPeerTest, PeerSegmentationIsReassembled)
{
    PeerRun run;
    ASSERT_TRUE(run.Start(PEER_SPLIT));
    ASSERT_TRUE(WaitFor([&] { return BackIs(run.session->RecvQueue(), ID_DONE); }));
    std::string longBody(20000, '\0');
    for (std::size_t i = 0; i < longBody.size(); ++i) longBody[i] = static_cast<char>(i & 0xFF);
    EXPECT_EQ(TakeAll(run.session->RecvQueue()),
              (std::vector<Msg>{{0x21, "split header"},
                                {0x22, "a"},
                                {0x23, "bb"},
                                {0x24, "ccc"},
                                {0x25, ""},
                                {0x26, longBody},
                                {ID_DONE, ""}}));
    EXPECT_TRUE(run.log->Errors().empty());
    EXPECT_EQ(run.session->StagedRecvBytes(), 0u);
}

TEST(ClientSessionPeerTest, PeerBadLengthsAreToleratedOnceThenClose)
{
    const struct {
        std::uint16_t scenario;
        int result;
        std::string length;
    } cases[] = {{PEER_LEN0, PUSH_ZERO_LENGTH, "0"}, {PEER_LENBIG, PUSH_TOO_LONG, "1048577"}};
    for (const auto& c : cases) {
        PeerRun run;
        ASSERT_TRUE(run.Start(c.scenario));
        ASSERT_TRUE(WaitFor([&] { return run.log->Errors().size() == 1; }));
        EXPECT_EQ(run.log->Errors()[0], std::make_pair(c.result, kErr + "Error2 10 0 10 4660 " + c.length + " 0 0 0 0 0 0"));
        EXPECT_TRUE(run.session->IsConnected());
        EXPECT_FALSE(run.session->IsClosing());
        ASSERT_TRUE(run.session->Send(WireMessage(ID_GO_ON, "").data()));
        ASSERT_TRUE(WaitFor([&] { return run.log->Closes() == 1; }));
        EXPECT_EQ(run.log->Errors().at(1),
                  std::make_pair(c.result, kErr + "Error3 15 0 15 4660 " + c.length + " 0 0 0 0 0 0"));
        EXPECT_EQ(run.session->GetState(), TCP_STATE_IDLE);
    }
}

TEST(ClientSessionPeerTest, PeerCloseIsSeenAfterItsLastMessage)
{
    PeerRun run;
    ASSERT_TRUE(run.Start(PEER_CLOSE));
    ASSERT_TRUE(WaitFor([&] { return run.log->Closes() == 1; }));
    EXPECT_TRUE(run.log->HasError("IO_IOCPSESSION_OPER_RECV_COMPLETE -- completed 0 bytes"));
    EXPECT_EQ(run.session->GetState(), TCP_STATE_IDLE);
    EXPECT_EQ(TakeAll(run.session->RecvQueue()), (std::vector<Msg>{{0x77, "bye"}}));
}

// 8 KiB socket buffers crawl on loopback, whose segments are far larger;
// the bounds do not depend on the buffer size.
const std::uint32_t kFloodBuffer = 64 * 1024;

TEST(ClientSessionPeerTest, MessageFloodStopsReceivingWithTheLinkKept)
{
    {
        PeerRun run(kFloodBuffer);
        ASSERT_TRUE(run.Start(PEER_FLOOD_COUNT, U32(60000)));
        ASSERT_TRUE(WaitFor([&] { return !run.session->IsRecvEnabled(); }, 20000));
        const std::uint32_t count = run.session->RecvQueue().Count();
        EXPECT_GE(count, 50000u);
        EXPECT_LT(count, 50000u + kFloodBuffer / 7 + 1);  // at most one receive past the bound
        EXPECT_TRUE(run.session->IsConnected());
        EXPECT_FALSE(WaitFor([&] { return run.session->RecvQueue().Count() != count; }, 200));
    }
}

TEST(ClientSessionPeerTest, ByteFloodStopsReceivingWithTheLinkKept)
{
    {
        PeerRun run(kFloodBuffer);
        ASSERT_TRUE(run.Start(PEER_FLOOD_BYTES, U32(20)));
        ASSERT_TRUE(WaitFor([&] { return !run.session->IsRecvEnabled(); }, 20000))
            << run.session->RecvQueue().Bytes() << " bytes in " << run.session->RecvQueue().Count();
        const std::uint64_t bytes = run.session->RecvQueue().Bytes();
        EXPECT_GE(bytes, 16u << 20);
        EXPECT_LE(bytes, 17u << 20);
        EXPECT_TRUE(run.session->IsConnected());
        EXPECT_TRUE(run.log->Errors().empty());
    }
}

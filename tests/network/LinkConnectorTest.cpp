#include <gtest/gtest.h>
#include <winsock2.h>

#include <memory>
#include <string>
#include <vector>

#include "NetTestUtil.h"
#include "app/LinkServer.h"
#include "base/network/LinkConnector.h"
#include "base/network/NetworkConnector.h"
#include "base/network/NetworkSession.h"
#include "update/UpdateEngine.h"

using namespace Base::NetWork;

namespace {

std::vector<int> Ports(const std::vector<std::unique_ptr<Listener>>& listeners)
{
    std::vector<int> ports;
    for (const auto& l : listeners) ports.push_back(l->Port());
    return ports;
}

std::vector<std::unique_ptr<Listener>> MakeListeners(int n)
{
    std::vector<std::unique_ptr<Listener>> out;
    for (int i = 0; i < n; ++i) out.emplace_back(new Listener);
    return out;
}

bool AllConnected(CLinkConnector& holder, unsigned n)
{
    for (unsigned i = 0; i < n; ++i)
        if (!holder.GetSlot(i) || !holder.GetSlot(i)->IsConnected()) return false;
    return true;
}

bool IsIdle(CNetworkConnector* c) { return c->GetSession()->GetState() == TCP_STATE_IDLE; }

}  // namespace

TEST(LinkConnectorTest, ThreePortsGiveThreeScrambledConnectorsInFileOrder)
{
    auto listeners = MakeListeners(3);
    CLinkConnector holder;
    holder.Connect("127.0.0.1", Ports(listeners));
    for (unsigned i = 0; i < 3; ++i) {
        ASSERT_NE(holder.GetSlot(i), nullptr);
        EXPECT_EQ(holder.GetSlot(i)->GetHost(), "127.0.0.1");
        EXPECT_EQ(holder.GetSlot(i)->GetPort(), listeners[i]->Port());
        EXPECT_TRUE(holder.GetSlot(i)->IsEncode());
        EXPECT_TRUE(holder.GetSlot(i)->GetSession()->IsEncode());
    }
    // Attempts finish on their own threads: usually none has when the slots
    // are checked, and then the call after they are up picks slot 0.
    if (holder.GetActive() == nullptr) {
        ASSERT_TRUE(WaitFor([&] { return AllConnected(holder, 3); }));
        holder.Connect("127.0.0.1", Ports(listeners));
        EXPECT_EQ(holder.GetActive(), holder.GetSlot(0));
    }
    ASSERT_TRUE(holder.IsConnected());
    CNetworkConnector* const link = holder.GetActive();
    // The other slots are closed and stay closed.
    EXPECT_TRUE(WaitFor([&] {
        for (unsigned i = 0; i < 3; ++i)
            if (holder.GetSlot(i) != link && !IsIdle(holder.GetSlot(i))) return false;
        return true;
    }));
    EXPECT_TRUE(link->IsConnected());

    // While the link is up, connecting again changes nothing.
    CNetworkSession* const linkSession = link->GetSession();
    holder.Connect("127.0.0.1", Ports(listeners));
    EXPECT_EQ(link->GetSession(), linkSession);
}

TEST(LinkConnectorTest, FourPortsUseOnlyTheFirstThreeAndOnePortOneSlot)
{
    auto listeners = MakeListeners(4);
    CLinkConnector four;
    four.Connect("127.0.0.1", Ports(listeners));
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(four.GetSlot(i)->GetPort(), listeners[i]->Port());
    EXPECT_EQ(four.GetSlot(3), nullptr);
    SOCKET extra = listeners[3]->Accept(300);
    EXPECT_EQ(extra, INVALID_SOCKET);  // nobody dialled the fourth port

    CLinkConnector one;
    one.Connect("127.0.0.1", {listeners[0]->Port() | 0x50000});  // only the low 16 bits count
    ASSERT_NE(one.GetSlot(0), nullptr);
    EXPECT_EQ(one.GetSlot(0)->GetPort(), listeners[0]->Port());
    EXPECT_EQ(one.GetSlot(1), nullptr);
    EXPECT_EQ(one.GetSlot(2), nullptr);
    EXPECT_TRUE(WaitFor([&] { return one.GetSlot(0)->IsConnected(); }));

    CLinkConnector none;
    none.Connect("127.0.0.1", {});
    EXPECT_EQ(none.GetSlot(0), nullptr);
    EXPECT_FALSE(none.IsConnected());
}

TEST(LinkConnectorTest, AnExistingConnectorKeepsItsAddressAndAFailedOneIsNotRetriedAlone)
{
    Listener listener;
    const std::uint16_t closed = ClosedPort();
    CLinkConnector holder;
    holder.Connect("127.0.0.1", {closed});
    CNetworkConnector* const c = holder.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return c->GetSession()->IsConnectFinished() && IsIdle(c) && !c->GetSession()->IsClosing(); }));
    EXPECT_FALSE(holder.IsConnected());
    CNetworkSession* const failed = c->GetSession();
    EXPECT_EQ(c->GetSession(), failed);  // nothing reconnects by itself

    // The next call gives the idle connector a new session on its old port.
    holder.Connect("127.0.0.1", {listener.Port()});
    EXPECT_EQ(c->GetPort(), closed);
    EXPECT_NE(c->GetSession(), failed);
}

TEST(LinkConnectorTest, ServerClosedLinkIsNotReopened)
{
    Listener listener;
    CLinkConnector holder;
    holder.Connect("127.0.0.1", {listener.Port()});
    SOCKET s = listener.Accept();
    ASSERT_NE(s, INVALID_SOCKET);
    CNetworkConnector* const c = holder.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return c->IsConnected(); }));
    closesocket(s);
    EXPECT_TRUE(WaitFor([&] { return IsIdle(c) && !c->GetSession()->IsClosing(); }));
    EXPECT_FALSE(c->IsConnected());
    EXPECT_EQ(listener.Accept(300), INVALID_SOCKET);
}

// Drives the process-wide holder through the window's routines; its slots
// keep their first addresses for the life of the process, so this runs once
// per process.
TEST(LinkConnectorTest, SecondReconnectReplacesOnlyTheClosedLink)
{
    Listener a, b;
    CUpdateEngine engine;
    engine.m_strLinkServerIP = "127.0.0.1";
    engine.m_vecLinkServerPort = {a.Port(), b.Port()};
    CLinkConnector& holder = *CLinkConnector::Instance();

    ReconnectLinkServer();
    ASSERT_NE(holder.GetSlot(0), nullptr);
    ASSERT_NE(holder.GetSlot(1), nullptr);
    EXPECT_EQ(holder.GetSlot(2), nullptr);
    SOCKET a1 = a.Accept(), b1 = b.Accept();
    ASSERT_NE(a1, INVALID_SOCKET);
    ASSERT_NE(b1, INVALID_SOCKET);
    if (holder.GetActive() == nullptr) {
        ASSERT_TRUE(WaitFor([&] { return AllConnected(holder, 2); }));
        ConnectLinkServer();  // picks slot 0 and closes slot 1
        ASSERT_EQ(holder.GetActive(), holder.GetSlot(0));
    }
    CNetworkConnector* const link = holder.GetActive();
    CNetworkConnector* const other = link == holder.GetSlot(0) ? holder.GetSlot(1) : holder.GetSlot(0);
    const SOCKET linkServer = link == holder.GetSlot(0) ? a1 : b1;
    const SOCKET otherServer = link == holder.GetSlot(0) ? b1 : a1;
    char byte;
    SetRecvTimeout(otherServer, 5000);
    EXPECT_EQ(recv(otherServer, &byte, 1, 0), 0);
    ASSERT_TRUE(WaitFor([&] { return IsIdle(other) && !other->GetSession()->IsClosing(); }));

    // The link's close is requested; it and the idle slot get new attempts.
    CNetworkSession* const oldLink = link->GetSession();
    CNetworkSession* const oldOther = other->GetSession();
    ReconnectLinkServer();
    EXPECT_NE(link->GetSession(), oldLink);
    EXPECT_NE(other->GetSession(), oldOther);
    SetRecvTimeout(linkServer, 5000);
    EXPECT_EQ(recv(linkServer, &byte, 1, 0), 0);  // the old link's socket was closed
    SOCKET a2 = a.Accept(), b2 = b.Accept();
    ASSERT_NE(a2, INVALID_SOCKET);
    ASSERT_NE(b2, INVALID_SOCKET);
    // As on the first call, an attempt that finished before the slots were
    // checked becomes the link at once and the other attempt is closed;
    // otherwise both come up and the next call picks slot 0.
    if (holder.GetActive() == nullptr) {
        ASSERT_TRUE(WaitFor([&] { return link->IsConnected() && other->IsConnected(); }));
        ConnectLinkServer();
        ASSERT_EQ(holder.GetActive(), holder.GetSlot(0));
    }
    CNetworkConnector* const newLink = holder.GetActive();
    CNetworkConnector* const spare = newLink == holder.GetSlot(0) ? holder.GetSlot(1) : holder.GetSlot(0);
    const SOCKET spareServer = newLink == holder.GetSlot(0) ? b2 : a2;
    SetRecvTimeout(spareServer, 5000);
    EXPECT_EQ(recv(spareServer, &byte, 1, 0), 0);  // the other attempt was closed
    EXPECT_TRUE(WaitFor([&] { return IsIdle(spare) && !spare->GetSession()->IsClosing(); }));
    EXPECT_TRUE(newLink->IsConnected());
    EXPECT_TRUE(holder.IsConnected());

    // The holder lives on; leave it without links for later tests.
    holder.Disconnect();
    for (unsigned i = 0; i < 2; ++i) holder.GetSlot(i)->Close();
    for (SOCKET s : {a1, b1, a2, b2}) closesocket(s);
}

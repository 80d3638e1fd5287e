#include <gtest/gtest.h>
#include <winsock2.h>

#include <memory>
#include <vector>

#include "NetTestUtil.h"
#include "base/network/LinkConnector.h"
#include "base/network/NetworkConnector.h"
#include "base/network/NetworkSession.h"

using namespace Base::NetWork;

namespace {

struct Listeners {
    explicit Listeners(int n)
    {
        for (int i = 0; i < n; ++i) {
            all.emplace_back(new Listener);
            ports.push_back(all.back()->Port());
        }
    }
    std::vector<std::unique_ptr<Listener>> all;
    std::vector<int> ports;
};

}  // namespace

TEST(LinkConnectorTest, OneSlotPerPortUpToThreeScrambledAndTheFirstConnectedIsTheLink)
{
    Listeners four(4);
    CLinkConnector holder;
    const std::vector<int> three(four.ports.begin(), four.ports.end() - 1);
    holder.Connect("127.0.0.1", four.ports);
    for (unsigned i = 0; i < 3; ++i) {
        ASSERT_NE(holder.GetSlot(i), nullptr);
        EXPECT_EQ(holder.GetSlot(i)->GetPort(), four.ports[i]);
        EXPECT_TRUE(holder.GetSlot(i)->GetSession()->IsEncode());
    }
    EXPECT_EQ(holder.GetSlot(3), nullptr);
    EXPECT_EQ(four.all[3]->Accept(300), INVALID_SOCKET) << "nobody dialled the fourth port";
    PickTheLink(holder, 3, [&] { holder.Connect("127.0.0.1", three); });
    ASSERT_TRUE(holder.IsConnected());
    CNetworkConnector* const link = holder.GetActive();
    EXPECT_TRUE(WaitFor([&] {
        for (unsigned i = 0; i < 3; ++i)
            if (holder.GetSlot(i) != link && !IsIdle(holder.GetSlot(i))) return false;
        return true;
    })) << "the other slots are closed";
    // While the link is up, connecting again changes nothing.
    CNetworkSession* const linkSession = link->GetSession();
    holder.Connect("127.0.0.1", three);
    EXPECT_EQ(link->GetSession(), linkSession);

    CLinkConnector one;  // only the low 16 bits of a port count
    one.Connect("127.0.0.1", {four.ports[0] | 0x50000});
    ASSERT_NE(one.GetSlot(0), nullptr);
    EXPECT_EQ(one.GetSlot(0)->GetPort(), four.ports[0]);
    EXPECT_EQ(one.GetSlot(1), nullptr);
}

TEST(LinkConnectorTest, AFailedOrServerClosedConnectorIsNotRetriedByItself)
{
    Listener listener;
    const std::uint16_t closed = ClosedPort();
    CLinkConnector failed;
    failed.Connect("127.0.0.1", {closed});
    CNetworkConnector* const c = failed.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return c->GetSession()->IsConnectFinished() && IsIdle(c); }));
    EXPECT_FALSE(failed.IsConnected());
    CNetworkSession* const old = c->GetSession();
    // The next call gives the idle connector a new session on its old port.
    failed.Connect("127.0.0.1", {listener.Port()});
    EXPECT_EQ(c->GetPort(), closed);
    EXPECT_NE(c->GetSession(), old);

    CLinkConnector holder;
    holder.Connect("127.0.0.1", {listener.Port()});
    SOCKET s = listener.Accept();
    ASSERT_NE(s, INVALID_SOCKET);
    CNetworkConnector* const up = holder.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return up->IsConnected(); }));
    closesocket(s);
    EXPECT_TRUE(WaitFor([&] { return IsIdle(up); }));
    EXPECT_EQ(listener.Accept(300), INVALID_SOCKET);
}

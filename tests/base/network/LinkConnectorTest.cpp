#include <gtest/gtest.h>
#include <winsock2.h>

#include <vector>

#include "NetTestUtil.h"
#include "base/network/LinkConnector.h"
#include "base/network/NetworkConnector.h"
#include "base/network/NetworkSession.h"

using namespace Base::NetWork;

TEST(LinkConnectorTest, OneSlotPerPortUpToThreeTheFirstConnectedIsTheLinkAndNoneIsRetriedByItself)
{
    Listener l[4];
    const std::vector<int> four = {l[0].Port(), l[1].Port(), l[2].Port(), l[3].Port()};
    const std::vector<int> three(four.begin(), four.end() - 1);
    CLinkConnector holder;
    holder.Connect("127.0.0.1", four);
    for (unsigned i = 0; i < 3; ++i) {
        ASSERT_NE(holder.GetSlot(i), nullptr);
        EXPECT_EQ(holder.GetSlot(i)->GetPort(), four[i]);
        EXPECT_TRUE(holder.GetSlot(i)->GetSession()->IsEncode());
    }
    EXPECT_EQ(holder.GetSlot(3), nullptr);
    EXPECT_EQ(l[3].Accept(300), INVALID_SOCKET) << "nobody dialled the fourth port";
    PickTheLink(holder, 3, [&] { holder.Connect("127.0.0.1", three); });
    ASSERT_TRUE(holder.IsConnected());
    // While the link is up, connecting again changes nothing. (That the other
    // slots are closed, LinkServerTest sees.)
    CNetworkConnector* const link = holder.GetActive();
    CNetworkSession* const linkSession = link->GetSession();
    holder.Connect("127.0.0.1", three);
    EXPECT_EQ(link->GetSession(), linkSession);

    CLinkConnector one;  // only the low 16 bits of a port count
    one.Connect("127.0.0.1", {four[0] | 0x50000});
    ASSERT_NE(one.GetSlot(0), nullptr);
    EXPECT_EQ(one.GetSlot(0)->GetPort(), four[0]);

    // A failed or server-closed connector is not retried by itself (the
    // fourth listener, which nobody dialled, serves here).
    const std::uint16_t closed = ClosedPort();
    CLinkConnector failed;
    failed.Connect("127.0.0.1", {closed});
    CNetworkConnector* const c = failed.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return c->GetSession()->IsConnectFinished() && IsIdle(c); }));
    EXPECT_FALSE(failed.IsConnected());
    CNetworkSession* const old = c->GetSession();
    // The next call gives the idle connector a new session on its old port.
    failed.Connect("127.0.0.1", {l[3].Port()});
    EXPECT_EQ(c->GetPort(), closed);
    EXPECT_NE(c->GetSession(), old);

    CLinkConnector served;
    served.Connect("127.0.0.1", {l[3].Port()});
    SOCKET s = l[3].Accept();
    ASSERT_NE(s, INVALID_SOCKET);
    CNetworkConnector* const up = served.GetSlot(0);
    ASSERT_TRUE(WaitFor([&] { return up->IsConnected(); }));
    closesocket(s);
    EXPECT_TRUE(WaitFor([&] { return IsIdle(up); }));
    EXPECT_EQ(l[3].Accept(300), INVALID_SOCKET);
}

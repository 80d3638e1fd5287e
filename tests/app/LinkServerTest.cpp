// The main window's link server routines over the process-wide holder.
#include <gtest/gtest.h>
#include <winsock2.h>

#include "NetTestUtil.h"
#include "app/LinkServer.h"
#include "base/network/LinkConnector.h"
#include "base/network/NetworkConnector.h"
#include "base/network/NetworkSession.h"
#include "update/UpdateEngine.h"

using namespace Base::NetWork;

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
    std::vector<SOCKET> accepted;
    // Each round: both slots dial, one becomes the link, the other is closed.
    for (int round = 0; round < 2; ++round) {
        CNetworkConnector* const oldLink = holder.GetActive();
        CNetworkSession* const old[2] = {oldLink ? holder.GetSlot(0)->GetSession() : nullptr,
                                         oldLink ? holder.GetSlot(1)->GetSession() : nullptr};
        ReconnectLinkServer();
        ASSERT_NE(holder.GetSlot(1), nullptr);
        EXPECT_EQ(holder.GetSlot(2), nullptr);
        const SOCKET sa = a.Accept(), sb = b.Accept();
        ASSERT_NE(sa, INVALID_SOCKET);
        ASSERT_NE(sb, INVALID_SOCKET);
        accepted.insert(accepted.end(), {sa, sb});
        if (oldLink) {  // the closed link and the idle slot got new attempts
            EXPECT_NE(holder.GetSlot(0)->GetSession(), old[0]);
            EXPECT_NE(holder.GetSlot(1)->GetSession(), old[1]);
            EXPECT_TRUE(PeerClosed(oldLink == holder.GetSlot(0) ? accepted[0] : accepted[1]))
                << "the old link's socket was closed";
        }
        PickTheLink(holder, 2, [] { ConnectLinkServer(); });
        CNetworkConnector* const link = holder.GetActive();
        ASSERT_NE(link, nullptr);
        CNetworkConnector* const other = link == holder.GetSlot(0) ? holder.GetSlot(1) : holder.GetSlot(0);
        EXPECT_TRUE(PeerClosed(link == holder.GetSlot(0) ? sb : sa)) << "the other attempt was closed";
        EXPECT_TRUE(WaitFor([&] { return IsIdle(other); }));
        EXPECT_TRUE(link->IsConnected());
    }
    // The holder lives on; leave it without links for later tests.
    holder.Disconnect();
    for (unsigned i = 0; i < 2; ++i) holder.GetSlot(i)->Close();
    for (SOCKET s : accepted) closesocket(s);
}

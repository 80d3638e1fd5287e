#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <vector>

#include "NetTestUtil.h"
#include "base/network/SockAddr.h"
#include "base/network/TcpSocket.h"

using namespace Base::NetWork;

namespace {

class RecordingSocket : public CTcpSocket {
public:
    void OnError(int code, const char* text) override { errors.emplace_back(code, text); }
    void OnClose() override { ++closes; }
    void OnAccept() override { ++accepts; }
    void OnConnect() override { ++connects; }

    std::vector<std::pair<int, std::string>> errors;
    int closes = 0;
    int accepts = 0;
    int connects = 0;
};

}  // namespace

TEST(TcpSocketTest, ConnectWithEmptyHostReportsAndCloses)
{
    RecordingSocket s;
    EXPECT_FALSE(s.Connect("", 80));
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0].first, -1);
    EXPECT_EQ(s.errors[0].second, "CTcpSocket::Connect -- SetAddress failed IP:");
    EXPECT_FALSE(s.IsValid());
    EXPECT_EQ(s.closes, 0);  // no socket was held, so no close hook
    EXPECT_EQ(s.GetState(), TCP_STATE_IDLE);
}

TEST(TcpSocketTest, UnresolvableNameReportsTheLookupError)
{
    RecordingSocket s;
    EXPECT_FALSE(s.Connect("no-such-host.invalid", 80));
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_NE(s.errors[0].first, 0);
    EXPECT_NE(s.errors[0].first, -1);
    EXPECT_EQ(s.errors[0].second, "CTcpSocket::Connect -- SetAddress failed IP:no-such-host.invalid");
    EXPECT_FALSE(s.IsValid());

    RecordingSocket b;
    EXPECT_FALSE(b.Bind("no-such-host.invalid", 0));
    ASSERT_EQ(b.errors.size(), 1u);
    EXPECT_EQ(b.errors[0].second, "CSocket::Bind -- SetAddress failed IP:no-such-host.invalid");
}

TEST(TcpSocketTest, RefusedConnectReportsTheWinsockErrorAndCloses)
{
    RecordingSocket s;
    EXPECT_FALSE(s.Connect("127.0.0.1", ClosedPort()));
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0].first, WSAECONNREFUSED);
    EXPECT_EQ(s.errors[0].second, "CTcpSocket::Connect -- ::connect function return SOCKET_ERROR");
    EXPECT_FALSE(s.IsValid());
    EXPECT_EQ(s.closes, 1);
    EXPECT_EQ(s.GetPeer().GetAddress(), 0u);
}

TEST(TcpSocketTest, ConnectAcceptAndBothEndsAddresses)
{
    Listener listener;
    ASSERT_NE(listener.Port(), 0);
    RecordingSocket client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
    EXPECT_EQ(client.GetState(), TCP_STATE_CONNECTED);
    EXPECT_EQ(client.connects, 1);
    EXPECT_EQ(client.GetPeer().GetPort(), listener.Port());
    EXPECT_NE(client.GetAddr().GetPort(), 0);  // the local end

    RecordingSocket server;
    ASSERT_TRUE(server.Bind("127.0.0.1", 0));
    ASSERT_TRUE(server.Listen(4));
    RecordingSocket second;
    ASSERT_TRUE(second.Connect("127.0.0.1", server.GetAddr().GetPort()));
    RecordingSocket accepted;
    ASSERT_TRUE(server.Accept(accepted));
    EXPECT_EQ(server.accepts, 1);
    EXPECT_EQ(accepted.GetState(), TCP_STATE_CONNECTED);
    EXPECT_EQ(accepted.GetPeer().GetPort(), second.GetAddr().GetPort());
    EXPECT_EQ(accepted.GetPeer().ToString().substr(0, 10), "127.0.0.1:");

    accepted.Close();
    EXPECT_EQ(accepted.closes, 1);
    EXPECT_EQ(accepted.GetState(), TCP_STATE_IDLE);
    accepted.Close();  // nothing held: no second hook
    EXPECT_EQ(accepted.closes, 1);
}

TEST(TcpSocketTest, BindAndListenFailuresNameThemselves)
{
    Listener taken;
    RecordingSocket s;
    EXPECT_FALSE(s.Bind("127.0.0.1", taken.Port()));
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0].first, WSAEADDRINUSE);
    EXPECT_EQ(s.errors[0].second,
              "CSocket::Bind -- ::bind port " + std::to_string(taken.Port()) + " function return SOCKET_ERROR");
    EXPECT_EQ(s.GetAddr().GetPort(), 0);  // reset
    EXPECT_TRUE(s.IsValid());             // and not closed

    RecordingSocket connected;
    ASSERT_TRUE(connected.Connect("127.0.0.1", taken.Port()));
    EXPECT_FALSE(connected.Listen(1));
    ASSERT_EQ(connected.errors.size(), 1u);
    EXPECT_EQ(connected.errors[0].second, "CTcpSocket::Listen -- ::listen function return SOCKET_ERROR");
    EXPECT_FALSE(connected.IsValid());
}

TEST(TcpSocketTest, OptionFailuresReportAndReturnFalse)
{
    RecordingSocket s;
    s.Attach(static_cast<SOCKET>(0x7FF0), TCP_STATE_IDLE);  // not a socket
    EXPECT_FALSE(s.SetNonblocking(true));
    EXPECT_FALSE(s.SetNoDelay(true));
    EXPECT_FALSE(s.SetLinger(1, 2000));
    EXPECT_FALSE(s.SetSendBuffSize(8192));
    EXPECT_FALSE(s.SetRecvBuffSize(8192));
    const std::vector<std::string> texts = {"SetNonblocking failed!", "SetNoDelay failed!", "SetLinger failed!",
                                            "SetSendBuffSize failed!", "SetRecvBuffSize failed!"};
    ASSERT_EQ(s.errors.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(s.errors[i].first, WSAENOTSOCK) << texts[i];
        EXPECT_EQ(s.errors[i].second, texts[i]);
    }
    s.Detach();

    RecordingSocket good;
    EXPECT_TRUE(good.SetNoDelay(true));  // creates the socket first
    EXPECT_TRUE(good.IsValid());
    EXPECT_TRUE(good.SetLinger(1, 1500));
    linger value{};
    int len = sizeof value;
    getsockopt(good.GetSocket(), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&value), &len);
    EXPECT_EQ(value.l_onoff, 1);
    EXPECT_EQ(value.l_linger, 1);
    EXPECT_TRUE(good.SetSendBuffSize(8192));
    int size = 0;
    len = sizeof size;
    getsockopt(good.GetSocket(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len);
    EXPECT_EQ(size, 8192);
}

TEST(TcpSocketTest, NonblockingConnectIsCompletedByCheckConnecting)
{
    Listener listener;
    RecordingSocket idle;
    idle.CheckConnecting();  // only acts while connecting
    EXPECT_TRUE(idle.errors.empty());
    EXPECT_EQ(idle.GetState(), TCP_STATE_IDLE);

    RecordingSocket s;
    ASSERT_TRUE(s.SetNonblocking(true));
    ASSERT_TRUE(s.Connect("127.0.0.1", listener.Port()));
    if (s.GetState() == TCP_STATE_CONNECTING) s.CheckConnecting();
    EXPECT_EQ(s.GetState(), TCP_STATE_CONNECTED);
    EXPECT_EQ(s.connects, 1);
    EXPECT_TRUE(s.errors.empty());
}

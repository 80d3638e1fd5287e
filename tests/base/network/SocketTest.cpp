#include <gtest/gtest.h>
#include <winsock2.h>

#include "NetTestUtil.h"
#include "base/network/TcpSocket.h"

using namespace Base::NetWork;

namespace {

class RecordingSocket : public CTcpSocket {
public:
    void OnError(int code, const char*) override { codes.push_back(code); }
    void OnClose() override { ++closes; }
    void OnAccept() override { ++accepts; }
    void OnConnect() override { ++connects; }

    std::vector<int> codes;
    int closes = 0, accepts = 0, connects = 0;
};

}  // namespace

TEST(TcpSocketTest, FailedConnectsReportTheirErrorAndLeaveNoSocket)
{
    // code 0: any lookup error; closes: a socket was held and closed.
    const struct { const char* host; std::uint16_t port; int code, closes; } cases[] = {
        {"", 80, -1, 0}, {"no-such-host.invalid", 80, 0, 0}, {"127.0.0.1", ClosedPort(), WSAECONNREFUSED, 1}};
    for (const auto& c : cases) {
        RecordingSocket s;
        EXPECT_FALSE(s.Connect(c.host, c.port)) << c.host;
        ASSERT_EQ(s.codes.size(), 1u) << c.host;
        if (c.code)
            EXPECT_EQ(s.codes[0], c.code) << c.host;
        else
            EXPECT_TRUE(s.codes[0] != 0 && s.codes[0] != -1) << s.codes[0];
        EXPECT_FALSE(s.IsValid());
        EXPECT_EQ(s.GetPeer().GetAddress(), 0u);
        EXPECT_EQ(s.closes, c.closes) << c.host;
        EXPECT_EQ(s.GetState(), TCP_STATE_IDLE);
    }
}

TEST(TcpSocketTest, ConnectAcceptBothEndsAddressesAndBindListenAndOptionFailures)
{
    RecordingSocket server;
    ASSERT_TRUE(server.Bind("127.0.0.1", 0));
    ASSERT_TRUE(server.Listen(4));
    RecordingSocket client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.GetAddr().GetPort()));
    EXPECT_EQ(client.GetState(), TCP_STATE_CONNECTED);
    EXPECT_EQ(client.connects, 1);
    EXPECT_EQ(client.GetPeer().GetPort(), server.GetAddr().GetPort());
    RecordingSocket accepted;
    ASSERT_TRUE(server.Accept(accepted));
    EXPECT_EQ(server.accepts, 1);
    EXPECT_EQ(accepted.GetState(), TCP_STATE_CONNECTED);
    EXPECT_EQ(accepted.GetPeer().GetPort(), client.GetAddr().GetPort());
    accepted.Close();
    accepted.Close();  // nothing held: no second hook
    EXPECT_EQ(accepted.closes, 1);
    EXPECT_EQ(accepted.GetState(), TCP_STATE_IDLE);

    // Failures of bind, listen and the options report.
    Listener taken;
    RecordingSocket s;
    EXPECT_FALSE(s.Bind("127.0.0.1", taken.Port()));
    EXPECT_EQ(s.codes, std::vector<int>{WSAEADDRINUSE});
    EXPECT_EQ(s.GetAddr().GetPort(), 0);
    EXPECT_TRUE(s.IsValid());  // not closed
    EXPECT_FALSE(s.Bind("no-such-host.invalid", 0));

    RecordingSocket connected;
    ASSERT_TRUE(connected.Connect("127.0.0.1", taken.Port()));
    EXPECT_FALSE(connected.Listen(1));
    EXPECT_FALSE(connected.IsValid());

    RecordingSocket bogus;
    bogus.Attach(static_cast<SOCKET>(0x7FF0), TCP_STATE_IDLE);  // not a socket
    EXPECT_EQ(std::vector<bool>({bogus.SetNonblocking(true), bogus.SetNoDelay(true), bogus.SetLinger(1, 2000),
                                 bogus.SetSendBuffSize(8192), bogus.SetRecvBuffSize(8192)}),
              std::vector<bool>(5, false));
    EXPECT_EQ(bogus.codes, std::vector<int>(5, WSAENOTSOCK));
    bogus.Detach();
    RecordingSocket fresh;
    EXPECT_TRUE(fresh.SetNoDelay(true)) << "creates the socket first";
}

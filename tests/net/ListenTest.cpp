// Listening, accepting, Dup, and datagram sockets.
#include "net/WSocket.h"

#include <gtest/gtest.h>

#include <memory>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using namespace nettest;

namespace {

TEST(WSocketListen, AcceptAndDupServeAClient) {
    TWSocket server;
    EventLog serverLog;
    serverLog.Attach(server);
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    std::unique_ptr<TWSocket> conn;
    EventLog connLog;
    std::string request;
    server.OnSessionAvailable = [&](TObject*, std::uint16_t e) {
        ASSERT_EQ(e, 0);
        winsock::SOCKET h = server.Accept();
        conn = std::make_unique<TWSocket>();
        connLog.Attach(*conn);
        conn->OnDataAvailable = [&](TObject*, std::uint16_t) {
            request += conn->ReceiveText();
            if (request == "ping") conn->SendText("pong");
        };
        conn->Dup(h);
    };
    server.Listen();
    EXPECT_EQ(serverLog.Joined(), "state wsBound\nstate wsListening\n");
    int port = std::stoi(server.LocalPortText());
    EXPECT_EQ(server.LocalAddrText(), "127.0.0.1");

    std::string reply;
    peers::TcpClient client(port, [&](peers::Conn& c) {
        c.WriteAll("ping");
        reply = c.ReadExactly(4);
    });
    ASSERT_TRUE(PumpUntil([&] { return client.Join(0); }, 10000));
    EXPECT_EQ(reply, "pong");
    ASSERT_TRUE(conn);
    // Dup: state wsConnected without OnSessionConnected.
    EXPECT_EQ(connLog.lines.front(), "state wsConnected");
    EXPECT_FALSE(connLog.Has("connected 0"));
    EXPECT_EQ(server.State(), wsListening);  // keeps listening
    PumpUntil([&] { return conn->State() == wsClosed; }, 5000);
    EXPECT_EQ(connLog.Count("closed 0"), 1);
}

TEST(WSocketListen, AcceptAndDupRefusals) {
    TWSocket s;
    EXPECT_EQ(ErrorOf([&] { s.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
    EXPECT_EQ(ErrorOf([&] { s.Dup(winsock::INVALID_SOCKET); }),
              "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(ErrorOf([&] { s.Dup(0); }), "Error 10022 in function Dup\r\nInvalid argument");
}

TEST(WSocketListen, BindFailureClosesTheHandle) {
    TWSocket first;
    first.SetAddr("127.0.0.1");
    first.SetPort("0");
    first.Listen();
    std::string port = first.LocalPortText();
    int openBefore = winsock::seams::OpenSocketCount();
    TWSocket second;
    second.SetAddr("127.0.0.1");
    second.SetPort(port);
    EXPECT_EQ(ErrorOf([&] { second.Listen(); }),
              "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(second.State(), wsClosed);
    EXPECT_EQ(winsock::seams::OpenSocketCount(), openBefore);
}

TEST(WSocketUdp, DatagramExchangeOnLoopback) {
    peers::UdpEcho echo;
    TWSocket s;
    EventLog log;
    log.Attach(s, false);
    std::string reply;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[512];
        winsock::sockaddr_in from{};
        int len = sizeof from;
        int n = s.ReceiveFrom(buf, sizeof buf, from, len);
        if (n > 0) reply.assign(buf, static_cast<size_t>(n));
    };
    s.SetProto("udp");
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(echo.Port()));
    s.Connect();
    EXPECT_EQ(log.Joined(), "state wsOpened\nstate wsConnected\nconnected 0\n");
    EXPECT_EQ(s.SendText("hi there"), 8);
    ASSERT_TRUE(PumpUntil([&] { return !reply.empty(); }));
    EXPECT_EQ(reply, "echo:hi there");
    EXPECT_EQ(echo.Received(), "hi there");
    s.Disconnect();
}

TEST(WSocketUdp, ListeningDatagramSocketReceives) {
    TWSocket s;
    EventLog log;
    log.Attach(s, false);
    std::string got, fromAddr;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[512];
        winsock::sockaddr_in from{};
        int len = sizeof from;
        int n = s.ReceiveFrom(buf, sizeof buf, from, len);
        if (n > 0) got.assign(buf, static_cast<size_t>(n));
        fromAddr = winsock::inet_ntoa(from.sin_addr);
    };
    s.SetProto("udp");
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.ReuseAddr = true;
    s.Listen();
    EXPECT_EQ(log.Joined(), "state wsBound\nstate wsListening\nstate wsConnected\nconnected 0\n");
    int reuse = 0, len = sizeof reuse;
    winsock::getsockopt(s.HSocket(), winsock::SOL_SOCKET, winsock::SO_REUSEADDR,
                        reinterpret_cast<char*>(&reuse), &len);
    EXPECT_NE(reuse, 0);
    peers::SendDatagram(std::stoi(s.LocalPortText()), "datagram");
    ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got, "datagram");
    EXPECT_EQ(fromAddr, "127.0.0.1");
}

// Broadcast and multicast settings are only read back: nothing is sent.
TEST(WSocketUdp, BroadcastAndMulticastOptionsAreApplied) {
    TWSocket b;
    b.SetProto("udp");
    b.SetAddr("255.255.255.255");
    b.SetPort("9");
    b.Connect();
    int value = 0, len = sizeof value;
    winsock::getsockopt(b.HSocket(), winsock::SOL_SOCKET, winsock::SO_BROADCAST,
                        reinterpret_cast<char*>(&value), &len);
    EXPECT_NE(value, 0);

    TWSocket m;
    m.SetProto("udp");
    m.SetAddr("127.0.0.1");
    m.SetPort("9");
    m.MultiCast = true;
    m.MultiCastIpTTL = 5;
    m.Connect();
    value = 0;
    len = sizeof value;
    winsock::getsockopt(m.HSocket(), winsock::IPPROTO_IP, winsock::IP_MULTICAST_TTL,
                        reinterpret_cast<char*>(&value), &len);
    EXPECT_EQ(value & 0xFF, 5);
}

}  // namespace

// Connecting, closing and the refusals of a stream socket, against loopback peers.
#include "net/WSocket.h"

#include <gtest/gtest.h>

#include <memory>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using namespace nettest;

namespace {

void Target(TCustomWSocket& s, int port) {
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
}

TEST(WSocketConnect, EventOrderOfConnectAndDisconnect) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    Target(s, peer.Port());
    s.Connect();
    EXPECT_EQ(log.Joined(), "state wsOpened\nstate wsConnecting\n");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); })) << log.Joined();
    EXPECT_EQ(log.Joined(),
              "state wsOpened\nstate wsConnecting\nstate wsConnected\nconnected 0\nsent 0\n");
    EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(s.PeerPort(), std::to_string(peer.Port()));
    EXPECT_NE(s.LocalPortText(), "error");
    EXPECT_EQ(s.LocalAddrText(), "127.0.0.1");

    log.lines.clear();
    s.Disconnect();  // both events before Disconnect returns
    EXPECT_EQ(log.Joined(), "state wsClosed\nclosed 0\n");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.PeerAddr(), "error");
    EXPECT_EQ(s.PeerPort(), "error");
    EXPECT_EQ(s.LocalPortText(), "error");
    PumpFor(100);
    EXPECT_EQ(log.Count("closed 0"), 1);
}

TEST(WSocketConnect, RefusedLaterReportsThroughSessionConnectedThenCloses) {
    TWSocket s;
    EventLog log;
    log.Attach(s);
    Target(s, peers::ClosedPort());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); })) << log.Joined();
    EXPECT_EQ(log.Joined(),
              "state wsOpened\nstate wsConnecting\nstate wsConnected\nconnected 10061\n"
              "state wsClosed\nclosed 0\n");
    PumpFor(100);
    EXPECT_EQ(log.Count("closed 0"), 1);
}

TEST(WSocketConnect, RefusedAtOnceRaisesTheConnectError) {
    TWSocket s;
    Target(s, peers::ClosedPort());
    winsock::seams::FailNextConnect(winsock::WSAECONNREFUSED);
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }),
              "Error 10061 in function Connect\r\nConnection refused");
    EXPECT_EQ(s.LastError(), 10061);
    s.Abort();
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketConnect, PropertyRefusalsWhileOpen) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    EXPECT_EQ(ErrorOf([&] { s.SetAddr("10.0.0.1"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetPort("1"); }), "Cannot change Port if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetProto("udp"); }), "Cannot change Proto if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetLocalPort("1"); }), "Cannot change LocalPort if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetLocalAddr("127.0.0.1"); }), "Cannot change LocalAddr if not closed");
    EXPECT_EQ(ErrorOf([&] { s.SetAddr("127.0.0.1"); }), "");  // unchanged value: nothing happens
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: Socket already in use");
    EXPECT_EQ(s.State(), wsConnected);  // the connection is left alone

    // The OnError alternative: no exception, the operation just returns.
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    s.SetAddr("10.0.0.1");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.OnError = nullptr;

    s.Disconnect();
    // Addr and Port must be assigned again after a close.
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort(std::to_string(peer.Port()));
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetAddr("127.0.0.1");
    s.SetProto("");
    EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No Protocol Specified");
}

TEST(WSocketConnect, SetterAndResolutionMessages) {
    TWSocket s;
    EXPECT_EQ(ErrorOf([&] { s.SetLocalAddr("not-an-address"); }), "SetLocalAddr(): Invalid IP address");
    s.SetLocalAddr("");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    s.SetLocalAddr("127.0.0.1");
    EXPECT_EQ(s.LocalAddr(), "127.0.0.1");
    EXPECT_EQ(ErrorOf([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }), "Invalid SendFlags");
    s.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(s.SendFlags(), wsSendUrgent);

    s.SetAddr("127.0.0.1");
    s.SetPort("nosuchservice");
    std::string err = ErrorOf([&] { s.Connect(); });
    EXPECT_EQ(err.rfind("connect: WSocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0), 0u)
        << err;
    EXPECT_EQ(s.State(), wsClosed);

    TWSocket l;
    EXPECT_EQ(ErrorOf([&] { l.Listen(); }),
              "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    l.SetPort("0");
    EXPECT_EQ(ErrorOf([&] { l.Listen(); }),
              "Error 10022 in function listen: address not assigned\r\nInvalid argument");
    l.SetAddr("300.1.1.1");
    err = ErrorOf([&] { l.Listen(); });
    EXPECT_EQ(err.rfind("listen: WSocketResolveHost: Cannot convert host address '300.1.1.1'", 0), 0u)
        << err;
}

TEST(WSocketConnect, BindsTheLocalPortBeforeConnecting) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    Target(s, peer.Port());
    s.SetLocalAddr("127.0.0.1");
    s.Connect();
    EXPECT_NE(s.LocalPort(), "0");  // the port actually bound
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    EXPECT_EQ(s.LocalPortText(), s.LocalPort());
    s.Abort();
}

TEST(WSocketConnect, AbortClosesWithoutLingering) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    Target(s, peer.Port());
    TSocketLingerOnOff lingerAtClose = wsLingerNoSet;
    int closedEvents = 0;
    s.OnChangeState = [&](TObject*, TSocketState, TSocketState n) {
        if (n == wsClosed) lingerAtClose = s.LingerOnOff;
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closedEvents; };
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    s.Abort();
    EXPECT_EQ(lingerAtClose, wsLingerOff);
    EXPECT_EQ(closedEvents, 1);
    EXPECT_EQ(s.LingerOnOff, wsLingerOn);  // reset for the next connection
}


// Both families: a name with an IPv6 and an IPv4 address, IPv6 literals on
// both ends, lookups that give both families in order.
TEST(WSocketConnect, Ipv6LiteralsAndNamesOfBothFamilies) {
    winsock::seams::SetNameResolver([](const std::string& name, std::vector<std::string>& addrs) {
        if (name != "dual.test") return winsock::WSAHOST_NOT_FOUND;
        addrs = {"::1", "127.0.0.1"};
        return 0;
    });
    struct Restore {
        ~Restore() { InstallTestResolver(); }
    } restore;

    // Nothing listens on ::1 at the peer's port: refused, then 127.0.0.1
    // silently, with the events of one connect.
    {
        peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
        TWSocket s;
        EventLog log;
        log.Attach(s);
        s.SetAddr("dual.test");
        s.SetPort(std::to_string(peer.Port()));
        s.Connect();
        ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); })) << log.Joined();
        EXPECT_EQ(log.Joined(),
                  "state wsOpened\nstate wsConnecting\nstate wsConnected\nconnected 0\nsent 0\n");
        EXPECT_EQ(s.Addr(), "127.0.0.1");
        EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
        EXPECT_EQ(s.AddrFamily(), winsock::AF_INET);
    }
    // No address answers: the last one's refusal is the connect's, told once.
    {
        TWSocket s;
        EventLog log;
        log.Attach(s);
        s.SetAddr("dual.test");
        s.SetPort(std::to_string(peers::ClosedPort()));
        s.Connect();
        ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); })) << log.Joined();
        EXPECT_EQ(log.Joined(), "state wsOpened\nstate wsConnecting\nstate wsConnected\nconnected 10061\n"
                                "state wsClosed\nclosed 0\n");
    }
    // A listener and a client on ::1; the accepted side sees the peer's IPv6 address.
    {
        TWSocket listener, client, server;
        bool available = false;
        listener.OnSessionAvailable = [&](TObject*, std::uint16_t) { available = true; };
        listener.SetAddr("::1");
        listener.SetPort("0");
        listener.Listen();
        ASSERT_EQ(listener.State(), wsListening);
        EXPECT_EQ(listener.LocalAddrText(), "::1");
        client.SetAddr("::1");
        client.SetPort(listener.LocalPortText());
        client.Connect();
        ASSERT_TRUE(PumpUntil([&] { return available && client.State() == wsConnected; }));
        server.Dup(listener.Accept());
        EXPECT_EQ(server.PeerAddr(), "::1");
        EXPECT_EQ(server.PeerPort(), client.LocalPortText());
        EXPECT_EQ(client.PeerAddr(), "::1");
        EXPECT_EQ(client.AddrFamily(), winsock::AF_INET6);
    }
    // Lookups: a literal completes within the call (canonical form); a name gives both families.
    {
        TWSocket s;
        std::vector<int> done;
        s.OnDnsLookupDone = [&](TObject*, std::uint16_t e) { done.push_back(e); };
        s.ForwardDnsLookup("0:0::1");
        EXPECT_EQ(done, std::vector<int>{0});
        EXPECT_EQ(s.DnsResult(), "::1");
        s.ForwardDnsLookup("dual.test");
        ASSERT_TRUE(PumpUntil([&] { return done.size() == 2; }));
        EXPECT_EQ(done[1], 0);
        ASSERT_EQ(s.DnsResultList().Count(), 2);
        EXPECT_EQ(s.DnsResultList()[0], "::1");
        EXPECT_EQ(s.DnsResultList()[1], "127.0.0.1");
        EXPECT_EQ(s.DnsResult(), "::1");
    }
}

// A silent address (a listener whose accept queue is full drops the SYN)
// is given up after ConnectAttemptMs for the next one.
TEST(WSocketConnect, ASilentAddressGivesWayToTheNextAfterAFewSeconds) {
    using namespace winsock;
    WSAData data;
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    struct Cleanup {
        ~Cleanup() { WSACleanup(); }
    } cleanup;
    SOCKET full = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(bind(full, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    int len = sizeof any;
    ASSERT_EQ(getsockname(full, reinterpret_cast<sockaddr*>(&any), &len), 0);
    ASSERT_EQ(listen(full, 0), 0);
    SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);  // takes the queue's one place
    ASSERT_EQ(connect(filler, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    const std::string port = std::to_string(ntohs(any.sin_port));

    TWSocket listener6;
    listener6.SetAddr("::1");
    listener6.SetPort(port);
    listener6.Listen();
    ASSERT_EQ(listener6.State(), wsListening);

    seams::SetNameResolver([](const std::string& name, std::vector<std::string>& addrs) {
        if (name != "slow.test") return WSAHOST_NOT_FOUND;
        addrs = {"127.0.0.1", "::1"};
        return 0;
    });
    struct Restore {
        ~Restore() { InstallTestResolver(); }
    } restore;
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.SetAddr("slow.test");
    s.SetPort(port);
    s.Connect();
    PumpFor(TCustomWSocket::ConnectAttemptMs / 2);
    EXPECT_EQ(s.State(), wsConnecting);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); }, TCustomWSocket::ConnectAttemptMs * 2))
        << log.Joined();
    EXPECT_EQ(log.Joined(), "state wsOpened\nstate wsConnecting\nstate wsConnected\nconnected 0\nsent 0\n");
    EXPECT_EQ(s.Addr(), "::1");
    EXPECT_EQ(s.PeerAddr(), "::1");
    closesocket(filler);
    closesocket(full);
}

}  // namespace

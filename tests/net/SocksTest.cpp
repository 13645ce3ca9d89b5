// SOCKS negotiation against a scripted proxy: the bytes the client sends,
// every reply and error code, replies in pieces, leftover application data,
// and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SocksTestSupport.h"

using namespace std::string_literals;

namespace {
// The events of a failed negotiation after the proxy connection was up.
std::vector<std::string> FailureEvents(int code, const std::string& msg) {
    return {"SocksConnected 0", "SocksError " + std::to_string(code) + " " + msg,
            "SessionConnected " + std::to_string(code), "Closed",
            "SessionClosed " + std::to_string(code)};
}

const std::string kSocks5Request = "\x05\x01\x00\x03\x0chost.example\x08\x49"s;  // port 2121
const std::string kSocks5Success = "\x05\x00\x00\x01\x7f\x00\x00\x01\x04\xd2"s;
}  // namespace

TEST_F(ScriptedProxyTest, Socks5SendsExactBytesAndHandsOverDataAfterTheReply) {
    ASSERT_TRUE(Connect("5"));
    EXPECT_EQ(ProxyReceived(3), "\x05\x01\x00"s);
    ASSERT_TRUE(proxy.Send("\x05\x00"s));
    EXPECT_EQ(ProxyReceived(3 + kSocks5Request.size()), "\x05\x01\x00"s + kSocks5Request);
    EXPECT_THROW(socket.SetSocksLevel("4"), ESocketException);
    EXPECT_THROW(socket.SetSocksServer("127.0.0.2"), ESocketException);
    EXPECT_THROW(socket.SetSocksPort("1"), ESocketException);

    // The reply and 20 bytes of application data in one segment.
    ASSERT_TRUE(proxy.Send(kSocks5Success + "0123456789abcdefghij"));
    ASSERT_TRUE(PumpUntil([&] { return data.size() >= 20; }));
    EXPECT_EQ(data, "0123456789abcdefghij");
    EXPECT_EQ(firstRcvdCount, 20);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"SocksConnected 0", "SessionConnected 0",
                                                    "DataAvailable 0"}));

    ASSERT_TRUE(proxy.Send("more"));
    ASSERT_TRUE(PumpUntil([&] { return data.size() >= 24; }));
    EXPECT_EQ(data, "0123456789abcdefghijmore");
    socket.SendText("to the destination");
    EXPECT_EQ(ProxyReceived(3 + kSocks5Request.size() + 18).substr(3 + kSocks5Request.size()),
              "to the destination");

    // Every close clears the proxy settings.
    socket.Disconnect();
    EXPECT_EQ(socket.SocksLevel(), "5");
    EXPECT_EQ(socket.SocksServer(), "");
    EXPECT_EQ(socket.SocksPort(), "");
    EXPECT_EQ(socket.SocksPhase(), socksIdle);
}

TEST_F(ScriptedProxyTest, Socks5ReplyWithNameArrivingInPiecesCompletesAtTheLastPiece) {
    ASSERT_TRUE(Connect("5"));
    ProxyReceived(3);
    ASSERT_TRUE(proxy.Send("\x05\x00"s));
    ProxyReceived(3 + kSocks5Request.size());
    const std::string reply = "\x05\x00\x00\x03\x09proxy.lan\x00\x50"s;  // 16 bytes
    ASSERT_EQ(reply.size(), 16u);
    ASSERT_TRUE(proxy.Send(reply.substr(0, 3)));
    ASSERT_TRUE(SocketRead(2 + 3));
    ASSERT_TRUE(proxy.Send(reply.substr(3, 3)));
    ASSERT_TRUE(SocketRead(2 + 6));
    EXPECT_FALSE(log.Has("SessionConnected 0"));
    ASSERT_TRUE(proxy.Send(reply.substr(6)));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("SessionConnected 0"); }));
    EXPECT_EQ(socket.State(), wsConnected);
    EXPECT_EQ(socket.RcvdCount(), 0);
}

TEST_F(ScriptedProxyTest, Socks5MethodAndVersionFailures) {
    struct Case {
        std::string reply;
        int code;
        std::string msg;
    };
    for (const Case& c : {Case{"\x05\xff"s, 20003, "authentification method not acceptable"},
                          Case{"\x04\x00"s, 20002, "socks version error"}}) {
        SCOPED_TRACE(c.msg);
        ProxyScenario p;
        ASSERT_TRUE(p.Connect("5", "host.example", "21", 3));
        ASSERT_TRUE(p.proxy.Send(c.reply));
        ASSERT_TRUE(p.WaitFor("SessionClosed " + std::to_string(c.code)));
        EXPECT_EQ(p.log.Events, FailureEvents(c.code, c.msg));
        EXPECT_EQ(p.socket.State(), wsClosed);
        EXPECT_TRUE(PumpUntil([&] { return p.proxy.PeerClosed(); }));
    }
}

TEST_F(ScriptedProxyTest, Socks5ReplyCodes) {
    const char* texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                           "network unreachable",          "host unreachable",
                           "connection refused",           "time to live expired",
                           "command not supported",        "address type not supported"};
    for (int rep = 1; rep <= 9; ++rep) {
        SCOPED_TRACE(rep);
        ProxyScenario p;
        ASSERT_TRUE(p.Connect("5", "host.example", "2121", 3));
        ASSERT_TRUE(p.proxy.Send("\x05\x00"s));
        p.ProxyReceived(3 + kSocks5Request.size());
        ASSERT_TRUE(p.proxy.Send("\x05"s + static_cast<char>(rep) + "\x00\x01\x00\x00\x00\x00\x00\x00"s));
        const int code = rep <= 8 ? 20003 + rep : 20012;
        const std::string msg = rep <= 8 ? texts[rep - 1] : "unassigned error #9";
        ASSERT_TRUE(p.WaitFor("SessionClosed " + std::to_string(code)));
        EXPECT_EQ(p.log.Events, FailureEvents(code, msg));
    }
}

TEST_F(ScriptedProxyTest, Socks5OddAddressTypeAndOverlongReplyFail) {
    struct Case {
        std::string reply;
        int code;
        std::string msg;
    };
    // A bound name of 121 bytes makes a 128-byte reply: more than can be held.
    const std::string longName = "\x05\x00\x00\x03\x79"s + std::string(121, 'n') + "\x00\x15"s;
    // Address type 4 (IPv6) is known; 5 is not.
    for (const Case& c : {Case{"\x05\x00\x00\x05\x00"s, 20011, "address type not supported"},
                          Case{longName, 20001, "too much data availaible"}}) {
        SCOPED_TRACE(c.msg);
        ProxyScenario p;
        ASSERT_TRUE(p.Connect("5", "host.example", "2121", 3));
        ASSERT_TRUE(p.proxy.Send("\x05\x00"s));
        p.ProxyReceived(3 + kSocks5Request.size());
        ASSERT_TRUE(p.proxy.Send(c.reply));
        ASSERT_TRUE(p.WaitFor("SessionClosed " + std::to_string(c.code)));
        EXPECT_EQ(p.log.Events, FailureEvents(c.code, c.msg));
    }
}

TEST_F(ScriptedProxyTest, Socks5AuthenticationSucceeds) {
    socket.SocksAuthentication = socksAuthenticateUsercode;
    socket.SocksUsercode = "alice";
    socket.SocksPassword = "pw";
    ASSERT_TRUE(Connect("5"));
    EXPECT_EQ(ProxyReceived(3), "\x05\x01\x02"s);
    ASSERT_TRUE(proxy.Send("\x05\x02"s));
    EXPECT_EQ(ProxyReceived(3 + 10).substr(3), "\x01\x05" "alice\x02pw"s);
    ASSERT_TRUE(proxy.Send("\x01\x00"s));
    EXPECT_EQ(ProxyReceived(13 + kSocks5Request.size()).substr(13), kSocks5Request);
    ASSERT_TRUE(proxy.Send(kSocks5Success));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("DataAvailable 0"); }));
    EXPECT_EQ(log.Events,
              (std::vector<std::string>{"SocksConnected 0", "AuthState 0", "AuthState 1",
                                        "SessionConnected 0", "DataAvailable 0"}));
    // Credentials survive the close.
    socket.Disconnect();
    EXPECT_EQ(socket.SocksUsercode, "alice");
    EXPECT_EQ(socket.SocksAuthentication, socksAuthenticateUsercode);
}

TEST_F(ScriptedProxyTest, Socks5AuthenticationOfferedButNotNeeded) {
    socket.SocksAuthentication = socksAuthenticateUsercode;
    socket.SocksUsercode = "alice";
    ASSERT_TRUE(Connect("5"));
    ProxyReceived(3);
    ASSERT_TRUE(proxy.Send("\x05\x00"s));
    EXPECT_EQ(ProxyReceived(3 + kSocks5Request.size()).substr(3), kSocks5Request);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"SocksConnected 0", "AuthState 3"}));
}

TEST_F(ScriptedProxyTest, Socks5AuthenticationRefusedOrCutOff) {
    socket.SocksAuthentication = socksAuthenticateUsercode;
    socket.SocksUsercode = "alice";
    socket.SocksPassword = "wrong";
    ASSERT_TRUE(Connect("5"));
    ProxyReceived(3);
    ASSERT_TRUE(proxy.Send("\x05\x02"s));
    ProxyReceived(3 + 13);
    ASSERT_TRUE(proxy.Send("\x01\x01"s));
    ASSERT_TRUE(WaitFor("SessionClosed 20015"));
    EXPECT_EQ(log.Events, (std::vector<std::string>{
                              "SocksConnected 0", "AuthState 0",
                              "SocksError 20015 socks authentication failed",
                              "SessionConnected 20015", "Closed", "SessionClosed 20015"}));

    // The proxy closing during authentication.
    ProxyScenario p;
    p.socket.SocksAuthentication = socksAuthenticateUsercode;
    ASSERT_TRUE(p.Connect("5", "host.example", "21", 3));
    ASSERT_TRUE(p.proxy.Send("\x05\x02"s));
    // An empty user name and password go as two zero lengths.
    EXPECT_EQ(p.ProxyReceived(3 + 3).substr(3), "\x01\x00\x00"s);
    p.proxy.Close();
    ASSERT_TRUE(PumpUntil([&] { return p.socket.State() == wsClosed; }));
    EXPECT_EQ(p.log.Events, (std::vector<std::string>{"SocksConnected 0", "AuthState 0",
                                                       "AuthState 2", "SessionClosed 0", "Closed"}));
}

TEST_F(ScriptedProxyTest, Socks4RequestAndReplies) {
    struct Case {
        std::string reply;
        int code;
        std::string msg;
    };
    const std::string request = "\x04\x01\x00\x15\x7f\x00\x00\x01" "bob\x00"s;
    for (const Case& c : {Case{"\x00\x5b"s, 20016, "request rejected or failed"},
                          Case{"\x00\x5c"s, 20008, "connection refused"},
                          Case{"\x00\x5d"s, 20015, "authentification failed"},
                          Case{"\x00\x60"s, 20012, "unassigned error #96"},
                          Case{"\x01\x5a"s, 20002, "socks version error"}}) {
        SCOPED_TRACE(c.msg);
        ProxyScenario p;
        p.socket.SocksUsercode = "bob";
        ASSERT_TRUE(p.Connect("4", "127.0.0.1", "21", request.size()));
        EXPECT_EQ(p.proxy.Received(), request);
        ASSERT_TRUE(p.proxy.Send(c.reply + "\x00\x00\x00\x00\x00\x00"s));
        ASSERT_TRUE(p.WaitFor("SessionClosed " + std::to_string(c.code)));
        EXPECT_EQ(p.log.Events, FailureEvents(c.code, c.msg));
    }
}

TEST_F(ScriptedProxyTest, Socks4aLetsTheProxyResolveTheName) {
    ASSERT_TRUE(Connect("4a", "ftp.example", "21"));
    EXPECT_EQ(socket.SocksLevel(), "4A");
    const std::string request = "\x04\x01\x00\x15\x00\x00\x00\x01\x00" "ftp.example\x00"s;
    EXPECT_EQ(ProxyReceived(request.size()), request);
    // Only the 8-byte reply is taken; what follows is read from the platform.
    ASSERT_TRUE(proxy.Send("\x00\x5a\x00\x15\x7f\x00\x00\x01hello"s));
    ASSERT_TRUE(PumpUntil([&] { return data == "hello"; }));
    EXPECT_EQ(log.Events[0], "SocksConnected 0");
    EXPECT_EQ(log.Events[1], "SessionConnected 0");
}

TEST_F(ScriptedProxyTest, Socks4UnresolvableDestinationFailsWithoutSending) {
    const std::string name(257, 'h');  // refused by the resolver without a lookup
    ASSERT_TRUE(Connect("4", name, "21"));
    ASSERT_TRUE(WaitFor("SessionClosed 20017"));
    const std::string msg = "ESocketException WSocketResolveHost: '" + name + "' Invalid Hostname.";
    EXPECT_EQ(log.Events, FailureEvents(20017, msg));
    EXPECT_TRUE(PumpUntil([&] { return proxy.PeerClosed(); }));
    EXPECT_EQ(proxy.Received(), "");
}

TEST(SocksRefusals, SettersConnectAndListen) {
    TWSocket s;
    EXPECT_EQ(s.SocksLevel(), "5");
    try {
        s.SetSocksLevel("6");
        ADD_FAILURE() << "no refusal";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Invalid socks level. Must be 4, 4A or 5.");
    }
    s.SetSocksServer("  127.0.0.1 ");
    EXPECT_EQ(s.SocksServer(), "127.0.0.1");
    s.SetSocksPort("1080");
    s.SetAddr("127.0.0.1");
    s.SetPort("21");
    try {
        s.Listen();
        ADD_FAILURE() << "no refusal";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Listening is not supported thru socks server");
    }
    s.SetProto("udp");
    try {
        s.Connect();
        ADD_FAILURE() << "no refusal";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "tcp is the only protocol supported thru socks server");
    }
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(SocksRefusals, RequestsThatDoNotFitAreRefusedBeforeAnythingIsSent) {
    ManualPeer peer;
    ASSERT_TRUE(peer.Listen());
    struct Case {
        std::string level, addr, user, password;
        bool auth;
        std::string msg;
    };
    const std::vector<Case> cases = {
        {"4", "127.0.0.1", std::string(120, 'u'), "", false,
         "SOCKS 4 request too long: the user id takes more than 119 bytes"},
        {"4A", std::string(60, 'h'), std::string(59, 'u'), "", false,
         "SOCKS 4A request too long: user id and host name take more than 118 bytes together"},
        {"5", std::string(122, 'h'), "", "", false,
         "SOCKS 5 request too long: the host name takes more than 121 bytes"},
        {"5", "host", std::string(100, 'u'), std::string(26, 'p'), true,
         "SOCKS 5 authentication too long: user name and password take more than 125 bytes "
         "together"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msg);
        TWSocket s;
        s.SetSocksServer("127.0.0.1");
        s.SetSocksPort(std::to_string(peer.Port()));
        s.SetSocksLevel(c.level);
        s.SetAddr(c.addr);
        s.SetPort("21");
        s.SocksUsercode = c.user;
        s.SocksPassword = c.password;
        if (c.auth) s.SocksAuthentication = socksAuthenticateUsercode;
        try {
            s.Connect();
            ADD_FAILURE() << "no refusal";
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.what(), c.msg);
        }
        EXPECT_EQ(s.State(), wsClosed);
    }
    // The limits themselves still fit.
    TWSocket fits;
    fits.SetSocksServer("127.0.0.1");
    fits.SetSocksPort(std::to_string(peer.Port()));
    fits.SetAddr(std::string(121, 'h'));
    fits.SetPort("21");
    fits.Connect();
    ASSERT_TRUE(PumpUntil([&] { return peer.TryAccept(); }));
    fits.Abort();
}

// Connecting through real SOCKS proxies on 127.0.0.1 (dante, microsocks,
// OpenSSH's dynamic forwarding) to a small echo peer, and the refusal of a
// wrong password.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SocketEventLog.h"
#include "net/WSocket.h"
#include "peers/Peers.h"
#include "platform/PumpHelpers.h"

namespace {

struct ProxyCase {
    int ProxyPort = 0;
    std::string Level = "5";
    std::string Addr = "127.0.0.1";
    int DestPort = 0;
    bool Auth = false;
    std::string User{};
    std::string Password{};
};

struct ProxyRun {
    std::vector<std::string> Events;
    std::string Data;  // what came back from the destination
};

// Connects through the proxy, sends "ping" on OnSessionConnected and closes
// once "pong" came back (or the proxy closed).
ProxyRun Exchange(const ProxyCase& c) {
    TWSocket s;
    SocketEventLog log;
    log.Attach(s);
    ProxyRun run;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) {
        log.Add("SessionConnected", e);
        if (e == 0) s.SendText("ping\r\n");
    };
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) run.Data.append(buf, static_cast<size_t>(n));
    };
    s.SocksAuthentication = c.Auth ? socksAuthenticateUsercode : socksNoAuthentication;
    s.SocksUsercode = c.User;
    s.SocksPassword = c.Password;
    s.SetSocksServer("127.0.0.1");
    s.SetSocksPort(std::to_string(c.ProxyPort));
    s.SetSocksLevel(c.Level);
    s.SetAddr(c.Addr);
    s.SetPort(std::to_string(c.DestPort));
    s.Connect();
    PumpUntil([&] { return run.Data == "pong\r\n" || s.State() == wsClosed; }, 10000);
    if (s.State() != wsClosed) s.Disconnect();
    run.Events = log.Events;
    return run;
}

std::unique_ptr<peers::ScriptedPeer> StartEcho() {
    auto echo = std::make_unique<peers::ScriptedPeer>(std::vector<peers::ScriptStep>{
        peers::ExpectBytes("ping\r\n"), peers::SendBytes("pong\r\n"), peers::ExpectPeerClose()});
    EXPECT_TRUE(echo->Start());
    return echo;
}

void ExpectEchoed(const ProxyCase& c, const std::vector<std::string>& leadingEvents) {
    auto echo = StartEcho();
    ProxyCase withDest = c;
    withDest.DestPort = echo->Port();
    ProxyRun run = Exchange(withDest);
    EXPECT_EQ(run.Data, "pong\r\n");
    ASSERT_GE(run.Events.size(), leadingEvents.size());
    EXPECT_EQ(std::vector<std::string>(run.Events.begin(), run.Events.begin() + leadingEvents.size()),
              leadingEvents);
    EXPECT_TRUE(echo->WaitDone());
    EXPECT_EQ(echo->Failure(), "");
}

const std::vector<std::string> kPlainConnect = {"SocksConnected 0", "SessionConnected 0"};
const std::vector<std::string> kAuthConnect = {"SocksConnected 0", "AuthState 0", "AuthState 1",
                                               "SessionConnected 0"};

// A refused password, in the order the application sees it.
void ExpectPasswordRefused(const ProxyCase& c) {
    auto echo = StartEcho();
    ProxyCase withDest = c;
    withDest.DestPort = echo->Port();
    ProxyRun run = Exchange(withDest);
    EXPECT_EQ(run.Events, (std::vector<std::string>{"SocksConnected 0", "AuthState 0",
                                                    "SocksError 20015 socks authentication failed",
                                                    "SessionConnected 20015", "Closed",
                                                    "SessionClosed 20015"}));
    EXPECT_EQ(echo->ConnectionsAccepted(), 0);
}

}  // namespace

TEST(SocksThroughDante, Socks5AndSocks4WithoutAuthentication) {
    peers::DanteProxy dante;
    ASSERT_TRUE(dante.Start()) << dante.Error();
    {
        SCOPED_TRACE("SOCKS 5");
        ExpectEchoed({.ProxyPort = dante.Port(), .Level = "5"}, kPlainConnect);
    }
    {
        SCOPED_TRACE("SOCKS 4");
        ExpectEchoed({.ProxyPort = dante.Port(), .Level = "4", .User = "tester"}, kPlainConnect);
    }
}

TEST(SocksThroughDante, Socks5UserAndPassword) {
    peers::DanteProxy dante({.UserAuth = true});
    ASSERT_TRUE(dante.Start()) << dante.Error();
    ProxyCase c{.ProxyPort = dante.Port(), .Auth = true, .User = dante.User(),
                .Password = dante.Password()};
    ExpectEchoed(c, kAuthConnect);
    c.Password = "wrong";
    ExpectPasswordRefused(c);
}

TEST(SocksThroughMicrosocks, Socks5UserAndPassword) {
    peers::MicrosocksProxy micro({.User = "alice", .Password = "s3cret"});
    ASSERT_TRUE(micro.Start()) << micro.Error();
    ProxyCase c{.ProxyPort = micro.Port(), .Auth = true, .User = "alice", .Password = "s3cret"};
    ExpectEchoed(c, kAuthConnect);
    c.Password = "wrong";
    ExpectPasswordRefused(c);
}

TEST(SocksThroughSsh, Socks4Socks4aAndSocks5) {
    peers::SshSocksProxy ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    {
        SCOPED_TRACE("SOCKS 5");
        ExpectEchoed({.ProxyPort = ssh.Port(), .Level = "5"}, kPlainConnect);
    }
    {
        SCOPED_TRACE("SOCKS 4");
        ExpectEchoed({.ProxyPort = ssh.Port(), .Level = "4"}, kPlainConnect);
    }
    {
        SCOPED_TRACE("SOCKS 4A");
        ExpectEchoed({.ProxyPort = ssh.Port(), .Level = "4A", .Addr = "localhost"}, kPlainConnect);
    }
}

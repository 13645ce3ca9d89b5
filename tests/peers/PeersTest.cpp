// Each peer starts, answers on its port, and leaves nothing behind.
#include "peers/LoopbackAddress.h"
#include "peers/Peers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peers {
namespace {

bool UserExists(const std::string& name) { return getpwnam(name.c_str()) != nullptr; }

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

std::string PortBytes(int port) { return Bytes({(port >> 8) & 0xff, port & 0xff}); }

// SOCKS 5 CONNECT to 127.0.0.1:target; returns the reply code (0 = granted)
// or -1 if the handshake failed before it. Empty user: no authentication.
int Socks5Connect(TcpClient& c, int target, const std::string& user = {},
                  const std::string& password = {}) {
    std::string reply;
    c.Send(user.empty() ? Bytes({5, 1, 0}) : Bytes({5, 1, 2}));
    if (!c.ReadExactly(2, reply) || reply[0] != 5) return -1;
    if (!user.empty()) {
        if (reply[1] != 2) return -1;
        c.Send(Bytes({1, static_cast<int>(user.size())}) + user +
               Bytes({static_cast<int>(password.size())}) + password);
        if (!c.ReadExactly(2, reply) || reply[1] != 0) return -1;
    } else if (reply[1] != 0) {
        return -1;
    }
    c.Send(Bytes({5, 1, 0, 1, 127, 0, 0, 1}) + PortBytes(target));
    if (!c.ReadExactly(10, reply)) return -1;
    return static_cast<unsigned char>(reply[1]);
}

ScriptedPeer EchoPeer() { return ScriptedPeer({ExpectBytes("ping"), SendBytes("pong")}); }

void ExpectPong(TcpClient& c, ScriptedPeer& echo) {
    ASSERT_TRUE(c.Send("ping"));
    std::string pong;
    EXPECT_TRUE(c.ReadExactly(4, pong));
    EXPECT_EQ(pong, "pong");
    EXPECT_TRUE(echo.WaitDone());
    EXPECT_EQ(echo.Failure(), "");
}

// Port from "227 Entering passive mode (h1,h2,h3,h4,p1,p2)."
int PassivePort(const std::string& reply) {
    int h[4], p1 = 0, p2 = 0;
    size_t open = reply.find('(');
    if (open == std::string::npos ||
        sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h[0], &h[1], &h[2], &h[3], &p1,
               &p2) != 6)
        return 0;
    return p1 * 256 + p2;
}

TEST(PeerSupport, ProcessIsStoppedAndFolderRemoved) {
    std::string path;
    {
        TempDir dir;
        path = dir.Path();
        ASSERT_FALSE(path.empty());
        PeerProcess p;
        // A child that ignores SIGTERM still ends: SIGKILL follows the grace time.
        // It also leaves a helper of its own behind, as daemons do.
        ASSERT_TRUE(p.Start({"/bin/sh", "-c", "sleep 30 & trap '' TERM; echo started; wait"},
                            dir.File("out.log")));
        for (int i = 0; i < 200 && p.Log().empty(); ++i) usleep(10000);
        EXPECT_EQ(p.Log(), "started\n");
        int pid = p.Pid();
        p.Stop(Millis(200));
        EXPECT_FALSE(p.Running());
        EXPECT_NE(kill(-pid, 0), 0);  // nothing of its process group is left

        PeerProcess missing;
        EXPECT_FALSE(missing.Start({"/nonexistent/program"}, dir.File("x.log")));
        EXPECT_NE(missing.Error().find("/nonexistent/program"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PeerSupport, ThrowawayUsersAreUniqueAndRemoved) {
    TempDir dir;
    std::string a, b;
    {
        ThrowawayUser u1, u2;
        ASSERT_TRUE(u1.Create(dir.File("h1"))) << u1.Error();
        ASSERT_TRUE(u2.Create(dir.File("h2"))) << u2.Error();
        a = u1.Name();
        b = u2.Name();
        EXPECT_NE(a, b);
        EXPECT_TRUE(UserExists(a));
        EXPECT_TRUE(std::filesystem::is_directory(u1.Home()));
    }
    EXPECT_FALSE(UserExists(a));
    EXPECT_FALSE(UserExists(b));
}

TEST(ScriptedPeer, PlaysScriptAndReportsWhatDiffered) {
    ScriptedPeer peer({ExpectBytes("hello"), SendBytes("world"), ExpectThrough("\r\n"),
                       CloseConnection()});
    ASSERT_TRUE(peer.Start());
    TcpClient c;
    ASSERT_TRUE(c.Connect(peer.Port()));
    c.Send("hello");
    std::string got;
    EXPECT_TRUE(c.ReadExactly(5, got));
    EXPECT_EQ(got, "world");
    c.Send("anything\r\n");
    EXPECT_TRUE(c.WaitClosed());
    EXPECT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Failure(), "");
    EXPECT_EQ(peer.Received(), "helloanything\r\n");

    ScriptedPeer strict({ExpectBytes("\x05\x01\x00"), SendBytes("\x05\x00")});
    ASSERT_TRUE(strict.Start());
    TcpClient d;
    ASSERT_TRUE(d.Connect(strict.Port()));
    d.Send(Bytes({4, 1, 0}));
    EXPECT_TRUE(strict.WaitDone());
    EXPECT_NE(strict.Failure().find("expected"), std::string::npos);
}

TEST(Vsftpd, LogsInAndRecordsCommands) {
    std::string user, dir;
    int port;
    {
        VsftpdServer ftp;
        ASSERT_TRUE(ftp.Start()) << ftp.Error();
        user = ftp.User();
        dir = ftp.Dir().Path();
        port = ftp.Port();
        ASSERT_TRUE(ftp.PutFile("sub/marker.txt", "marker\n"));

        TcpClient c;
        ASSERT_TRUE(c.Connect(ftp.Port()));
        EXPECT_EQ(c.ReadReply(), "220 (vsFTPd 3.0.3)\r\n");
        EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 331);
        EXPECT_EQ(c.Command("PASS wrong"), "530 Login incorrect.\r\n");
        EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 331);
        EXPECT_EQ(ReplyCode(c.Command("PASS " + ftp.Password())), 230);
        EXPECT_EQ(c.Command("CWD sub/marker.txt"), "550 Failed to change directory.\r\n");

        std::string pasv = c.Command("PASV");
        int dataPort = PassivePort(pasv);
        EXPECT_GE(dataPort, ftp.PassiveMinPort()) << pasv;
        EXPECT_LE(dataPort, ftp.PassiveMaxPort()) << pasv;
        TcpClient data;
        ASSERT_TRUE(data.Connect(dataPort));
        EXPECT_EQ(ReplyCode(c.Command("RETR sub/marker.txt")), 150);
        std::string content;
        EXPECT_TRUE(data.ReadExactly(7, content));
        EXPECT_EQ(content, "marker\n");
        EXPECT_EQ(ReplyCode(c.ReadReply()), 226);
        EXPECT_EQ(ReplyCode(c.Command("QUIT")), 221);

        ASSERT_TRUE(ftp.WaitForCommand("QUIT"));
        std::vector<std::string> expected = {"USER " + user,  "PASS <password>",
                                             "USER " + user,  "PASS <password>",
                                             "CWD sub/marker.txt", "PASV",
                                             "RETR sub/marker.txt", "QUIT"};
        EXPECT_EQ(ftp.Commands(), expected);
    }
    EXPECT_FALSE(UserExists(user));
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_FALSE(WaitForPort(port, Millis(0)));
}

// vsftpd reports a port it cannot bind on its standard input and exits: the
// fixture shows those words at once instead of waiting out its start-up time.
TEST(Vsftpd, APortTakenAtStartIsReportedInTheServersOwnWords) {
    // Bound, not listening: nothing answers there, and nothing else may bind it.
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int port = ntohs(a.sin_port);
    VsftpdServer ftp({.ExtraConfig = {}, .ControlPort = port});
    EXPECT_FALSE(ftp.Start());
    close(holder);
    EXPECT_NE(ftp.Error().find("server exited before it answered on port " + std::to_string(port)),
              std::string::npos)
        << ftp.Error();
    EXPECT_NE(ftp.Error().find("500 OOPS: could not bind listening IPv4 socket"), std::string::npos)
        << ftp.Error();
}

TEST(Pyftpdlib, LogsInAndRecordsCommands) {
    std::string user;
    int port;
    {
        PyftpdlibServer ftp;
        ASSERT_TRUE(ftp.Start()) << ftp.Error();
        user = ftp.User();
        port = ftp.Port();
        TcpClient c;
        ASSERT_TRUE(c.Connect(ftp.Port()));
        EXPECT_EQ(c.ReadReply(), "220 pyftpdlib 1.5.7 ready.\r\n");
        EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 331);
        EXPECT_EQ(c.Command("PASS wrong"), "530 Authentication failed.\r\n");
        EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 331);
        EXPECT_EQ(ReplyCode(c.Command("PASS " + ftp.Password())), 230);
        EXPECT_EQ(ReplyCode(c.Command("RETR missing.txt")), 550);
        EXPECT_EQ(ReplyCode(c.Command("QUIT")), 221);
        ASSERT_TRUE(ftp.WaitForCommand("QUIT"));
        EXPECT_EQ(ftp.Commands(),
                  (std::vector<std::string>{"USER " + user, "PASS wrong", "USER " + user,
                                            "PASS " + ftp.Password(), "RETR missing.txt", "QUIT"}));
    }
    EXPECT_FALSE(UserExists(user));
    EXPECT_FALSE(WaitForPort(port, Millis(0)));
}

// The greeting-level modes change what a client reads first.
TEST(Pyftpdlib, GreetingModes) {
    struct Case {
        std::string Mode, Greeting;
    };
    for (const Case& k : std::vector<Case>{
             {"multiline_greeting",
              "220-Tarn test server\r\n220-second line\r\n 220 indented, not the last line\r\n"
              "220 Ready.\r\n"},
             {"greeting_421", "421 Service not available, closing control connection.\r\n"},
             {"bare_lf", "220 pyftpdlib 1.5.7 ready.\n"},
             {"split_reply", "220 pyftpdlib 1.5.7 ready.\r\n"},
         }) {
        SCOPED_TRACE(k.Mode);
        PyftpdlibServer ftp({.Mode = k.Mode});
        ASSERT_TRUE(ftp.Start()) << ftp.Error();
        TcpClient c;
        ASSERT_TRUE(c.Connect(ftp.Port()));
        std::string got;
        c.ReadExactly(k.Greeting.size(), got);
        EXPECT_EQ(got, k.Greeting);
    }
    PyftpdlibServer ftp({.Mode = "long_line"});
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    TcpClient c;
    ASSERT_TRUE(c.Connect(ftp.Port()));
    std::string got;
    EXPECT_FALSE(c.ReadExactly(5000, got, Millis(500)));
    EXPECT_EQ(got.size(), 4095u);
    EXPECT_EQ(got.find('\n'), std::string::npos);
}

// The login-level modes answer USER, PWD and PASV their own way.
TEST(Pyftpdlib, CommandModes) {
    struct Case {
        std::string Mode, Command, Reply;
    };
    for (const Case& k : std::vector<Case>{
             {"user_230", "", ""},
             {"pwd_doubled_quote", "PWD", "257 \"/we\"\"ird\" is the current directory.\r\n"},
             {"pwd_unquoted", "PWD", "257 / is the current directory.\r\n"},
             {"pasv_malformed", "PASV", "227 Entering passive mode (127,0,0,1,200).\r\n"},
             {"silent_after_login", "PWD", ""},
         }) {
        SCOPED_TRACE(k.Mode);
        PyftpdlibServer ftp({.Mode = k.Mode});
        ASSERT_TRUE(ftp.Start()) << ftp.Error();
        TcpClient c;
        ASSERT_TRUE(c.Connect(ftp.Port()));
        EXPECT_EQ(ReplyCode(c.ReadReply()), 220);
        if (k.Mode == "user_230") {
            EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 230);
            continue;
        }
        EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User())), 331);
        EXPECT_EQ(ReplyCode(c.Command("PASS " + ftp.Password())), 230);
        EXPECT_EQ(c.Command(k.Command, Millis(k.Reply.empty() ? 300 : 5000)), k.Reply);
    }
    PyftpdlibServer ftp({.Mode = "pasv_other_address"});
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    TcpClient c;
    ASSERT_TRUE(c.Connect(ftp.Port()));
    c.ReadReply();
    c.Command("USER " + ftp.User());
    c.Command("PASS " + ftp.Password());
    std::string pasv = c.Command("PASV");
    EXPECT_NE(pasv.find("(127,0,0,2,"), std::string::npos) << pasv;
}

// Downloads a 5,000-byte file in the given mode; returns the bytes and the
// final reply.
void Download(const std::string& mode, std::string& data, std::string& reply) {
    PyftpdlibServer ftp({.Mode = mode});
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("big.bin", std::string(5000, 'b')));
    TcpClient c;
    ASSERT_TRUE(c.Connect(ftp.Port()));
    c.ReadReply();
    c.Command("USER " + ftp.User());
    ASSERT_EQ(ReplyCode(c.Command("PASS " + ftp.Password())), 230);
    int port = PassivePort(c.Command("PASV"));
    TcpClient d;
    ASSERT_TRUE(d.Connect(port));
    c.Send("RETR big.bin\r\n");
    EXPECT_EQ(ReplyCode(c.ReadReply()) / 100, 1);  // 125: the data connection is open
    d.ReadExactly(5000, data, Millis(2000));
    reply = c.ReadReply();
}

TEST(Pyftpdlib, DataConnectionModes) {
    std::string data, reply;
    for (const char* mode : {"normal", "reply_226_before_close", "reply_226_after_close",
                             "two_replies_one_segment"}) {
        SCOPED_TRACE(mode);
        Download(mode, data, reply);
        EXPECT_EQ(data.size(), 5000u);
        EXPECT_EQ(ReplyCode(reply), 226);
    }
    Download("data_close_early", data, reply);
    EXPECT_EQ(data.size(), 1000u);
    EXPECT_EQ(ReplyCode(reply), 426);
    Download("data_close_early_226", data, reply);
    EXPECT_EQ(data.size(), 1000u);
    EXPECT_EQ(ReplyCode(reply), 226);
    Download("data_reset", data, reply);
    EXPECT_LE(data.size(), 1000u);
    EXPECT_EQ(ReplyCode(reply), 426);
}

TEST(Dante, Socks5ConnectWithoutAuthentication) {
    int port;
    {
        DanteProxy socks;
        ASSERT_TRUE(socks.Start()) << socks.Error();
        port = socks.Port();
        ScriptedPeer echo = EchoPeer();
        ASSERT_TRUE(echo.Start());
        TcpClient c;
        ASSERT_TRUE(c.Connect(socks.Port()));
        ASSERT_EQ(Socks5Connect(c, echo.Port()), 0);
        ExpectPong(c, echo);
    }
    EXPECT_FALSE(WaitForPort(port, Millis(0)));
}

TEST(Dante, ExternalAddressIsWhereConnectionsComeFrom) {
    DanteProxy socks({.External = "127.0.0.2"});
    ASSERT_TRUE(socks.Start()) << socks.Error();
    ScriptedPeer echo = EchoPeer();
    ASSERT_TRUE(echo.Start());
    TcpClient c;
    ASSERT_TRUE(c.Connect(socks.Port()));
    // SOCKS 4 CONNECT.
    c.Send(Bytes({4, 1}) + PortBytes(echo.Port()) + Bytes({127, 0, 0, 1}) + "tarn" + Bytes({0}));
    std::string reply;
    ASSERT_TRUE(c.ReadExactly(8, reply));
    EXPECT_EQ(reply[1], 0x5a);
    ExpectPong(c, echo);
    EXPECT_EQ(echo.ClientAddresses(), std::vector<std::string>{"127.0.0.2"});
}

TEST(Dante, Socks5UserPasswordAgainstSystemUser) {
    std::string user;
    {
        DanteProxy socks({.UserAuth = true});
        ASSERT_TRUE(socks.Start()) << socks.Error();
        user = socks.User();
        ScriptedPeer echo = EchoPeer();
        ASSERT_TRUE(echo.Start());
        TcpClient bad;
        ASSERT_TRUE(bad.Connect(socks.Port()));
        EXPECT_EQ(Socks5Connect(bad, echo.Port(), socks.User(), "wrong"), -1);
        TcpClient c;
        ASSERT_TRUE(c.Connect(socks.Port()));
        ASSERT_EQ(Socks5Connect(c, echo.Port(), socks.User(), socks.Password()), 0);
        ExpectPong(c, echo);
    }
    EXPECT_FALSE(UserExists(user));
}

TEST(Microsocks, Socks5UserPassword) {
    MicrosocksProxy socks({.User = "alice", .Password = "s3cret"});
    ASSERT_TRUE(socks.Start()) << socks.Error();
    ScriptedPeer echo = EchoPeer();
    ASSERT_TRUE(echo.Start());
    TcpClient bad;
    ASSERT_TRUE(bad.Connect(socks.Port()));
    EXPECT_EQ(Socks5Connect(bad, echo.Port(), "alice", "wrong"), -1);
    TcpClient c;
    ASSERT_TRUE(c.Connect(socks.Port()));
    ASSERT_EQ(Socks5Connect(c, echo.Port(), "alice", "s3cret"), 0);
    ExpectPong(c, echo);
}

TEST(SshSocks, Socks4aConnect) {
    std::string user;
    int port;
    {
        SshSocksProxy socks;
        ASSERT_TRUE(socks.Start()) << socks.Error();
        port = socks.Port();
        ScriptedPeer echo = EchoPeer();
        ASSERT_TRUE(echo.Start());
        TcpClient c;
        ASSERT_TRUE(c.Connect(socks.Port()));
        // SOCKS 4A: address 0.0.0.1, then the user id and the host name.
        c.Send(Bytes({4, 1}) + PortBytes(echo.Port()) + Bytes({0, 0, 0, 1}) + "tarn" +
               Bytes({0}) + "127.0.0.1" + Bytes({0}));
        std::string reply;
        ASSERT_TRUE(c.ReadExactly(8, reply));
        EXPECT_EQ(reply[1], 0x5a);
        ExpectPong(c, echo);
    }
    EXPECT_FALSE(WaitForPort(port, Millis(0)));
}

TEST(FtpProxy, MagicUserReachesServer) {
    VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    FtpProxyServer proxy(FreePort());  // the default server is down: only USER picks it
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    TcpClient c;
    ASSERT_TRUE(c.Connect(proxy.Port()));
    EXPECT_EQ(ReplyCode(c.ReadReply()), 220);
    EXPECT_EQ(ReplyCode(c.Command("USER " + ftp.User() + "@127.0.0.1:" +
                                  std::to_string(ftp.Port()))),
              331);
    EXPECT_EQ(ReplyCode(c.Command("PASS " + ftp.Password())), 230);
    EXPECT_EQ(ReplyCode(c.Command("QUIT")), 221);
    EXPECT_TRUE(ftp.WaitForCommand("QUIT"));
}

}  // namespace
}  // namespace peers

// IPv6 end to end against real servers listening on ::1 alone: login,
// listing, 4 MiB each way byte for byte in passive (EPSV) and active (EPRT)
// mode; a name with addresses of both families reaching an IPv6-only and an
// IPv4-only server (the IPv4 one still sees PASV); a server that does not
// know PASV; SOCKS 5 to ::1; FTPS with a certificate for ::1.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "FtpTestSupport.h"
#include "platform/WinSock.h"

namespace {

std::string RandomBytes(size_t n) {
    std::mt19937 gen(34);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Lists, downloads and uploads `content`; the server's commands name the data port commands.
void ListGetPut(TRecordedFtp& R, peers::FtpServerPeer& server, const peers::TempDir& local,
                const std::string& content) {
    ASSERT_TRUE(server.PutFile("v6/data.bin", content));
    ASSERT_TRUE(peers::WriteTextFile(local.File("up.bin"), content));
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    ASSERT_TRUE(R.Ftp.TypeBinary()) << R.Ftp.ErrorMessage();
    R.Ftp.HostFileName = "v6";
    R.Ftp.LocalFileName = local.File("listing.txt");
    ASSERT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
    EXPECT_NE(peers::ReadTextFile(local.File("listing.txt")).find("data.bin"), std::string::npos);
    R.Ftp.HostFileName = "v6/data.bin";
    R.Ftp.LocalFileName = local.File("down.bin");
    ASSERT_TRUE(R.Ftp.Get()) << R.Ftp.ErrorMessage();
    EXPECT_TRUE(peers::ReadTextFile(local.File("down.bin")) == content);
    R.Ftp.HostFileName = "up.bin";
    R.Ftp.LocalFileName = local.File("up.bin");
    ASSERT_TRUE(R.Ftp.Put()) << R.Ftp.ErrorMessage();
    EXPECT_TRUE(server.FileContent("up.bin") == content);
    EXPECT_TRUE(R.Ftp.Quit());
}

using TIpv6Param = std::tuple<TServerKind, bool>;  // server, passive mode

class FtpIpv6 : public ::testing::TestWithParam<TIpv6Param> {};

TEST_P(FtpIpv6, TransfersByteForByteWithEpsvOrEprt) {
    const auto [kind, passive] = GetParam();
    std::unique_ptr<peers::FtpServerPeer> server;
    if (kind == TServerKind::Vsftpd) {
        peers::VsftpdServer::Options o;
        o.Ipv6 = true;
        server = std::make_unique<peers::VsftpdServer>(o);
    } else {
        peers::PyftpdlibServer::Options o;
        o.Ipv6 = true;
        server = std::make_unique<peers::PyftpdlibServer>(o);
    }
    ASSERT_TRUE(server->Start()) << server->Error();
    TRecordedFtp R;
    R.Target(*server);
    R.Ftp.HostName = "::1";
    R.Ftp.Passive = passive;
    peers::TempDir local;
    ListGetPut(R, *server, local, RandomBytes(4 * 1024 * 1024));

    const auto commands = server->Commands();
    EXPECT_TRUE(HasPrefix(commands, passive ? "EPSV" : "EPRT |2|::1|")) << ::testing::PrintToString(commands);
    EXPECT_FALSE(HasPrefix(commands, "PASV") || HasPrefix(commands, "PORT"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpIpv6,
                         ::testing::Combine(::testing::Values(TServerKind::Vsftpd, TServerKind::Pyftpdlib),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return ServerName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_Passive" : "_Active");
                         });

// A name with an IPv6 and an IPv4 address, from the resolver seam.
class DualName : public ::testing::Test {
protected:
    void SetUp() override {
        winsock::seams::SetNameResolver([](const std::string& name, std::vector<std::string>& addrs) {
            if (name != "dual.tarnwick.test") return winsock::WSAHOST_NOT_FOUND;
            addrs = {"::1", "127.0.0.1"};
            return 0;
        });
    }
    void TearDown() override { winsock::seams::SetNameResolver(nullptr); }
};

TEST_F(DualName, ReachesAnIpv6OnlyAndAnIpv4OnlyServerAndKeepsPasvOnIpv4) {
    const std::string content = RandomBytes(256 * 1024);
    peers::VsftpdServer::Options o6;
    o6.Ipv6 = true;
    peers::VsftpdServer v6(o6);
    peers::PyftpdlibServer v4;
    ASSERT_TRUE(v6.Start()) << v6.Error();
    ASSERT_TRUE(v4.Start()) << v4.Error();
    for (peers::FtpServerPeer* server : {static_cast<peers::FtpServerPeer*>(&v6), static_cast<peers::FtpServerPeer*>(&v4)}) {
        for (bool passive : {true, false}) {
            SCOPED_TRACE(server == &v6 ? "IPv6 server" : "IPv4 server");
            SCOPED_TRACE(passive ? "passive" : "active");
            TRecordedFtp R;
            R.Target(*server);
            R.Ftp.HostName = "dual.tarnwick.test";
            R.Ftp.Passive = passive;
            peers::TempDir local;
            ListGetPut(R, *server, local, content);
        }
    }
    // The IPv4 server (::1 refused, 127.0.0.1 taken next) sees today's commands.
    const auto commands = v4.Commands();
    EXPECT_TRUE(HasPrefix(commands, "PASV"));
    EXPECT_TRUE(HasPrefix(commands, "PORT 127,0,0,1,"));
    EXPECT_FALSE(HasPrefix(commands, "EPSV") || HasPrefix(commands, "EPRT"));
    EXPECT_TRUE(HasPrefix(v6.Commands(), "EPSV"));
    EXPECT_TRUE(HasPrefix(v6.Commands(), "EPRT |2|::1|"));
}

TEST(FtpPasvUnknown, APasvRefusedWith500IsAskedOnceAsEpsv) {
    peers::PyftpdlibServer::Options o;
    o.Mode = "pasv_unknown";
    peers::PyftpdlibServer server(o);
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server);
    R.Ftp.Passive = true;
    peers::TempDir local;
    ListGetPut(R, server, local, RandomBytes(100 * 1000));
    const auto commands = server.Commands();
    const auto pasv = std::count(commands.begin(), commands.end(), "PASV");
    EXPECT_EQ(pasv, 3);  // listing, download, upload
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "EPSV"), pasv);
}

TEST(FtpSocks5Ipv6, ReachesAnIpv6ServerThroughMicrosocks) {
    peers::MicrosocksProxy proxy;
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    peers::VsftpdServer::Options o;
    o.Ipv6 = true;
    peers::VsftpdServer server(o);
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server);
    R.Ftp.HostName = "::1";
    R.Ftp.SetConnectionType(ftpSocks5);
    R.Ftp.SetSocksServer("127.0.0.1");
    R.Ftp.SetSocksPort(std::to_string(proxy.Port()));
    peers::TempDir local;
    ListGetPut(R, server, local, RandomBytes(1024 * 1024));
    EXPECT_TRUE(HasPrefix(server.Commands(), "EPSV"));

    // SOCKS 4 has no room for an IPv6 address: refused before anything is sent.
    R.Ftp.SetConnectionType(ftpSocks4);
    R.Ftp.SetSocksServer("127.0.0.1");
    R.Ftp.SetSocksPort(std::to_string(proxy.Port()));
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_NE(R.Ftp.ErrorMessage().find("SOCKS 4 cannot reach the IPv6 address ::1"), std::string::npos)
        << R.Ftp.ErrorMessage();
}

TEST(FtpTlsIpv6, ExplicitTlsChecksTheCertificateAgainstTheIpv6Address) {
    peers::TempDir certDir;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(certDir, "tarn-test")) << cert.Error();
    peers::VsftpdServer::Options o{8, peers::VsftpdTlsConfig(cert, false)};
    o.Ipv6 = true;
    peers::VsftpdServer server(o);
    ASSERT_TRUE(server.Start()) << server.Error();
    TRecordedFtp R;
    R.Target(server);
    R.Ftp.HostName = "::1";
    R.Ftp.Security = ftpSecurityExplicit;
    R.Ftp.SslCaFile = cert.CertFile();
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        R.Ftp.Passive = passive;
        peers::TempDir local;
        ListGetPut(R, server, local, RandomBytes(1024 * 1024));
    }
    EXPECT_EQ(server.Commands().front(), "AUTH TLS");
}

}  // namespace

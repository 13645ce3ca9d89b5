// tarnftp over IPv6: a server on ::1 alone reached as [::1]:port and as
// ftp://[::1]:port/ (EPSV and EPRT), FTPS with a certificate for ::1, and a
// malformed address refused before anything is sent.
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "peers/FtpServers.h"

namespace cli {
namespace {

TEST(CliIpv6, TransfersWithAServerOnIpv6AloneAndRefusesMalformedAddresses) {
    peers::TempDir dir, home;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(dir, "tarn-test")) << cert.Error();
    peers::VsftpdServer::Options plainOptions, tlsOptions{8, peers::VsftpdTlsConfig(cert, false)};
    plainOptions.Ipv6 = tlsOptions.Ipv6 = true;
    peers::VsftpdServer plain(plainOptions), tls(tlsOptions);
    ASSERT_TRUE(plain.Start()) << plain.Error();
    ASSERT_TRUE(tls.Start()) << tls.Error();
    const std::string binary = RandomBytes(2 * 1024 * 1024 + 5, 6);
    ASSERT_TRUE(plain.PutFile("dir/data.bin", binary));
    ASSERT_TRUE(tls.PutFile("hello.txt", "hello over IPv6\n"));

    auto run = [&](std::vector<std::string> args) {
        return RunTarnftp(InHome(home.Path(), std::move(args)));
    };
    const std::string user = plain.User() + ":" + plain.Password();
    const std::string where = "[::1]:" + std::to_string(plain.Port());
    for (const std::string mode : {"--passive", "--active"}) {
        SCOPED_TRACE(mode);
        CliResult r = run({mode, "-u", user, where, "get", "dir/data.bin", home.File("down.bin")});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(ReadLocal(home.File("down.bin")) == binary);
        r = run({mode, "-u", user, where, "put", home.File("down.bin"), "dir/up.bin"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(plain.FileContent("dir/up.bin") == binary);
        r = run({mode, "ftp://" + user + "@" + where + "/dir/"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Out, "data.bin")) << r.Out;
    }
    int epsv = 0, eprt = 0;
    for (const std::string& c : plain.Commands()) {
        epsv += c == "EPSV";
        eprt += c.rfind("EPRT |2|::1|", 0) == 0;
        EXPECT_TRUE(c != "PASV" && c.rfind("PORT ", 0) != 0) << c;
    }
    EXPECT_EQ(epsv, 3);
    EXPECT_EQ(eprt, 3);

    CliResult r = run({"--cacert", cert.CertFile(),
                       "ftpes://" + tls.User() + ":" + tls.Password() + "@[::1]:" + std::to_string(tls.Port()) +
                           "/hello.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over IPv6\n");

    const size_t before = plain.Commands().size();
    for (const std::string bad : {"[::1", "[::1]x", "[gggg::1]", "ftp://[::1/"}) {
        SCOPED_TRACE(bad);
        r = run({"-u", user, "-P", std::to_string(plain.Port()), bad, "ls"});
        EXPECT_NE(r.Status, 0);
        EXPECT_TRUE(Contains(r.Err, bad)) << r.Err;
    }
    EXPECT_EQ(plain.Commands().size(), before);
}

}  // namespace
}  // namespace cli

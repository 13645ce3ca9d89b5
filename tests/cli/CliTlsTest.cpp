// tarnftp over TLS against vsftpd (TLS forced) on 127.0.0.1: the ways to
// ask for it (--ftps, --ftps-implicit, ftpes:// and ftps:// URLs), the ways
// to trust a self-signed certificate (--cacert, --pin, --insecure with its
// warning) and the refusal of an untrusted or changed one with status 7.
#include <gtest/gtest.h>

#include "cli/CliRunner.h"
#include "peers/Peers.h"

namespace cli {
namespace {

TEST(CliTls, AsksForTlsAndTrustsOnlyWhatItIsTold) {
    peers::TempDir dir, home;
    peers::TlsCert cert;
    ASSERT_TRUE(cert.Make(dir, "tarn-test")) << cert.Error();
    peers::VsftpdServer plain({8, peers::VsftpdTlsConfig(cert, false)});
    peers::VsftpdServer implicit({8, peers::VsftpdTlsConfig(cert, true)});
    ASSERT_TRUE(plain.Start()) << plain.Error();
    ASSERT_TRUE(implicit.Start()) << implicit.Error();
    ASSERT_TRUE(plain.PutFile("hello.txt", "hello over TLS\n"));
    ASSERT_TRUE(implicit.PutFile("hello.txt", "hello over TLS\n"));

    auto run = [&](std::vector<std::string> args) {
        return RunTarnftp(InHome(home.Path(), std::move(args)));
    };
    const std::string user = plain.User() + ":" + plain.Password();
    const std::string explicitUrl =
        "ftpes://" + user + "@127.0.0.1:" + std::to_string(plain.Port()) + "/hello.txt";

    CliResult r = run({"--cacert", cert.CertFile(), explicitUrl});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over TLS\n");

    r = run({"--ftps", "--pin", cert.Sha256(), "-u", user, "-P", std::to_string(plain.Port()),
             "127.0.0.1", "get", "hello.txt", "-"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over TLS\n");

    r = run({"--ftps-implicit", "--insecure", "-u", user, "-P", std::to_string(implicit.Port()),
             "127.0.0.1", "get", "hello.txt", "-"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over TLS\n");
    EXPECT_NE(r.Err.find("warning: --insecure"), std::string::npos) << r.Err;

    r = run({"--cacert", cert.CertFile(),
             "ftps://" + user + "@127.0.0.1:" + std::to_string(implicit.Port()) + "/"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("hello.txt"), std::string::npos);

    // Untrusted, then changed: status 7, the reason and the fingerprint, no login.
    const size_t logins = plain.Commands().size();
    r = run({explicitUrl});
    EXPECT_EQ(r.Status, 7) << r.Err;
    EXPECT_NE(r.Err.find("TLS certificate not trusted"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(cert.Sha256()), std::string::npos) << r.Err;
    r = run({"--pin", std::string(64, 'a'), explicitUrl});
    EXPECT_EQ(r.Status, 7) << r.Err;
    EXPECT_NE(r.Err.find("TLS certificate changed"), std::string::npos) << r.Err;
    const auto after = plain.Commands();
    EXPECT_EQ(std::vector<std::string>(after.begin() + static_cast<long>(logins), after.end()),
              (std::vector<std::string>{"AUTH TLS", "AUTH TLS"}));

    // Trust options without TLS are a usage error.
    r = run({"--insecure", "-P", std::to_string(plain.Port()), "127.0.0.1", "pwd"});
    EXPECT_EQ(r.Status, 1) << r.Err;
}

}  // namespace
}  // namespace cli

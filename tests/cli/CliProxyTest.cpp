// tarnftp through proxies and against a server that breaks a download off:
// a session through dante's SOCKS 5 (every connection through the proxy),
// a proxy that is not there, and a download cut short then resumed with -C.
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"

namespace cli {
namespace {

class CliProxyTest : public CliTest {};

TEST_F(CliProxyTest, WholeSessionThroughDanteSocks5) {
    // dante connects out from 127.0.0.2 and vsftpd refuses a data connection
    // from another address than the control connection's: a connection that
    // went around the proxy would fail.
    peers::DanteProxy::Options options;
    options.External = "127.0.0.2";
    // The engine offers SOCKS 5 user/password authentication only.
    options.UserAuth = true;
    peers::DanteProxy socks(options);
    ASSERT_TRUE(socks.Start()) << socks.Error();
    ASSERT_TRUE(StartServer(ServerKind::Vsftpd));
    const std::string data = RandomBytes(2 * 1024 * 1024, 7);
    ASSERT_TRUE(Server->PutFile("pub/data.bin", data));
    const std::vector<std::string> proxy = {"--socks5", "127.0.0.1:" + std::to_string(socks.Port()),
                                            "--socks-user", socks.User(), "--socks-password",
                                            socks.Password()};

    CliResult r = RunLoggedIn({"ls", "pub"}, proxy);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, " data.bin\r\n")) << r.Out;

    r = RunLoggedIn({"get", "pub/data.bin"}, proxy);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(ReadLocal(Work.File("data.bin")) == data);

    r = RunLoggedIn({"put", Work.File("data.bin"), "pub/back.bin"}, proxy);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Server->FileContent("pub/back.bin") == data);
}

TEST_F(CliProxyTest, ListingThroughSocks4AndFtpProxy) {
    ASSERT_TRUE(StartServer(ServerKind::Vsftpd));
    ASSERT_TRUE(Server->PutFile("pub/note.txt", "n"));
    peers::DanteProxy socks;
    ASSERT_TRUE(socks.Start()) << socks.Error();
    CliResult r =
        RunLoggedIn({"nlst", "pub"}, {"--socks4", "127.0.0.1:" + std::to_string(socks.Port())});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "pub/note.txt\r\n");

    // The FTP proxy learns the server from "USER user@host:port".
    peers::FtpProxyServer proxy(Server->Port());
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    r = RunLoggedIn({"nlst", "pub"}, {"--ftp-proxy", "127.0.0.1:" + std::to_string(proxy.Port())});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "pub/note.txt\r\n");
}

TEST_F(CliProxyTest, ProxyThatIsNotThereExitsWithTwo) {
    ASSERT_TRUE(StartServer(ServerKind::Vsftpd));
    CliResult r = RunLoggedIn({"pwd"}, {"--socks5", "127.0.0.1:" + std::to_string(peers::FreePort())});
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: cannot connect to 127.0.0.1:")) << r.Err;
}

TEST_F(CliProxyTest, DownloadCutShortIsResumedWithContinue) {
    const std::string whole = RandomBytes(600000, 9);
    peers::PyftpdlibServer::Options cut;
    cut.Mode = "data_close_early";
    cut.CutAfterBytes = 250000;
    peers::PyftpdlibServer breaking(cut);
    ASSERT_TRUE(breaking.Start()) << breaking.Error();
    ASSERT_TRUE(breaking.PutFile("big.bin", whole));
    CliResult r = Run({"-u", breaking.User() + ":" + breaking.Password(), "-P",
                       std::to_string(breaking.Port()), "127.0.0.1", "get", "big.bin"});
    EXPECT_EQ(r.Status, 4) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: get big.bin: 426")) << r.Err;
    // What arrived stays under the file's name, ready to be resumed.
    const std::string part = ReadLocal(Work.File("big.bin"));
    EXPECT_TRUE(whole.compare(0, part.size(), part) == 0) << part.size();
    // The server's 426 may overtake the last data: what was read is kept.
    EXPECT_LE(part.size(), 250000u);

    ASSERT_TRUE(StartServer(ServerKind::Pyftpdlib));
    ASSERT_TRUE(Server->PutFile("big.bin", whole));
    r = RunLoggedIn({"get", "-C", "big.bin"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(ReadLocal(Work.File("big.bin")) == whole);
    bool rest = false;
    for (const std::string& c : Server->Commands())
        rest = rest || c == "REST " + std::to_string(part.size());
    EXPECT_TRUE(rest || part.empty());
}

TEST_F(CliProxyTest, ProgressBarOnlyOnATerminal) {
    ASSERT_TRUE(StartServer(ServerKind::Vsftpd));
    ASSERT_TRUE(Server->PutFile("data.bin", RandomBytes(1024 * 1024, 4)));
    CliRun run = Prepare(LoginArgs({"get", "data.bin"}, {"--passive"}));
    run.StderrTerminal = true;
    CliResult r = RunTarnftp(run);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "data.bin")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "100%")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "/s")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "eta")) << r.Err;

    run = Prepare(LoginArgs({"get", "data.bin", "again.bin"}, {"--passive", "-q"}));
    run.StderrTerminal = true;
    r = RunTarnftp(run);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty()) << r.Err;
}

}  // namespace
}  // namespace cli

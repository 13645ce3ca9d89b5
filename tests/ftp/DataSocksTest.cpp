// Listings and transfers through SOCKS proxies in passive mode. dante sends
// its outgoing connections from 127.0.0.2, and vsftpd refuses a data
// connection from another address than the control connection's ("425
// Security: Bad IP connecting."): a data connection that bypassed the proxy
// fails these tests.
#include <gtest/gtest.h>

#include "DataTestSupport.h"

namespace {

using namespace peers;

class DataThroughSocks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server.Start()) << Server.Error();
        ASSERT_TRUE(Server.PutFile("pub/big.bin", Content));
        R.Target(Server);
    }

    void UseProxy(TFtpConnectionType type, int port) {
        R.Ftp.SetConnectionType(type);
        R.Ftp.SetSocksServer("127.0.0.1");
        R.Ftp.SetSocksPort(std::to_string(port));
    }

    // One session: a listing, a 10 MiB download and upload, then a second
    // session that downloads again: every connection needs the proxy.
    void RunSessions() {
        ASSERT_TRUE(R.Ftp.Passive);
        for (int session = 0; session < 2; ++session) {
            SCOPED_TRACE(session);
            ASSERT_TRUE(R.Run(&TCustomFtpCli::ConnectAsync)) << R.Ftp.ErrorMessage();
            R.ExpectOneDone(ftpConnectAsync, 0);
            ASSERT_TRUE(R.Run(&TCustomFtpCli::TypeBinaryAsync));
            R.ExpectOneDone(ftpTypeSetAsync, 0);

            R.Ftp.HostFileName = "pub";
            R.Ftp.LocalFileName = Dir.File("listing.txt");
            ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
            R.ExpectOneDone(ftpDirAsync, 0);
            EXPECT_NE(ReadLocal(Dir.File("listing.txt")).find("big.bin"), std::string::npos);

            R.Ftp.HostFileName = "pub/big.bin";
            R.Ftp.LocalFileName = Dir.File("big.bin");
            ASSERT_TRUE(R.Run(&TCustomFtpCli::GetAsync)) << R.Ftp.ErrorMessage();
            R.ExpectOneDone(ftpGetAsync, 0);
            EXPECT_TRUE(ReadLocal(Dir.File("big.bin")) == Content);

            R.Ftp.HostFileName = "up.bin";
            ASSERT_TRUE(R.Run(&TCustomFtpCli::PutAsync)) << R.Ftp.ErrorMessage();
            R.ExpectOneDone(ftpPutAsync, 0);
            EXPECT_TRUE(Server.FileContent("up.bin") == Content);

            ASSERT_TRUE(R.Run(&TCustomFtpCli::QuitAsync));
            R.ExpectOneDone(ftpQuitAsync, 0);
        }
    }

    VsftpdServer Server;
    TempDir Dir;
    TDataFtp R;
    const std::string Content = RandomBytes(10 * 1024 * 1024, 21);
};

// The SOCKS connection types always offer user-code authentication, so a
// SOCKS 5 proxy must take a user and password.
TEST_F(DataThroughSocks, Socks5ThroughDanteWithPassword) {
    DanteProxy::Options options;
    options.External = "127.0.0.2";
    options.UserAuth = true;
    DanteProxy proxy(options);
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    UseProxy(ftpSocks5, proxy.Port());
    R.Ftp.SetSocksUserCode(proxy.User());
    R.Ftp.SetSocksPassword(proxy.Password());
    RunSessions();
}

TEST_F(DataThroughSocks, Socks4ThroughDante) {
    DanteProxy::Options options;
    options.External = "127.0.0.2";
    DanteProxy proxy(options);
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    UseProxy(ftpSocks4, proxy.Port());
    RunSessions();
}

TEST_F(DataThroughSocks, Socks5ThroughMicrosocksWithPassword) {
    MicrosocksProxy proxy(MicrosocksProxy::Options{"tarnuser", "tarnpass"});
    ASSERT_TRUE(proxy.Start()) << proxy.Error();
    UseProxy(ftpSocks5, proxy.Port());
    R.Ftp.SetSocksUserCode("tarnuser");
    R.Ftp.SetSocksPassword("tarnpass");
    RunSessions();
}

}  // namespace

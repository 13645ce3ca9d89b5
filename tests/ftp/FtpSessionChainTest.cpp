// Chains that open a session, do one thing and quit, against real servers;
// the FTP proxy login; the connection type.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "FtpTestSupport.h"

namespace {

namespace fs = std::filesystem;

class FtpSessionChain : public ::testing::TestWithParam<TServerKind> {
protected:
    // One server of each kind for the whole suite; every test logs in anew.
    static TSuiteServers& Servers() {
        static TSuiteServers servers;
        return servers;
    }
    static void TearDownTestSuite() { Servers().Clear(); }

    void SetUp() override {
        Server = Servers().Get(GetParam());
        ASSERT_NE(Server, nullptr) << Servers().Error();
        ASSERT_TRUE(Server->PutFile("work/five.txt", "12345"));
        R.Target(*Server);
    }

    // Runs one session chain to its end and checks that it quit.
    void RunChain(void (TCustomFtpCli::*chain)(), TFtpRequest rq, std::uint16_t error = 0) {
        (R.Ftp.*chain)();
        EXPECT_TRUE(R.Done.empty()) << "completion called from inside the request";
        ASSERT_TRUE(R.WaitDone());
        R.ExpectOneDone(rq, error);
        EXPECT_EQ(R.Ftp.State(), fesReady);
    }

    std::vector<std::string> LastCommands(size_t n) const {
        auto c = Server->Commands();
        if (c.size() < n) return c;
        return std::vector<std::string>(c.end() - n, c.end());
    }
    std::string Login(size_t i) const {
        return LoginCommands(*Server, GetParam() == TServerKind::Vsftpd)[i];
    }

    peers::FtpServerPeer* Server = nullptr;
    TRecordedFtp R;
};

TEST_P(FtpSessionChain, EachChainRunsItsStepsInOrderAndQuits) {
    R.Ftp.HostDirName = "work";

    RunChain(&TCustomFtpCli::SystemAsync, ftpSystemAsync);
    // The chain reports its last real step, not the 221 of QUIT.
    EXPECT_EQ(R.Ftp.ReplyCode(), 215);
    EXPECT_EQ(R.Ftp.LastReplyLine().substr(0, 4), "215 ");
    EXPECT_FALSE(R.Ftp.Connected());
    // The order is fixed; CWD is not part of this chain.
    EXPECT_EQ(LastCommands(4), (std::vector<std::string>{Login(0), Login(1), "SYST", "QUIT"}));

    R.Ftp.HostFileName = "five.txt";
    R.Ftp.SetBinary(true);
    const bool sizeInAscii = GetParam() == TServerKind::Vsftpd;
    RunChain(&TCustomFtpCli::FileSizeAsync, ftpSizeAsync, sizeInAscii ? 0 : 550);
    if (sizeInAscii) {
        EXPECT_EQ(R.Ftp.ReplySize(), 5);
        EXPECT_EQ(R.Ftp.LastReplyLine(), "213 5");
        EXPECT_FALSE(R.Ftp.Connected());
    } else {
        // pyftpdlib refuses SIZE in its default ASCII mode (the chain sends no
        // TYPE): the chain stops there and leaves the session open.
        EXPECT_EQ(R.Ftp.ReplySize(), 0);
        EXPECT_EQ(R.Ftp.LastReplyLine().substr(0, 4), "550 ");
        EXPECT_TRUE(R.Ftp.Connected());
        R.Ftp.CancelAsync();
    }

    R.Ftp.HostFileName = "made";
    RunChain(&TCustomFtpCli::MkdirAsync, ftpMkdirAsync);
    EXPECT_TRUE(fs::is_directory(Server->Home() + "/work/made"));
    EXPECT_EQ(LastCommands(5), (std::vector<std::string>{Login(0), Login(1), "CWD work",
                                                         "MKD made", "QUIT"}));
    RunChain(&TCustomFtpCli::RmdirAsync, ftpRmdirAsync);
    EXPECT_FALSE(fs::exists(Server->Home() + "/work/made"));

    R.Ftp.HostFileName = "five.txt";
    R.Ftp.LocalFileName = "six.txt";
    RunChain(&TCustomFtpCli::RenameAsync, ftpRenameAsync);
    EXPECT_TRUE(fs::exists(Server->Home() + "/work/six.txt"));
    R.Ftp.HostFileName = "six.txt";
    RunChain(&TCustomFtpCli::DeleteAsync, ftpDeleteAsync);
    EXPECT_FALSE(fs::exists(Server->Home() + "/work/six.txt"));

    R.Ftp.LocalFileName = "NOOP";
    RunChain(&TCustomFtpCli::DoQuoteAsync, ftpDoQuoteAsync);
    EXPECT_EQ(LastCommands(5), (std::vector<std::string>{Login(0), Login(1), "CWD work", "NOOP",
                                                         "QUIT"}));
    EXPECT_FALSE(R.Ftp.Connected());
}

TEST_P(FtpSessionChain, EmptyHostDirNameSkipsCwdButCwdAloneRefuses) {
    R.Ftp.HostDirName = "";
    R.Ftp.LocalFileName = "NOOP";
    RunChain(&TCustomFtpCli::DoQuoteAsync, ftpDoQuoteAsync);
    EXPECT_EQ(LastCommands(4), (std::vector<std::string>{Login(0), Login(1), "NOOP", "QUIT"}));
    ASSERT_TRUE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 0);
    EXPECT_THROW(R.Ftp.CwdAsync(), FtpException);
    EXPECT_FALSE(R.Ftp.Cwd());
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST_P(FtpSessionChain, FailedStepEndsChainAtOnceAndLeavesSessionOpen) {
    R.Ftp.HostDirName = "work";
    R.Ftp.HostFileName = "five.txt";  // a file: MKD of that name fails
    RunChain(&TCustomFtpCli::MkdirAsync, ftpMkdirAsync, 550);
    EXPECT_EQ(R.Ftp.ReplyCode(), 550);
    EXPECT_EQ(R.Ftp.LastReplyLine().substr(0, 4), "550 ");
    EXPECT_EQ(R.Ftp.ErrorMessage(), R.Ftp.LastReplyLine());
    EXPECT_EQ(Server->Commands().back(), "MKD five.txt");  // no QUIT
    EXPECT_TRUE(R.Ftp.Connected());
    try {
        R.Ftp.MkdirAsync();
        ADD_FAILURE() << "no refusal";
    } catch (const FtpException& E) {
        EXPECT_STREQ(E.what(), "FTP component already connected");
    }
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST_P(FtpSessionChain, StepRefusedInsideRunningChainEndsRequestWithError) {
    R.Ftp.UserName = "";  // the USER step is refused after the greeting
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 500);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "UserName emtpy");
    EXPECT_EQ(R.Ftp.State(), fesReady);
    EXPECT_TRUE(R.Ftp.Connected());
    R.Ftp.CancelAsync();

    R.Ftp.UserName = Server->User();
    R.Ftp.PassWord = "";
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 500);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "Password emtpy");
    R.Ftp.CancelAsync();
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpSessionChain,
                         ::testing::Values(TServerKind::Vsftpd, TServerKind::Pyftpdlib),
                         [](const auto& info) { return ServerName(info.param); });

TEST(FtpProxyLogin, LogsInThroughFtpProxyWithUserAtHostPort) {
    peers::VsftpdServer server;
    ASSERT_TRUE(server.Start()) << server.Error();
    peers::FtpProxyServer proxy(server.Port() + 1);  // the default target is wrong on purpose
    ASSERT_TRUE(proxy.Start()) << proxy.Error();

    TRecordedFtp R;
    R.Target(server);
    R.Ftp.SetConnectionType(ftpProxy);
    EXPECT_TRUE(R.Ftp.Passive);
    R.Ftp.ProxyServer = "127.0.0.1";
    R.Ftp.ProxyPort = std::to_string(proxy.Port());
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage() << "\n" << proxy.Log();
    R.ExpectOneDone(ftpConnectAsync, 0);
    EXPECT_TRUE(R.Traced("> USER " + server.User() + "@127.0.0.1:" + std::to_string(server.Port())));
    ASSERT_TRUE(R.Ftp.Pwd());
    EXPECT_EQ(R.Ftp.ReplyDirName(), server.Home());
    EXPECT_TRUE(R.Ftp.Quit());
    auto c = server.Commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.front(), "USER " + server.User());

    R.Ftp.SetConnectionType(ftpDirect);
    EXPECT_TRUE(R.Ftp.Passive);  // returning to direct keeps passive mode
}

}  // namespace

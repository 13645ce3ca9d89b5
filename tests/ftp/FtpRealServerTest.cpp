// Single commands against real servers (vsftpd and pyftpdlib on 127.0.0.1):
// login, directories, file operations, refusals and the synchronous calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>

#include "FtpTestSupport.h"

namespace {

namespace fs = std::filesystem;

class FtpRealServer : public ::testing::TestWithParam<TServerKind> {
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
        ASSERT_TRUE(Server->PutFile("sub/inner.txt", "inner"));
        ASSERT_TRUE(Server->PutFile("five.txt", "12345"));
        R.Target(*Server);
    }

    void LogIn() {
        ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpConnectAsync, 0);
    }

    std::string HomeShown() const {
        return GetParam() == TServerKind::Vsftpd ? Server->Home() : "/";
    }
    std::string InHome(const std::string& name) const { return Server->Home() + "/" + name; }

    peers::FtpServerPeer* Server = nullptr;
    TRecordedFtp R;
};

// A completion handler that runs another synchronous request before the
// first call has looked at its result (the window's completion table does
// this): each call still returns its own request's result.
TEST_P(FtpRealServer, SynchronousCallReturnsItsOwnResultWhenItsCompletionStartsAnother) {
    LogIn();
    std::vector<bool> inner;
    R.Ftp.OnRequestDone = [&](TObject*, TFtpRequest RqType, std::uint16_t) {
        if (RqType == ftpDeleAsync) inner.push_back(R.Ftp.Pwd());
    };
    R.Ftp.HostFileName = "no-such-file.txt";
    EXPECT_FALSE(R.Ftp.Dele());  // refused by the server; the PWD after it succeeds
    ASSERT_TRUE(PumpUntil([&] { return !inner.empty(); }));
    EXPECT_TRUE(inner[0]);

    inner.clear();
    R.Ftp.HostFileName = "five.txt";
    EXPECT_TRUE(R.Ftp.Dele());
    ASSERT_TRUE(PumpUntil([&] { return !inner.empty(); }));
    EXPECT_TRUE(inner[0]);
    EXPECT_TRUE(R.Ftp.Quit());
    ASSERT_TRUE(Server->PutFile("five.txt", "12345"));
}

TEST_P(FtpRealServer, ArgumentsWithLineBreaksAreNeverSent) {
    LogIn();
    R.Ftp.HostFileName = "x\r\nDELE five.txt";
    EXPECT_FALSE(R.Ftp.Mkd());
    R.ExpectOneDone(ftpMkdAsync, 500);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "500 Command not sent: it contains a line break");
    R.Done.clear();
    R.Ftp.HostFileName = "five.txt\nDELE five.txt";
    R.Ftp.LocalFileName = (fs::temp_directory_path() / "tarn-ftp-linebreak.txt").string();
    EXPECT_FALSE(R.Ftp.Get());
    R.ExpectOneDone(ftpGetAsync, 500);
    R.Done.clear();
    EXPECT_TRUE(R.Ftp.Pwd());  // the session goes on
    EXPECT_TRUE(R.Ftp.Quit());
    for (const auto& c : Server->Commands()) EXPECT_EQ(c.rfind("DELE", 0), std::string::npos) << c;
    EXPECT_EQ(Server->FileContent("five.txt"), "12345");
    fs::remove(R.Ftp.LocalFileName);
}

TEST_P(FtpRealServer, LogsInWalksFoldersAndQuits) {
    LogIn();
    EXPECT_EQ(R.Ftp.State(), fesReady);
    EXPECT_TRUE(R.Ftp.Connected());

    ASSERT_TRUE(R.Ftp.Pwd());
    R.ExpectOneDone(ftpPwdAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyCode(), 257);
    const std::string home = R.Ftp.ReplyDirName();
    EXPECT_EQ(home, HomeShown());

    R.Ftp.HostDirName = "sub";
    ASSERT_TRUE(R.Ftp.Cwd());
    R.ExpectOneDone(ftpCwdAsync, 0);
    ASSERT_TRUE(R.Ftp.Pwd());
    R.ExpectOneDone(ftpPwdAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyDirName(), (home == "/" ? "" : home) + "/sub");

    R.Ftp.CDupAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpCDupAsync, 0);
    ASSERT_TRUE(R.Ftp.Pwd());
    R.ExpectOneDone(ftpPwdAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyDirName(), home);

    // A file is not a folder: the reply's code is the result.
    R.Ftp.HostDirName = "five.txt";
    EXPECT_FALSE(R.Ftp.Cwd());
    R.ExpectOneDone(ftpCwdAsync, 550);
    EXPECT_EQ(R.Ftp.ReplyCode(), 550);
    EXPECT_EQ(R.Ftp.ErrorMessage().substr(0, 4), "550 ");
    EXPECT_EQ(R.Ftp.ErrorMessage(), R.Ftp.LastReplyLine());

    ASSERT_TRUE(R.Ftp.Quit());
    R.ExpectOneDone(ftpQuitAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyCode(), 221);
    EXPECT_FALSE(R.Ftp.Connected());

    const auto& c = Server->Commands();
    ASSERT_GE(c.size(), 9u);
    std::vector<std::string> tail(c.end() - 9, c.end());
    auto expected = LoginCommands(*Server, GetParam() == TServerKind::Vsftpd);
    for (const char* c : {"PWD", "CWD sub", "PWD", "CDUP", "PWD", "CWD five.txt", "QUIT"})
        expected.push_back(c);
    EXPECT_EQ(tail, expected);
    if (GetParam() == TServerKind::Vsftpd) {
        std::cout << "[trace] vsftpd session:\n";
        for (const auto& line : R.Trace) std::cout << "[trace]   " << line << "\n";
    }
}

TEST_P(FtpRealServer, WrongPasswordEndsConnectWith530AndKeepsSession) {
    R.Ftp.PassWord = "not-the-password";
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 530);
    EXPECT_EQ(R.Ftp.ReplyCode(), 530);
    EXPECT_EQ(R.Ftp.ErrorMessage().substr(0, 4), "530 ");
    // No QUIT after a failure: the session stays open and refuses a new login.
    EXPECT_TRUE(R.Ftp.Connected());
    EXPECT_THROW(R.Ftp.ConnectAsync(), FtpException);
}

TEST_P(FtpRealServer, FileOperations) {
    LogIn();
    R.Ftp.HostFileName = "newdir";
    ASSERT_TRUE(R.Ftp.Mkd()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpMkdAsync, 0);
    EXPECT_TRUE(fs::is_directory(InHome("newdir")));
    EXPECT_EQ(R.Ftp.ReplyDirName().substr(R.Ftp.ReplyDirName().size() - 6), "newdir");
    ASSERT_TRUE(R.Ftp.Rmd());
    R.ExpectOneDone(ftpRmdAsync, 0);
    EXPECT_FALSE(fs::exists(InHome("newdir")));

    // A folder with content cannot be removed.
    R.Ftp.HostFileName = "sub";
    EXPECT_FALSE(R.Ftp.Rmd());
    R.ExpectOneDone(ftpRmdAsync, 550);

    ASSERT_TRUE(Server->PutFile("old.txt", "x"));
    R.Ftp.HostFileName = "old.txt";
    R.Ftp.LocalFileName = "renamed.txt";
    ASSERT_TRUE(R.Ftp.Ren());
    R.ExpectOneDone(ftpRenAsync, 0);
    EXPECT_TRUE(fs::exists(InHome("renamed.txt")));
    EXPECT_FALSE(fs::exists(InHome("old.txt")));

    R.Ftp.HostFileName = "renamed.txt";
    ASSERT_TRUE(R.Ftp.Dele());
    R.ExpectOneDone(ftpDeleAsync, 0);
    EXPECT_FALSE(fs::exists(InHome("renamed.txt")));
    EXPECT_FALSE(R.Ftp.Dele());  // gone already
    R.ExpectOneDone(ftpDeleAsync, 550);

    R.Ftp.SystAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpSystAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyCode(), 215);

    ASSERT_TRUE(R.Ftp.TypeAscii());
    R.ExpectOneDone(ftpTypeSetAsync, 0);
    EXPECT_FALSE(R.Ftp.Binary());
    ASSERT_TRUE(R.Ftp.TypeBinary());
    R.ExpectOneDone(ftpTypeSetAsync, 0);
    EXPECT_TRUE(R.Ftp.Binary());

    R.Ftp.HostFileName = "five.txt";
    R.Ftp.SizeAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpSizeAsync, 0);
    EXPECT_EQ(R.Ftp.ReplySize(), 5);

    R.Ftp.LocalFileName = "NOOP";
    R.Ftp.QuoteAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpQuoteAsync, 0);
    R.Ftp.LocalFileName = "BOGUS";
    R.Ftp.QuoteAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpQuoteAsync, R.Ftp.ReplyCode());
    EXPECT_GE(R.Ftp.ReplyCode(), 500);

    std::vector<std::string> expected{"TYPE A", "TYPE I", "SIZE five.txt", "NOOP", "BOGUS"};
    const auto& c = Server->Commands();
    ASSERT_GE(c.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(c.end() - 5, c.end()), expected);
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST_P(FtpRealServer, RefusesWhileBusyAndLeavesRunningRequestAlone) {
    LogIn();
    R.Ftp.HostDirName = "sub";
    R.Ftp.PwdAsync();
    try {
        R.Ftp.CwdAsync();
        ADD_FAILURE() << "no refusal";
    } catch (const FtpException& E) {
        EXPECT_STREQ(E.what(), "FTP component not ready");
    }
    std::vector<std::string> errors;
    R.Ftp.OnError = [&](TObject*, std::string& Msg) { errors.push_back(Msg); };
    R.Ftp.HostFileName = "five.txt";
    R.Ftp.SizeAsync();  // refused: must not turn the PWD reply into a size
    R.Ftp.ConnectAsync();
    EXPECT_EQ(errors, (std::vector<std::string>{"FTP component not ready",
                                                "FTP component already connected"}));
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpPwdAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyDirName(), HomeShown());
    // A refused synchronous call is false even with OnError set.
    EXPECT_FALSE(R.Ftp.Connect());
    R.Ftp.OnError = nullptr;
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST_P(FtpRealServer, OnCommandRewritesWhatIsTracedAndSent) {
    LogIn();
    const auto taped = R.Ftp.OnCommand;
    R.Ftp.OnCommand = [taped](TObject* Sender, std::string& Cmd) {
        if (Cmd == "SYST") Cmd = "NOOP";
        taped(Sender, Cmd);
    };
    R.Ftp.SystAsync();
    ASSERT_TRUE(R.WaitDone());
    EXPECT_TRUE(R.Traced("> NOOP"));
    EXPECT_FALSE(R.Traced("> SYST"));
    EXPECT_EQ(Server->Commands().back(), "NOOP");
    // NOOP answers 200, not the 215 SYST accepts.
    EXPECT_EQ(R.Done.back().Error, 200);
    R.Done.clear();
    R.Ftp.OnCommand = taped;
    EXPECT_TRUE(R.Ftp.Quit());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpRealServer,
                         ::testing::Values(TServerKind::Vsftpd, TServerKind::Pyftpdlib),
                         [](const auto& info) { return ServerName(info.param); });

}  // namespace

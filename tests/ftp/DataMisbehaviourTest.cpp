// Transfers against servers that misbehave on the data connection: pyftpdlib
// in its scripted modes, and a scripted control/data pair for the replies no
// real server gives.
#include <gtest/gtest.h>

#include "DataTestSupport.h"

namespace {

using namespace peers;

class DataMisbehaviour : public ::testing::TestWithParam<bool> {  // passive mode
protected:
    // Starts pyftpdlib in `mode`, logs in and sets binary type.
    void Start(const std::string& mode, int cutAfter = 1000) {
        PyftpdlibServer::Options options;
        options.Mode = mode;
        options.CutAfterBytes = cutAfter;
        Server = std::make_unique<PyftpdlibServer>(options);
        ASSERT_TRUE(Server->Start()) << Server->Error();
        R.Target(*Server);
        R.Ftp.Passive = GetParam();
        ASSERT_TRUE(R.Run(&TCustomFtpCli::ConnectAsync)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpConnectAsync, 0);
        ASSERT_TRUE(R.Run(&TCustomFtpCli::TypeBinaryAsync));
        R.ExpectOneDone(ftpTypeSetAsync, 0);
    }
    bool Get(const std::string& remote) {
        R.Ftp.HostFileName = remote;
        R.Ftp.LocalFileName = Dir.File(remote);
        return R.Run(&TCustomFtpCli::GetAsync);
    }
    std::uint16_t NextDone() {
        if (!PumpUntil([&] { return !R.Done.empty(); }, 5000)) return 0xFFFF;
        std::uint16_t error = R.Done[0].Error;
        R.Done.clear();
        return error;
    }
    void ExpectSessionUsable() {
        ASSERT_TRUE(R.Run(&TCustomFtpCli::PwdAsync)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpPwdAsync, 0);
    }

    std::unique_ptr<PyftpdlibServer> Server;
    TempDir Dir;
    TDataFtp R;
};

TEST_P(DataMisbehaviour, FinalReplyBeforeOrAfterTheDataCloseCompletesOnce) {
    for (const char* mode : {"reply_226_before_close", "reply_226_after_close"}) {
        SCOPED_TRACE(mode);
        Start(mode);
        const std::string content = RandomBytes(200000, 9);
        ASSERT_TRUE(Server->PutFile("file.bin", content));
        ASSERT_TRUE(Get("file.bin")) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpGetAsync, 0);
        EXPECT_TRUE(ReadLocal(Dir.File("file.bin")) == content);

        R.Ftp.LocalFileName = Dir.File("listing.txt");
        R.Ftp.HostFileName.clear();
        ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpDirAsync, 0);
        EXPECT_NE(ReadLocal(Dir.File("listing.txt")).find("file.bin"), std::string::npos);
        ASSERT_TRUE(R.Run(&TCustomFtpCli::QuitAsync));
        R.ExpectOneDone(ftpQuitAsync, 0);
    }
}

TEST_P(DataMisbehaviour, DataConnectionClosedEarlyLeavesTheShortFileAndTheServersResult) {
    Start("data_close_early", 1000);
    ASSERT_TRUE(Server->PutFile("cut.bin", RandomBytes(50000)));
    EXPECT_FALSE(Get("cut.bin"));
    EXPECT_EQ(NextDone(), 426);
    // The 426 may overtake the bytes: the request ends at once either way.
    EXPECT_LE(FileSizeOf(Dir.File("cut.bin")), 1000);
    EXPECT_EQ(R.Ftp.ErrorMessage().substr(0, 4), "426 ");
    ExpectSessionUsable();
}

TEST_P(DataMisbehaviour, ShortFileClaimedCompleteIsTakenAtTheServersWord) {
    Start("data_close_early_226", 1000);
    ASSERT_TRUE(Server->PutFile("cut.bin", RandomBytes(50000)));
    EXPECT_TRUE(Get("cut.bin")) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpGetAsync, 0);
    EXPECT_EQ(FileSizeOf(Dir.File("cut.bin")), 1000);
}

TEST_P(DataMisbehaviour, DataConnectionResetEndsWithAnError) {
    Start("data_reset", 1000);
    ASSERT_TRUE(Server->PutFile("reset.bin", RandomBytes(500000)));
    EXPECT_FALSE(Get("reset.bin"));
    const std::uint16_t error = NextDone();
    EXPECT_NE(error, 0);
    EXPECT_NE(error, 0xFFFF) << "no completion";
    EXPECT_FALSE(R.Ftp.ErrorMessage().empty());
    ExpectSessionUsable();
}

INSTANTIATE_TEST_SUITE_P(Modes, DataMisbehaviour, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "passive" : "active"; });

class PassiveReply : public DataMisbehaviour {};

TEST_P(PassiveReply, MalformedReplyEndsWith550AndKeepsTheSession) {
    Start("pasv_malformed");
    ASSERT_TRUE(Server->PutFile("f.txt", "f"));
    EXPECT_FALSE(Get("f.txt"));
    EXPECT_EQ(NextDone(), 550);
    EXPECT_EQ(R.Ftp.ErrorMessage(),
              "550 Invalid passive mode reply: 227 Entering passive mode (127,0,0,1,200).");
    ExpectSessionUsable();
}

TEST_P(PassiveReply, DataGoesToTheControlAddressNotTheOneInTheReply) {
    Start("pasv_other_address");
    ASSERT_TRUE(Server->PutFile("f.txt", "data at the control address"));
    ASSERT_TRUE(Get("f.txt")) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpGetAsync, 0);
    EXPECT_EQ(ReadLocal(Dir.File("f.txt")), "data at the control address");
}

INSTANTIATE_TEST_SUITE_P(Passive, PassiveReply, ::testing::Values(true),
                         [](const auto&) { return "passive"; });

// A control connection scripted up to the transfer, with a data peer whose
// port its 227 reply names.
std::vector<ScriptStep> LoginThenPasv(int dataPort) {
    return {SendBytes("220 scripted\r\n"),
            ExpectBytes("USER u\r\n"),
            SendBytes("331 pass\r\n"),
            ExpectBytes("PASS p\r\n"),
            SendBytes("230 in\r\n"),
            ExpectBytes("PASV\r\n"),
            SendBytes("227 Entering Passive Mode (10,0,0,5," + std::to_string(dataPort / 256) +
                      "," + std::to_string(dataPort % 256) + ")\r\n")};
}

// Logs a TDataFtp in to the scripted control peer, in passive mode.
void ConnectScripted(TDataFtp& R, const ScriptedPeer& control) {
    R.Ftp.HostName = "127.0.0.1";
    R.Ftp.Port = std::to_string(control.Port());
    R.Ftp.UserName = "u";
    R.Ftp.PassWord = "p";
    R.Ftp.Passive = true;
    ASSERT_TRUE(R.Run(&TCustomFtpCli::ConnectAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
}

TEST(DataScripted, OnDisplayFileGetsLinesWithoutLineEnds) {
    ScriptedPeer data({SendBytes("\r\nfirst\r\n\r\nsecond\nthird"), CloseConnection()});
    ASSERT_TRUE(data.Start());
    auto script = LoginThenPasv(data.Port());
    for (ScriptStep s : {ExpectBytes("LIST\r\n"), SendBytes("150 here\r\n"),
                         SleepFor(Millis(300)), SendBytes("226 done\r\n")})
        script.push_back(s);
    ScriptedPeer control(script);
    ASSERT_TRUE(control.Start());
    TDataFtp R;
    ConnectScripted(R, control);
    R.Ftp.DisplayFileFlag = true;
    ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    // One block: an empty string for its leading line end, blank lines gone.
    EXPECT_EQ(R.FileLines, (std::vector<std::string>{"", "first", "second", "third"}));
    EXPECT_EQ(control.Failure(), "");
}

TEST(DataScripted, Reply125IsGoAheadAndFinalReply) {
    ScriptedPeer data({SendBytes("scripted bytes\r\n"), CloseConnection()});
    ASSERT_TRUE(data.Start());
    auto script = LoginThenPasv(data.Port());
    for (ScriptStep s : {ExpectBytes("RETR f\r\n"), SendBytes("125 go ahead\r\n"),
                         SleepFor(Millis(300)), SendBytes("125 done as well\r\n"),
                         ExpectBytes("QUIT\r\n"), SendBytes("221 bye\r\n"), CloseConnection()})
        script.push_back(s);
    ScriptedPeer control(script);
    ASSERT_TRUE(control.Start());

    TDataFtp R;
    TempDir dir;
    ConnectScripted(R, control);
    R.Ftp.HostFileName = "f";
    R.Ftp.LocalFileName = dir.File("f");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::GetAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpGetAsync, 0);
    EXPECT_EQ(ReadLocal(dir.File("f")), "scripted bytes\r\n");
    // The 227 named 10.0.0.5; the data went to the control connection's server.
    EXPECT_EQ(data.ClientAddresses(), (std::vector<std::string>{"127.0.0.1"}));
    ASSERT_TRUE(R.Run(&TCustomFtpCli::QuitAsync));
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(control.Failure(), "");
}

TEST(DataScripted, RefusedStorGoAheadSendsNoData) {
    ScriptedPeer data({ExpectPeerClose()});
    ASSERT_TRUE(data.Start());
    auto script = LoginThenPasv(data.Port());
    for (ScriptStep s : {ExpectBytes("STOR up.txt\r\n"), SendBytes("553 Not allowed.\r\n")})
        script.push_back(s);
    ScriptedPeer control(script);
    ASSERT_TRUE(control.Start());

    TDataFtp R;
    TempDir dir;
    WriteLocal(dir.File("up.txt"), "never sent");
    ConnectScripted(R, control);
    R.Ftp.HostFileName = "up.txt";
    R.Ftp.LocalFileName = dir.File("up.txt");
    EXPECT_FALSE(R.Run(&TCustomFtpCli::PutAsync));
    R.ExpectOneDone(ftpPutAsync, 553);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "553 Not allowed.");
    EXPECT_TRUE(data.WaitDone());
    EXPECT_EQ(data.Received(), "");
}

TEST(DataScripted, ControlConnectionLostDuringATransferIsAFailure) {
    ScriptedPeer data({SendBytes("part of it"), SleepFor(Millis(1000)), CloseConnection()});
    ASSERT_TRUE(data.Start());
    auto script = LoginThenPasv(data.Port());
    for (ScriptStep s : {ExpectBytes("RETR f\r\n"), SendBytes("150 go\r\n"), CloseConnection()})
        script.push_back(s);
    ScriptedPeer control(script);
    ASSERT_TRUE(control.Start());
    TDataFtp R;
    TempDir dir;
    ConnectScripted(R, control);
    R.Ftp.HostFileName = "f";
    R.Ftp.LocalFileName = dir.File("f");
    EXPECT_FALSE(R.Run(&TCustomFtpCli::GetAsync));
    R.ExpectOneDone(ftpGetAsync, 500);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "500 Connection closed by the server");
    EXPECT_FALSE(R.Ftp.Connected());
}

}  // namespace

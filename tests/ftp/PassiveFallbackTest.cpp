// Active mode first, passive when active mode cannot work: against vsftpd
// that refuses PORT, a request runs again once in passive mode and the
// session stays passive; without the fallback, or when passive fails too,
// the request reports its own error.
#include <gtest/gtest.h>

#include <filesystem>

#include "FtpTestSupport.h"
#include "TestFiles.h"
#include "peers/FtpServers.h"
#include "peers/ScriptedPeer.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> DataCommands(const peers::FtpServerPeer& server) {
    std::vector<std::string> out;
    for (const std::string& c : server.Commands())
        for (const char* w : {"PORT", "PASV", "RETR", "LIST", "STOR", "APPE"})
            if (c.rfind(w, 0) == 0) out.push_back(c.rfind("PORT", 0) == 0 ? "PORT" : c);
    return out;
}

std::unique_ptr<peers::VsftpdServer> Refusing(std::vector<std::string> config) {
    peers::VsftpdServer::Options options;
    options.ExtraConfig = std::move(config);
    return std::make_unique<peers::VsftpdServer>(options);
}

TEST(PassiveFallback, RefusedPortRunsTheRequestAgainPassiveAndTheSessionStaysPassive) {
    auto ftp = Refusing({"port_enable=NO"});
    ASSERT_TRUE(ftp->Start()) << ftp->Error();
    ASSERT_TRUE(ftp->PutFile("five.txt", "12345"));
    const std::string local = (fs::temp_directory_path() / "tarn-fallback-five.txt").string();

    TRecordedFtp R;
    R.Target(*ftp);
    R.Ftp.PassiveFallback = true;
    int fallbacks = 0;
    R.Ftp.OnPassiveFallback = [&](TObject*) { ++fallbacks; };
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);

    R.Ftp.HostFileName = "five.txt";
    R.Ftp.LocalFileName = local;
    EXPECT_TRUE(R.Ftp.Get()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpGetAsync, 0);
    EXPECT_EQ(ReadLocal(local), "12345");
    EXPECT_EQ(fallbacks, 1);
    EXPECT_TRUE(R.Ftp.Passive);

    R.Ftp.HostFileName.clear();
    EXPECT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    EXPECT_EQ(fallbacks, 1);
    EXPECT_EQ(DataCommands(*ftp),
              (std::vector<std::string>{"PORT", "PASV", "RETR five.txt", "PASV", "LIST"}));
    EXPECT_TRUE(R.Ftp.Quit());
    fs::remove(local);

    // Without the fallback the refusal is the request's result, as always.
    TRecordedFtp plain;
    plain.Target(*ftp);
    ASSERT_TRUE(plain.Ftp.Connect());
    plain.ExpectOneDone(ftpConnectAsync, 0);
    plain.Ftp.LocalFileName = local;
    EXPECT_FALSE(plain.Ftp.Dir());
    plain.WaitDone();
    ASSERT_EQ(plain.Done.size(), 1u);
    EXPECT_GE(plain.Done[0].Error, 500);
    EXPECT_FALSE(plain.Ftp.Passive);
    EXPECT_EQ(DataCommands(*ftp).back(), "PORT");
    EXPECT_TRUE(plain.Ftp.Quit());
    fs::remove(local);
}

TEST(PassiveFallback, RequestThatFailsPassiveTooReportsThePassiveError) {
    auto ftp = Refusing({"port_enable=NO", "pasv_enable=NO"});
    ASSERT_TRUE(ftp->Start()) << ftp->Error();
    TRecordedFtp R;
    R.Target(*ftp);
    R.Ftp.PassiveFallback = true;
    int fallbacks = 0;
    R.Ftp.OnPassiveFallback = [&](TObject*) { ++fallbacks; };
    ASSERT_TRUE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 0);
    R.Ftp.LocalFileName = (fs::temp_directory_path() / "tarn-fallback-list.txt").string();
    EXPECT_FALSE(R.Ftp.Dir());
    R.WaitDone();
    ASSERT_EQ(R.Done.size(), 1u);
    EXPECT_GE(R.Done[0].Error, 500);
    EXPECT_EQ(fallbacks, 1);
    // Once each way, then the PASV refusal is the result.
    EXPECT_EQ(DataCommands(*ftp), (std::vector<std::string>{"PORT", "PASV"}));
    const std::string pasvReply = R.Ftp.ErrorMessage();
    size_t pasvAt = 0;
    for (size_t i = 0; i < R.Trace.size(); ++i)
        if (R.Trace[i] == "> PASV") pasvAt = i;
    ASSERT_GT(pasvAt, 0u);
    EXPECT_EQ(R.Trace[pasvAt + 1], "< " + pasvReply);
    EXPECT_TRUE(R.Ftp.Quit());
    fs::remove(R.Ftp.LocalFileName);
}

// A server that takes PORT but answers the listing with 425 gets the listing
// again through PASV.
TEST(PassiveFallback, Reply425ToTheTransferCommandRunsItAgainPassive) {
    using namespace peers;
    ScriptedPeer data({SendBytes("listed\r\n"), CloseConnection()});
    ASSERT_TRUE(data.Start());
    ScriptedPeer control({SendBytes("220 scripted\r\n"), ExpectBytes("USER u\r\n"),
                          SendBytes("331 pass\r\n"), ExpectBytes("PASS p\r\n"),
                          SendBytes("230 in\r\n"), ExpectBytes("PORT 127,0,0,1,"),
                          ExpectThrough("\r\n"), SendBytes("200 ok\r\n"), ExpectBytes("LIST\r\n"),
                          SendBytes("425 Can't open data connection.\r\n"), ExpectBytes("PASV\r\n"),
                          SendBytes("227 Entering Passive Mode (127,0,0,1," +
                                    std::to_string(data.Port() / 256) + "," +
                                    std::to_string(data.Port() % 256) + ")\r\n"),
                          ExpectBytes("LIST\r\n"), SendBytes("150 here\r\n"), SleepFor(Millis(300)),
                          SendBytes("226 done\r\n")});
    ASSERT_TRUE(control.Start());
    TRecordedFtp R;
    R.Target(control.Port(), "u", "p");
    R.Ftp.PassiveFallback = true;
    int fallbacks = 0;
    R.Ftp.OnPassiveFallback = [&](TObject*) { ++fallbacks; };
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    const std::string local = (fs::temp_directory_path() / "tarn-fallback-425.txt").string();
    R.Ftp.LocalFileName = local;
    EXPECT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    EXPECT_EQ(ReadLocal(local), "listed\r\n");
    EXPECT_EQ(fallbacks, 1);
    EXPECT_EQ(control.Failure(), "");
    fs::remove(local);
}

// A server that takes PORT and gives its go-ahead, but whose connection
// never arrives (a router dropping it): a few seconds after the transfer
// command the transfer is abandoned with ABOR and NOOP, and once NOOP is
// answered the request runs again passive. Whatever the server answers
// between (ABOR refused with 5xx; ABOR's 225 before the transfer's own late
// 425), every later command reads its own reply.
TEST(PassiveFallback, AbandonedTransferIsFencedSoEveryLaterCommandReadsItsOwnReply) {
    using namespace peers;
    auto pasv = [](const ScriptedPeer& data) {
        return SendBytes("227 Entering Passive Mode (127,0,0,1," + std::to_string(data.Port() / 256) +
                         "," + std::to_string(data.Port() % 256) + ")\r\n");
    };
    auto script = [](std::vector<ScriptStep> transfer) {
        std::vector<ScriptStep> steps{SendBytes("220 scripted\r\n"), ExpectBytes("USER u\r\n"),
                                      SendBytes("331 pass\r\n"), ExpectBytes("PASS p\r\n"),
                                      SendBytes("230 in\r\n"), ExpectBytes("PORT 127,0,0,1,"),
                                      ExpectThrough("\r\n"), SendBytes("200 ok\r\n")};
        steps.insert(steps.end(), transfer.begin(), transfer.end());
        for (ScriptStep step : {ExpectBytes("PWD\r\n"), SendBytes("257 \"/after\" is current\r\n"),
                                ExpectBytes("TYPE I\r\n"), SendBytes("200 Type set to I.\r\n"),
                                ExpectBytes("SYST\r\n"), SendBytes("215 UNIX Type: L8\r\n")})
            steps.push_back(step);
        return steps;
    };
    // Three commands after the transfer, each checked against its own reply.
    auto threeCommands = [](TRecordedFtp& R) {
        EXPECT_TRUE(R.Ftp.Pwd()) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpPwdAsync, 0);
        EXPECT_EQ(R.Ftp.ReplyDirName(), "/after");
        EXPECT_TRUE(R.Ftp.TypeBinary()) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpTypeSetAsync, 0);
        EXPECT_EQ(R.Ftp.LastReplyLine(), "200 Type set to I.");
        R.Ftp.SystAsync();
        ASSERT_TRUE(R.WaitDone());
        R.ExpectOneDone(ftpSystAsync, 0);
        EXPECT_EQ(R.Ftp.LastReplyLine(), "215 UNIX Type: L8");
    };
    const std::string local = (fs::temp_directory_path() / "tarn-fallback-nodata.txt").string();

    // A listing; ABOR answered with 500.
    ScriptedPeer listing({SendBytes("listed\r\n"), CloseConnection()});
    ASSERT_TRUE(listing.Start());
    ScriptedPeer control(script({ExpectBytes("LIST\r\n"), SendBytes("150 here it comes\r\n"),
                                 ExpectBytes("ABOR\r\nNOOP\r\n"), SendBytes("500 Unknown command.\r\n"),
                                 SendBytes("200 NOOP ok.\r\n"), ExpectBytes("PASV\r\n"), pasv(listing),
                                 ExpectBytes("LIST\r\n"), SendBytes("150 here\r\n"),
                                 SleepFor(Millis(300)), SendBytes("226 done\r\n")}));
    ASSERT_TRUE(control.Start());
    TRecordedFtp R;
    R.Target(control.Port(), "u", "p");
    R.Ftp.PassiveFallback = true;
    R.Ftp.DataArrivalWaitMs = 300;
    int fallbacks = 0;
    R.Ftp.OnPassiveFallback = [&](TObject*) { ++fallbacks; };
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    R.Ftp.LocalFileName = local;
    EXPECT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    EXPECT_EQ(ReadLocal(local), "listed\r\n");
    EXPECT_EQ(fallbacks, 1);
    threeCommands(R);
    EXPECT_EQ(control.Failure(), "");

    // An upload; ABOR's 225 comes before the STOR's late 425, the go-ahead
    // never came.
    WriteLocal(local, "12345");
    ScriptedPeer upload({ExpectBytes("12345"), ExpectPeerClose()});
    ASSERT_TRUE(upload.Start());
    ScriptedPeer control2(script({ExpectBytes("STOR up.txt\r\n"), ExpectBytes("ABOR\r\nNOOP\r\n"),
                                  SendBytes("225 ABOR ok.\r\n"),
                                  SendBytes("425 Failed to establish connection.\r\n"),
                                  SendBytes("200 NOOP ok.\r\n"), ExpectBytes("PASV\r\n"), pasv(upload),
                                  ExpectBytes("STOR up.txt\r\n"), SendBytes("150 go ahead\r\n"),
                                  WaitUntil([&] { return upload.Received() == "12345"; }),
                                  SendBytes("226 stored\r\n")}));
    ASSERT_TRUE(control2.Start());
    TRecordedFtp U;
    U.Target(control2.Port(), "u", "p");
    U.Ftp.PassiveFallback = true;
    U.Ftp.DataArrivalWaitMs = 300;
    ASSERT_TRUE(U.Ftp.Connect()) << U.Ftp.ErrorMessage();
    U.ExpectOneDone(ftpConnectAsync, 0);
    U.Ftp.LocalFileName = local;
    U.Ftp.HostFileName = "up.txt";
    EXPECT_TRUE(U.Ftp.Put()) << U.Ftp.ErrorMessage();
    U.ExpectOneDone(ftpPutAsync, 0);
    EXPECT_TRUE(U.Ftp.Passive);
    EXPECT_TRUE(upload.WaitDone());
    EXPECT_EQ(upload.Received(), "12345");
    threeCommands(U);
    EXPECT_EQ(control2.Failure(), "");
    fs::remove(local);
}

// An APPE whose data went through and that the server still answers with
// 425 is not sent again in passive mode: the server has the bytes already.
TEST(PassiveFallback, AppendThatMovedDataIsNeverSentAgain) {
    peers::PyftpdlibServer::Options options;
    options.Mode = "appe_425_after_data";
    peers::PyftpdlibServer ftp(options);
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(ftp.PutFile("log.txt", "first;"));
    const std::string local = (fs::temp_directory_path() / "tarn-fallback-appe.txt").string();
    WriteLocal(local, "second;");
    TRecordedFtp R;
    R.Target(ftp);
    R.Ftp.PassiveFallback = true;
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    R.Ftp.LocalFileName = local;
    R.Ftp.HostFileName = "log.txt";
    R.Ftp.AppendAsync();
    ASSERT_TRUE(R.WaitDone());
    ASSERT_EQ(R.Done.size(), 1u);
    EXPECT_EQ(R.Done[0].Error, 425);
    EXPECT_FALSE(R.Ftp.Passive);
    EXPECT_EQ(DataCommands(ftp), (std::vector<std::string>{"PORT", "APPE log.txt"}));
    EXPECT_EQ(ftp.FileContent("log.txt"), "first;second;");
    EXPECT_TRUE(R.Ftp.Quit());
    fs::remove(local);
}

}  // namespace

namespace {

// Behind a firewall that drops the server's connection, vsftpd stays in its
// own connect after LIST and answers neither ABOR nor NOOP: the engine logs
// in again, goes back to the folder it had walked into (relative, never
// shown by PWD) and to its type, and lists that folder passive. The owner
// hears of no lost session and of no new one.
TEST(PassiveFallback, ServerStuckInItsConnectIsLeftForANewPassiveLogin) {
    peers::NetworkNamespace net;
    ASSERT_TRUE(net.Enter()) << net.Error();
    peers::VsftpdServer ftp;
    ASSERT_TRUE(ftp.Start()) << ftp.Error();
    ASSERT_TRUE(net.AcceptOnlySynTo({{ftp.Port(), ftp.Port()}, {ftp.PassiveMinPort(), ftp.PassiveMaxPort()}}))
        << net.Error();
    ASSERT_TRUE(ftp.PutFile("outer/inner/deep.txt", "deep"));
    const std::string local = (fs::temp_directory_path() / "tarn-fallback-stuck.txt").string();

    TRecordedFtp R;
    R.Target(ftp);
    R.Ftp.Timeout = 30;
    R.Ftp.PassiveFallback = true;
    int fallbacks = 0, opened = 0, closed = 0;
    R.Ftp.OnPassiveFallback = [&](TObject*) { ++fallbacks; };
    R.Ftp.OnSessionConnected = [&](TObject*, std::uint16_t) { ++opened; };
    R.Ftp.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closed; };
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    for (const char* folder : {"outer", "inner"}) {
        R.Ftp.HostDirName = folder;
        ASSERT_TRUE(R.Ftp.Cwd()) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpCwdAsync, 0);
    }
    ASSERT_TRUE(R.Ftp.TypeAscii());
    R.ExpectOneDone(ftpTypeSetAsync, 0);
    R.Ftp.LocalFileName = local;
    EXPECT_TRUE(R.Ftp.Dir()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    EXPECT_NE(ReadLocal(local).find("deep.txt"), std::string::npos);
    EXPECT_EQ(fallbacks, 1);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(R.Traced("! No answer after ABOR: connecting again to go on in passive mode"));

    std::vector<std::string> afterLogin;
    int logins = 0;
    for (const std::string& c : ftp.Commands()) {
        if (c.rfind("USER ", 0) == 0) {
            ++logins;
            afterLogin.clear();
        } else if (c.rfind("PASS ", 0) != 0) {
            afterLogin.push_back(c);
        }
    }
    EXPECT_EQ(logins, 2);
    EXPECT_EQ(afterLogin, (std::vector<std::string>{"CWD outer/inner", "TYPE A", "PASV", "LIST"}));
    EXPECT_TRUE(R.Ftp.Quit());
    fs::remove(local);
}

}  // namespace

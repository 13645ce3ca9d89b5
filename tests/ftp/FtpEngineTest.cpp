// The engine without a real server: connection failures, the name lookup,
// local abort, property writers and the connection type.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FtpTestSupport.h"
#include "platform/WinSock.h"

namespace {

using namespace peers;

// Installs a resolver for the test's duration.
struct TResolverSeam {
    explicit TResolverSeam(winsock::seams::ForwardResolver resolver) {
        winsock::seams::SetForwardResolver(std::move(resolver));
    }
    ~TResolverSeam() { winsock::seams::SetForwardResolver(nullptr); }
};

// A peer that greets and accepts USER at once.
std::vector<ScriptStep> LoginScript() {
    return {SendBytes("220 hi\r\n"), ExpectBytes("USER u\r\n"), SendBytes("230 in\r\n"),
            ExpectPeerClose()};
}

TEST(FtpConnectFailure, ConnectionRefusedGivesSocketErrorAndText) {
    TRecordedFtp R;
    R.Target(FreePort(), "u", "p");
    R.Ftp.ConnectAsync();
    EXPECT_TRUE(R.Done.empty());  // never from inside the call
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpConnectAsync, 10061);
    EXPECT_EQ(R.Ftp.LastReplyLine(), "500 Connection refused (Winsock error #10061)");
    EXPECT_EQ(R.Ftp.ErrorMessage(), R.Ftp.LastReplyLine());
    EXPECT_EQ(R.Ftp.ReplyCode(), 500);
    EXPECT_EQ(R.Ftp.State(), fesReady);
    EXPECT_FALSE(R.Ftp.Connected());
    EXPECT_FALSE(R.Ftp.Connect());  // and again, synchronously
    R.ExpectOneDone(ftpConnectAsync, 10061);
}

TEST(FtpConnectFailure, UnknownHostGivesLookupError) {
    TResolverSeam seam([](const std::string&, std::vector<winsock::u_long>&, std::string&) {
        return 11001;
    });
    TRecordedFtp R;
    R.Target(21, "u", "p");
    R.Ftp.HostName = "no.such.host.invalid";
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 11001);
    EXPECT_EQ(R.Ftp.LastReplyLine(), "500 Host not found (Winsock error #11001)");
    EXPECT_EQ(R.Ftp.ReplyCode(), 500);
}

TEST(FtpCancel, CancelDuringLookupEndsRequestOnceWith426) {
    TResolverSeam seam([](const std::string&, std::vector<winsock::u_long>& addrs, std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        addrs.push_back(winsock::htonl(0x7F000001));
        return 0;
    });
    TRecordedFtp R;
    R.Target(FreePort(), "u", "p");
    R.Ftp.HostName = "slow.example";
    R.Ftp.ConnectAsync();
    EXPECT_EQ(R.Ftp.State(), fesLookingUp);
    R.Ftp.CancelAsync();
    EXPECT_EQ(R.Ftp.State(), fesReady);
    PumpFor(600);  // the cancelled lookup's answer must not revive the request
    R.ExpectOneDone(ftpConnectAsync, 426);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Operation aborted.");

    // A synchronous call that times out during the lookup ends the same way.
    R.Ftp.Timeout = 1;
    TResolverSeam slower([](const std::string&, std::vector<winsock::u_long>&, std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return 11001;
    });
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Timeout");
    PumpFor(1000);
    R.ExpectOneDone(ftpConnectAsync, 426);
}

TEST(FtpCancel, CancelWhileIdleConnectedPostsNothing) {
    ScriptedPeer peer(LoginScript());
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    ASSERT_TRUE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 0);
    R.Ftp.CancelAsync();
    EXPECT_FALSE(R.Ftp.Connected());
    PumpFor(100);
    EXPECT_TRUE(R.Done.empty());
    EXPECT_TRUE(peer.WaitDone());
}

TEST(FtpUnchecked, QuitAndAborWithoutConnectionEndAtOnce) {
    TRecordedFtp R;
    EXPECT_TRUE(R.Ftp.Quit());
    R.ExpectOneDone(ftpQuitAsync, 0);
    EXPECT_TRUE(R.Traced("> QUIT"));
    R.Ftp.AborAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpAborAsync, 500);
    // Commands that need a session are refused instead.
    EXPECT_THROW(R.Ftp.PwdAsync(), FtpException);
    EXPECT_FALSE(R.Ftp.Pwd());
    PumpFor(50);
    EXPECT_TRUE(R.Done.empty());
}

TEST(FtpProperties, ShareModeAndBinaryReadBack) {
    TFtpClient ftp;
    EXPECT_EQ(ftp.Timeout, 15);
    EXPECT_EQ(ftp.ShareMode(), ftpShareExclusive);
    for (TFtpShareMode m : {ftpShareCompat, ftpShareExclusive, ftpShareDenyWrite, ftpShareDenyRead,
                            ftpShareDenyNone}) {
        ftp.SetShareMode(m);
        EXPECT_EQ(ftp.ShareMode(), m);
    }
    ftp.SetShareMode(static_cast<TFtpShareMode>(42));
    EXPECT_EQ(ftp.ShareMode(), ftpShareExclusive);
    EXPECT_TRUE(ftp.Binary());
    ftp.SetBinary(false);
    EXPECT_FALSE(ftp.Binary());
}

TEST(FtpConnectionType, WriterRefusedWhileConnected) {
    ScriptedPeer peer(LoginScript());
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    ASSERT_TRUE(R.Ftp.Connect());
    try {
        R.Ftp.SetConnectionType(ftpSocks5);
        ADD_FAILURE() << "no refusal";
    } catch (const FtpException& E) {
        EXPECT_STREQ(E.what(), "FTP component connected");
    }
    EXPECT_EQ(R.Ftp.ConnectionType(), ftpDirect);
    EXPECT_FALSE(R.Ftp.Passive);
    R.Ftp.CancelAsync();
    R.Ftp.SetConnectionType(static_cast<TFtpConnectionType>(9));
    EXPECT_EQ(R.Ftp.ConnectionType(), ftpDirect);
}

TEST(FtpConnectionType, SocksSessionNeverSilentlyGoesDirect) {
    ScriptedPeer server({SendBytes("220 hi\r\n")});
    ASSERT_TRUE(server.Start());
    TRecordedFtp R;
    R.Target(server.Port(), "u", "p");
    R.Ftp.SetConnectionType(ftpSocks5);
    EXPECT_TRUE(R.Ftp.Passive);
    R.Ftp.SetSocksServer("127.0.0.1");
    R.Ftp.SetSocksPort(std::to_string(FreePort()));  // no proxy listens there
    EXPECT_EQ(R.Ftp.SocksServer(), "127.0.0.1");
    EXPECT_FALSE(R.Ftp.Connect());
    PumpFor(100);
    ASSERT_EQ(R.Done.size(), 1u);
    EXPECT_NE(R.Done[0].Error, 0);
    EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

}  // namespace

namespace {

TEST(FtpStateMachine, ConnectWalksTheStatesOnceEachAndTracesEveryLine) {
    peers::ScriptedPeer peer({peers::SendBytes("220-hello\r\n220 ready\r\n"),
                              peers::ExpectBytes("USER u\r\n"), peers::SendBytes("331 pw\r\n"),
                              peers::ExpectBytes("PASS p\r\n"), peers::SendBytes("230 in\r\n"),
                              peers::ExpectPeerClose()});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    std::vector<TFtpEngineState> states;
    int responses = 0;
    R.Ftp.OnStateChange = [&](TObject*) { states.push_back(R.Ftp.State()); };
    R.Ftp.OnResponse = [&](TObject*) { ++responses; };
    ASSERT_TRUE(R.Ftp.Connect());
    EXPECT_EQ(states, (std::vector<TFtpEngineState>{fesLookingUp, fesAwaitingGreeting,
                                                    fesConnected, fesBetweenSteps,
                                                    fesAwaitingReply, fesBetweenSteps,
                                                    fesAwaitingReply, fesBetweenSteps, fesReady}));
    EXPECT_EQ(responses, 4);
    EXPECT_EQ(R.Trace, (std::vector<std::string>{"< 220-hello", "< 220 ready", "> USER u",
                                                 "< 331 pw", "> PASS ****", "< 230 in"}));
    R.Ftp.CancelAsync();
}

}  // namespace

// The reply reader and the request ends against servers that misbehave:
// pyftpdlib in its scripted modes, and a scripted TCP peer for what even
// that cannot play.
#include <gtest/gtest.h>

#include <limits>

#include "FtpTestSupport.h"

namespace {

using namespace peers;

// A pyftpdlib server in one of its misbehaviour modes.
struct TModeServer {
    explicit TModeServer(const std::string& mode) : Server(MakeServer(TServerKind::Pyftpdlib, mode)) {}
    std::unique_ptr<FtpServerPeer> Server;
};

#define START_MODE(var, mode)                                  \
    TModeServer var(mode);                                     \
    ASSERT_TRUE(var.Server->Start()) << var.Server->Error();

TEST(FtpGreeting, MultiLineGreetingCompletesOnlyAtItsLastLine) {
    START_MODE(s, "multiline_greeting");
    TRecordedFtp R;
    R.Target(*s.Server);
    bool sessionConnected = false;
    R.Ftp.OnSessionConnected = [&](TObject*, std::uint16_t Error) {
        EXPECT_EQ(Error, 0);
        // Every line of the greeting was read before it counts as done.
        EXPECT_TRUE(R.Traced("< 220 Ready."));
        sessionConnected = true;
    };
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    EXPECT_TRUE(sessionConnected);
    std::vector<std::string> greeting(R.Trace.begin(), R.Trace.begin() + 4);
    EXPECT_EQ(greeting, (std::vector<std::string>{"< 220-Tarn test server", "< 220-second line",
                                                  "<  220 indented, not the last line",
                                                  "< 220 Ready."}));
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST(FtpGreeting, Greeting421ClosesAndEndsRequestWith421) {
    START_MODE(s, "greeting_421");
    TRecordedFtp R;
    R.Target(*s.Server);
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 421);
    EXPECT_EQ(R.Ftp.ReplyCode(), 421);
    EXPECT_EQ(R.Ftp.ErrorMessage().substr(0, 4), "421 ");
    EXPECT_FALSE(R.Ftp.Connected());
    EXPECT_EQ(R.Ftp.State(), fesReady);
}

TEST(FtpGreeting, LineThatFillsTheBufferClosesTheConnection) {
    START_MODE(s, "long_line");
    TRecordedFtp R;
    R.Target(*s.Server);
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 500);
    EXPECT_FALSE(R.Ftp.Connected());
    EXPECT_EQ(R.Ftp.ErrorMessage(), "500 Reply line too long");
}

TEST(FtpGreeting, ServerClosingWithoutGreetingIsAFailure) {
    ScriptedPeer peer({CloseConnection()});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 500);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "500 Connection closed by the server");
}

TEST(FtpReplyReader, ReplySplitAcrossReadsIsCompletedAtItsLineEnd) {
    START_MODE(s, "split_reply");
    TRecordedFtp R;
    R.Target(*s.Server);
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    ASSERT_TRUE(R.Ftp.Pwd());
    EXPECT_EQ(R.Ftp.ReplyDirName(), "/");
    EXPECT_EQ(R.Ftp.ReplyCode(), 257);
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST(FtpReplyReader, BareLineFeedEndsALineOnlyWithAcceptLF) {
    START_MODE(s, "bare_lf");
    {
        TRecordedFtp R;
        R.Target(*s.Server);
        ASSERT_EQ(R.Ftp.Options, TFtpOptions(ftpAcceptLF));
        ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
        ASSERT_TRUE(R.Ftp.Pwd());
        EXPECT_EQ(R.Ftp.ReplyDirName(), "/");
        EXPECT_TRUE(R.Ftp.Quit());
    }
    TRecordedFtp R;
    R.Target(*s.Server);
    R.Ftp.Options = 0;
    R.Ftp.Timeout = 1;
    EXPECT_FALSE(R.Ftp.Connect());
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Timeout");
    R.ExpectOneDone(ftpConnectAsync, 426);
    for (const auto& line : R.Trace) EXPECT_NE(line.substr(0, 5), "< 220");
}

TEST(FtpReplyReader, TwoRepliesInOneSegmentAreBothTaken) {
    ScriptedPeer peer({SendBytes("220 hi\r\n"), ExpectBytes("USER u\r\n"),
                       SendBytes("331 password\r\n230 in\r\n"), ExpectBytes("PASS p\r\n"),
                       ExpectBytes("QUIT\r\n"), SendBytes("221 bye\r\n"), ExpectPeerClose()});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyCode(), 230);
    EXPECT_TRUE(R.Ftp.Quit());
    EXPECT_TRUE(peer.WaitDone());
    EXPECT_EQ(peer.Failure(), "");
}

TEST(FtpReplyReader, PwdReplyWithDoubledQuoteOrNoQuotedName) {
    {
        START_MODE(s, "pwd_doubled_quote");
        TRecordedFtp R;
        R.Target(*s.Server);
        ASSERT_TRUE(R.Ftp.Connect());
        ASSERT_TRUE(R.Ftp.Pwd());
        EXPECT_EQ(R.Ftp.ReplyDirName(), "/we\"ird");
        EXPECT_TRUE(R.Ftp.Quit());
    }
    START_MODE(s, "pwd_unquoted");
    TRecordedFtp R;
    R.Target(*s.Server);
    ASSERT_TRUE(R.Ftp.Connect());
    ASSERT_TRUE(R.Ftp.Pwd());
    EXPECT_EQ(R.Ftp.ReplyDirName(), "");
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST(FtpReplyReader, HostileSizeSaturates) {
    ScriptedPeer peer({SendBytes("220 hi\r\n"), ExpectBytes("USER u\r\n"), SendBytes("230 in\r\n"),
                       ExpectBytes("SIZE big\r\n"),
                       SendBytes("213 99999999999999999999\r\n"), ExpectBytes("QUIT\r\n"),
                       SendBytes("221 bye\r\n")});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    ASSERT_TRUE(R.Ftp.Connect());
    R.Ftp.HostFileName = "big";
    R.Ftp.SizeAsync();
    ASSERT_TRUE(R.WaitDone(2));
    EXPECT_EQ(R.Ftp.ReplySize(), std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST(FtpChainSteps, User230SkipsPassInChainWhileUserAloneAcceptsIt) {
    START_MODE(s, "user_230");
    TRecordedFtp R;
    R.Target(*s.Server);
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    auto c = s.Server->Commands();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "USER " + s.Server->User());
    R.Ftp.UserAsync();
    ASSERT_TRUE(R.WaitDone());
    R.ExpectOneDone(ftpUserAsync, 0);
    EXPECT_EQ(R.Ftp.ReplyCode(), 230);
    EXPECT_TRUE(R.Ftp.Quit());
}

TEST(FtpRequestEnd, ConnectionLostBeforeReplyIsAFailure) {
    ScriptedPeer peer({SendBytes("220 hi\r\n"), ExpectBytes("USER u\r\n"), SendBytes("230 in\r\n"),
                       ExpectBytes("PWD\r\n"), CloseConnection()});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    bool closed = false;
    R.Ftp.OnSessionClosed = [&](TObject*, std::uint16_t) { closed = true; };
    ASSERT_TRUE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 0);
    EXPECT_FALSE(R.Ftp.Pwd());  // the previous step's 0 must not leak into this one
    R.ExpectOneDone(ftpPwdAsync, 500);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(R.Ftp.Connected());
    EXPECT_EQ(R.Ftp.ErrorMessage(), "500 Connection closed by the server");
}

TEST(FtpRequestEnd, QuitWhoseServerJustClosesSucceeds) {
    ScriptedPeer peer({SendBytes("220 hi\r\n"), ExpectBytes("USER u\r\n"), SendBytes("530 no\r\n"),
                       ExpectBytes("QUIT\r\n"), CloseConnection()});
    ASSERT_TRUE(peer.Start());
    TRecordedFtp R;
    R.Target(peer.Port(), "u", "p");
    EXPECT_FALSE(R.Ftp.Connect());
    R.ExpectOneDone(ftpConnectAsync, 530);
    EXPECT_TRUE(R.Ftp.Quit());  // the earlier 530 must not become QUIT's result
    R.ExpectOneDone(ftpQuitAsync, 0);
    EXPECT_FALSE(R.Ftp.Connected());
}

TEST(FtpRequestEnd, SynchronousCallTimesOutAgainstSilentServer) {
    START_MODE(s, "silent_after_login");
    TRecordedFtp R;
    R.Target(*s.Server);
    ASSERT_TRUE(R.Ftp.Connect()) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpConnectAsync, 0);
    R.Ftp.Timeout = 1;
    EXPECT_FALSE(R.Ftp.Pwd());
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(R.Ftp.ReplyCode(), 426);
    EXPECT_EQ(R.Ftp.State(), fesReady);
    EXPECT_FALSE(R.Ftp.Connected());
    R.ExpectOneDone(ftpPwdAsync, 426);
    EXPECT_TRUE(s.Server->WaitForCommand("PWD"));
}

}  // namespace

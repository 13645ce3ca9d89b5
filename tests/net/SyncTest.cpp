// The wait helpers and the message pump of the socket.
#include "net/WSocket.h"

#include <gtest/gtest.h>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using namespace nettest;

namespace {

TEST(WSocketSync, RunAndWaitPumpsUntilTheFlagIsSet) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(SIZE_MAX, 3000); });
    TWSocket s;
    bool connected = false;
    int sendEvents = 0;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e == 0; };
    s.OnSendData = [&](TObject*, int n) { sendEvents += n; };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.SyncTimeout = 10000;
    EXPECT_EQ(s.RunAndWait([&] { s.Connect(); }, connected), 0);
    EXPECT_EQ(s.State(), wsConnected);
    s.SendText("twelve bytes");
    s.Flush();
    EXPECT_EQ(sendEvents, 12);  // OnSendData carries what each platform send took
    s.Abort();
}

TEST(WSocketSync, WaitForFlagGivesUpAfterSyncTimeout) {
    TWSocket s;
    bool never = false;
    s.SyncTimeout = 100;
    auto start = platform::GetTickCount64();
    EXPECT_EQ(s.WaitForFlag(never), 12001);
    EXPECT_GE(platform::GetTickCount64() - start, 100u);
}

TEST(WSocketSync, AQuitMessageEndsTheWait) {
    TWSocket s;
    s.MultiThreaded = true;  // the socket pumps the thread's queue itself and notes the quit
    bool never = false;
    platform::PostQuitMessage(0);
    EXPECT_EQ(s.WaitForFlag(never), 12001);
    EXPECT_EQ(s.WaitForFlag(never), 12001);  // remembered
}

TEST(WSocketSync, TerminationEndsTheWait) {
    TWSocket s;
    bool never = false;
    platform::SetTerminated(true);
    EXPECT_EQ(s.WaitForFlag(never), 12001);
    platform::SetTerminated(false);
}

}  // namespace

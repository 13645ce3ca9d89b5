// Receiving: the receive loop, the peer's close, handlers that read little or nothing.
#include "net/WSocket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"
#include "TestFiles.h"
#include "platform/ForeignLoopWait.h"

using namespace nettest;

namespace {

void Target(TCustomWSocket& s, int port) {
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
}

// The peer sends its text at once and closes; the handler reads 3 bytes per event.
void ExpectAllDataBeforeClose(TWSocketOptions options) {
    const std::string text = "hello world, this is the last of it";
    peers::TcpPeer peer([&](peers::Conn& c) { c.WriteAll(text); });
    TWSocket s;
    s.ComponentOptions = options;
    std::string got;
    std::vector<std::string> order;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[3];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        order.push_back("data");
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) {
        order.push_back("closed " + std::to_string(e) + " " + StateName(s.State()));
    };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(got, text);
    ASSERT_FALSE(order.empty());
    // Closed last, while the state was still wsConnected.
    EXPECT_EQ(order.back(), "closed 0 wsConnected");
    EXPECT_EQ(std::count(order.begin(), order.end(), "closed 0 wsConnected"), 1);
    EXPECT_EQ(s.ReadCount(), 0);  // reset at the close
}

TEST(WSocketReceive, PeerCloseDeliversRemainingDataFirst) { ExpectAllDataBeforeClose(0); }

TEST(WSocketReceive, PeerCloseDeliversRemainingDataFirstWithoutReceiveLoop) {
    ExpectAllDataBeforeClose(wsoNoReceiveLoop);
}

TEST(WSocketReceive, AHandlerThatDisconnectsAtThePeersCloseClosesOnce) {
    peers::TcpPeer peer([](peers::Conn& c) { c.WriteAll("abc"); });
    TWSocket s;
    int closes = 0;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[16];
        if (s.Receive(buf, sizeof buf) == 0) s.Disconnect();  // the end of the stream
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closes; };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
    PumpFor(50);
    EXPECT_EQ(closes, 1);
}

TEST(WSocketReceive, AHandlerThatReadsNothingDoesNotSpin) {
    peers::TcpPeer peer([](peers::Conn& c) {
        c.WriteAll("abc");
        c.ReadAll(SIZE_MAX, 3000);
    });
    TWSocket s;
    int events = 0;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) { ++events; };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return events > 0; }));
    PumpFor(200);
    EXPECT_LE(events, 2);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(s.ReceiveText(), "abc");  // still there for a later read
    s.Abort();
}

TEST(WSocketReceive, WithoutHandlerDataIsDiscardedAndTheCloseStillArrives) {
    peers::TcpPeer peer([](peers::Conn& c) { c.WriteAll(std::string(100000, 'z')); });
    TWSocket s;
    int closed = 0;
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closed; };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return closed > 0; }));
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketReceive, ReadCountAndHandlerExceptionsAreSwallowed) {
    peers::TcpPeer peer([](peers::Conn& c) {
        c.WriteAll("0123456789");
        c.ReadAll(SIZE_MAX, 3000);
    });
    TWSocket s;
    int bg = 0;
    s.OnBgException = [&](TObject*, Exception&, bool&) { ++bg; };
    std::string got;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        got += s.ReceiveText();
        throw ESocketException("handler failed");
    };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 10; }));
    EXPECT_EQ(s.ReadCount(), 10);
    PumpFor(50);
    EXPECT_EQ(bg, 0);  // swallowed by the receive loop, not a background exception
    EXPECT_EQ(s.State(), wsConnected);
    s.Abort();
}

// A server that says goodbye and resets at once, before the client read a
// byte: the reply is read, then the close comes once with 10054.
TEST(WSocketReceive, AResetBehindAnUnreadReplyDeliversTheReplyThenOneClose) {
    std::atomic<bool> go{false};
    peers::TcpPeer peer([&](peers::Conn& c) {
        for (int i = 0; i < 500 && !go; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        c.WriteAll("421 Too many users\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        c.ResetClose();
    });
    TWSocket s;
    std::string got;
    std::vector<int> closes;
    int dataEvents = 0;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        ++dataEvents;
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) { closes.push_back(e); };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    go = true;
    ASSERT_TRUE(peer.Join());  // the reset is in before the first read
    ASSERT_TRUE(PumpUntil([&] { return !closes.empty(); }));
    PumpFor(100);
    EXPECT_EQ(got, "421 Too many users\r\n");
    EXPECT_EQ(closes, std::vector<int>{winsock::WSAECONNRESET});
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_LE(dataEvents, 3);
}

// A burst read a little per event while the loop sleeps on its descriptor, as
// under the toolkit: the bytes held between reads must keep coming when the
// handler stops after each read (no receive loop, or an exception) and after
// a pause.
void ExpectBurstThroughASleepingLoop(TWSocketOptions options, bool throwAfterRead) {
    std::string text;
    for (int i = 0; text.size() < 30000; ++i) text += std::to_string(i) + " ";
    peers::TcpPeer peer([&](peers::Conn& c) {
        c.WriteAll(text);
        c.ReadAll(SIZE_MAX, 5000);
    });
    TWSocket s;
    s.ComponentOptions = options;
    std::string got;
    bool pausedOnce = false;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[700];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        if (got.size() >= 10000 && !pausedOnce) {
            pausedOnce = true;
            s.Pause();
        }
        if (throwAfterRead) throw ESocketException("handler stops here");
    };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpLikeForeignLoop([&] { return s.Paused(); })) << got.size();
    PumpFor(30);
    s.Resume();
    ASSERT_TRUE(PumpLikeForeignLoop([&] { return got.size() == text.size(); })) << got.size();
    EXPECT_EQ(got, text);
    s.Abort();
}

TEST(WSocketReceive, HeldBytesReachASleepingLoopWithoutReceiveLoop) {
    ExpectBurstThroughASleepingLoop(wsoNoReceiveLoop, false);
}

TEST(WSocketReceive, HeldBytesReachASleepingLoopAfterAHandlerException) {
    ExpectBurstThroughASleepingLoop(0, true);
}

TEST(WSocketReceive, WaitForCloseReadsUntilThePeerCloses) {
    peers::TcpPeer peer([](peers::Conn& c) {
        c.WriteAll("first part;");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.WriteAll("second part");
    });
    TWSocket s;
    std::string got;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) { got += s.ReceiveText(); };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    s.WaitForClose();
    PumpUntil([&] { return s.State() == wsClosed; }, 2000);
    EXPECT_EQ(got, "first part;second part");
}

}  // namespace

// A handler that pumps at every data event (a progress display) nests at most
// two deep, however much arrives; the bytes still come whole and in order,
// and the close comes after the last of them, once.
TEST(WSocketReceive, AHandlerThatPumpsAtEveryEventNestsAtMostTwoDeep) {
    const std::string text = RandomBytes(8 << 20, 3);
    peers::TcpPeer peer([&](peers::Conn& c) { c.WriteAll(text); });
    TWSocket s;
    std::string got;
    int depth = 0, deepest = 0, closes = 0;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        deepest = std::max(deepest, ++depth);
        char buf[4096];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        platform::ProcessMessages();
        --depth;
    };
    s.OnSessionClosed = [&](TObject*, std::uint16_t) {
        ++closes;
        EXPECT_EQ(got.size(), text.size());
    };
    Target(s, peer.Port());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 60000));
    EXPECT_TRUE(got == text);
    EXPECT_EQ(deepest, 2);
    EXPECT_EQ(closes, 1);
}

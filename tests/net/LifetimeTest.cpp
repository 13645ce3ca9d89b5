// Destruction from inside handlers and with messages queued, background
// exceptions, FreeLater, and the load/unload of the platform library.
#include "net/WSocket.h"

#include <gtest/gtest.h>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using namespace nettest;

namespace {

TWSocket* Connected(int port, std::function<void(TWSocket&)> setup = {}) {
    auto* s = new TWSocket;
    if (setup) setup(*s);
    s->SetAddr("127.0.0.1");
    s->SetPort(std::to_string(port));
    s->Connect();
    return s;
}

TEST(WSocketLifetime, DestroyedInsideItsOwnHandlers) {
    // Each handler deletes the socket; AddressSanitizer catches any later touch.
    for (int which = 0; which < 4; ++which) {
        peers::TcpPeer peer([](peers::Conn& c) {
            c.WriteAll("some data");
        });
        bool gone = false;
        TWSocket* s = Connected(peer.Port(), [&](TWSocket& sock) {
            auto kill = [&, p = &sock] {
                if (!gone) {
                    gone = true;
                    delete p;
                }
            };
            if (which == 0) sock.OnSessionConnected = [kill](TObject*, std::uint16_t) { kill(); };
            if (which == 1) sock.OnDataAvailable = [kill](TObject*, std::uint16_t) { kill(); };
            if (which == 2) sock.OnSessionClosed = [kill](TObject*, std::uint16_t) { kill(); };
            if (which == 3)
                sock.OnChangeState = [kill](TObject*, TSocketState, TSocketState n) {
                    if (n == wsConnected) kill();
                };
        });
        EXPECT_TRUE(PumpUntil([&] { return gone; })) << which;
        PumpFor(50);
        if (!gone) delete s;
    }
}

TEST(WSocketLifetime, DestroyedWithMessagesQueued) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(SIZE_MAX, 2000); });
    TWSocket* s = Connected(peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s->State() == wsConnected; }));
    s->SendText("queued");  // posts its own write readiness
    s->DisconnectLater();
    s->FreeLater();
    s->ForwardDnsLookup("peer.test");
    delete s;
    PumpFor(200);
}

TEST(WSocketLifetime, FreeLaterFromAHandler) {
    peers::TcpPeer peer([](peers::Conn& c) { c.WriteAll("x"); c.ReadAll(SIZE_MAX, 2000); });
    int before = SocketInstanceCount();
    TWSocket* s = Connected(peer.Port());
    EXPECT_EQ(SocketInstanceCount(), before + 1);
    s->OnDataAvailable = [s](TObject*, std::uint16_t) {
        s->ReceiveText();
        s->FreeLater();
        s->FreeLater();  // a second request is dropped with the window
    };
    ASSERT_TRUE(PumpUntil([&] { return SocketInstanceCount() == before; }));
    PumpFor(50);
}

TEST(WSocketLifetime, BackgroundExceptions) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(SIZE_MAX, 3000); });
    TWSocket s;
    std::vector<std::string> seen;
    bool canClose = false;
    s.OnBgException = [&](TObject*, Exception& E, bool& CanClose) {
        seen.push_back(E.Message());
        CanClose = canClose;
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.OnSessionConnected = [](TObject*, std::uint16_t) { throw ESocketException("from handler"); };
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0], "from handler");
    EXPECT_EQ(s.State(), wsConnected);  // CanClose cleared: the socket stays

    platform::PostMessage(s.WindowHandle(), WM_TEST_EXCEPTION, 0, 0);
    canClose = true;
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1], "Test exception in WSocket");
    EXPECT_EQ(s.State(), wsClosed);  // aborted
}

TEST(WSocketLifetime, PlatformStartsOnFirstUseAndStopsWithTheLastSocket) {
    ASSERT_EQ(SocketInstanceCount(), 0);
    WSocketUnload();
    {
        TWSocket a;
        EXPECT_FALSE(WSocketLoaded());  // not touched by construction
        a.SetAddr("127.0.0.1");
        a.SetPort("0");
        a.Listen();
        EXPECT_TRUE(WSocketLoaded());
        TWSocket b;
        EXPECT_EQ(SocketInstanceCount(), 2);
    }
    EXPECT_EQ(SocketInstanceCount(), 0);
    EXPECT_FALSE(WSocketLoaded());
}

TEST(WSocketLifetime, PauseStopsAndResumeRestartsNotifications) {
    peers::TcpPeer peer([](peers::Conn& c) {
        c.WriteAll("abc");
        c.ReadAll(SIZE_MAX, 3000);
    });
    std::string got;
    TWSocket* s = Connected(peer.Port());
    std::unique_ptr<TWSocket> owner(s);
    ASSERT_TRUE(PumpUntil([&] { return s->State() == wsConnected; }));
    s->Pause();
    s->OnDataAvailable = [&](TObject*, std::uint16_t) { got += s->ReceiveText(); };
    PumpFor(200);
    EXPECT_EQ(got, "");
    s->Resume();
    EXPECT_TRUE(PumpUntil([&] { return got == "abc"; }, 3000));
}

// The peer's close already queued when the socket is paused is dropped while
// paused, and told (once) by Resume.
TEST(WSocketLifetime, ACloseQueuedWhilePausedIsToldByResume) {
    peers::TcpPeer peer([](peers::Conn& c) { c.WriteAll("abc"); });
    std::string got;
    std::vector<int> closes;
    TWSocket s;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) { got += s.ReceiveText(); };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) { closes.push_back(e); };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return got == "abc"; }));
    ASSERT_TRUE(peer.Join());
    // Harvest without dispatching until the close notification is queued.
    for (int i = 0; i < 100 && platform::PendingMessageCount() == 0; ++i) platform::WaitMessage(20);
    ASSERT_GT(platform::PendingMessageCount(), 0u);
    s.Pause();
    PumpFor(100);
    EXPECT_TRUE(closes.empty());
    EXPECT_EQ(s.State(), wsConnected);
    s.Resume();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 3000));
    PumpFor(50);
    EXPECT_EQ(closes, std::vector<int>{0});
}

}  // namespace

// Handlers may call any operation: one that connects again from
// OnSessionClosed (after the peer's close or the program's own) gets a
// connection whose events follow, and no handle is left behind.
TEST(WSocketLifetime, ReconnectFromOnSessionClosed) {
    for (bool peerCloses : {true, false}) {
        SCOPED_TRACE(peerCloses ? "the peer closes" : "the program closes");
        const int openBefore = winsock::seams::OpenSocketCount();
        peers::TcpPeer first([peerCloses](peers::Conn& c) {
            if (peerCloses) c.Close();
            else c.ReadAll(SIZE_MAX, 3000);
        });
        peers::TcpPeer second([](peers::Conn& c) {
            c.WriteAll("second");
            c.ReadAll(SIZE_MAX, 3000);
        });
        {
            TWSocket s;
            int closes = 0;
            std::string received;
            s.OnSessionClosed = [&](TObject*, std::uint16_t) {
                if (++closes > 1) return;
                if (s.State() != wsClosed) s.Disconnect();
                s.SetAddr("127.0.0.1");
                s.SetPort(std::to_string(second.Port()));
                s.Connect();
            };
            s.OnDataAvailable = [&](TObject*, std::uint16_t) { received += s.ReceiveText(); };
            s.SetAddr("127.0.0.1");
            s.SetPort(std::to_string(first.Port()));
            s.Connect();
            if (!peerCloses) {
                ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
                s.Disconnect();
            }
            ASSERT_TRUE(PumpUntil([&] { return received == "second"; })) << received;
            EXPECT_EQ(s.State(), wsConnected);
            EXPECT_EQ(closes, 1);
            s.Disconnect();
            EXPECT_EQ(closes, 2);
        }
        EXPECT_EQ(winsock::seams::OpenSocketCount(), openBefore);
    }
}

// The send queue: blocks, partial sends, OnDataSent, and the errors of sending.
#include "net/WSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "LoopbackPeers.h"
#include "SocketTestUtil.h"

using namespace nettest;

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) % 251);
    return s;
}

// Connects s to the peer and waits for the first OnDataSent of the connection.
void ConnectAndSettle(TCustomWSocket& s, int port, EventLog& log) {
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); })) << log.Joined();
    log.lines.clear();
}

TEST(WSocketSend, QueuesFiveThousandBytesInFourBlocks) {
    ProbeSocket s;
    std::string data = Pattern(5000);
    s.Queue(data.data(), 5000);
    EXPECT_EQ(s.BlockFill(), (std::vector<int>{1460, 1460, 1460, 620}));
    s.Queue(data.data(), 900);  // the last block fills up before a new one starts
    EXPECT_EQ(s.BlockFill(), (std::vector<int>{1460, 1460, 1460, 1460, 60}));
}

TEST(WSocketSend, WholeSendArrivesInOrderAndDataSentComesOnceFromTheLoop) {
    std::string got;
    const std::string data = Pattern(5000);
    peers::TcpPeer peer([&](peers::Conn& c) { got = c.ReadExactly(5000); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);

    bool inSend = false, sentInsideSend = false;
    s.OnDataSent = [&](TObject*, std::uint16_t e) {
        sentInsideSend |= inSend;
        log.lines.push_back("sent " + std::to_string(e));
    };
    inSend = true;
    EXPECT_EQ(s.Send(data.data(), 5000), 5000);
    inSend = false;
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); }));
    PumpFor(100);
    EXPECT_EQ(log.Count("sent 0"), 1);
    EXPECT_FALSE(sentInsideSend);
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(got, data);
}

TEST(WSocketSend, PartialSendIsFinishedByWriteReadinessWithOneDataSent) {
    const std::string data = Pattern(8 << 20);
    std::string got;
    // A slow reader with a small window, so the platform takes only part at once.
    peers::TcpPeer peer(
        [&](peers::Conn& c) { got = c.ReadAll(data.size(), 5000, 16384, 1); }, 10000, 4096);
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    EXPECT_EQ(s.Send(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    EXPECT_FALSE(s.AllSent());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); }, 60000));
    EXPECT_TRUE(s.AllSent());
    PumpFor(100);
    EXPECT_EQ(log.Count("sent 0"), 1);
    ASSERT_TRUE(peer.Join(60000));
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST(WSocketSend, SixtyFourMebibytesReachASlowReaderIntact) {
    const std::string data = Pattern(64 << 20);
    std::string got;
    peers::TcpPeer peer([&](peers::Conn& c) { got = c.ReadAll(data.size(), 10000, 65536, 0); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    s.LingerOnOff = wsLingerOff;  // the close below must not drop what the kernel still holds
    s.ApplyLingerOption();
    s.Send(data.data(), static_cast<int>(data.size()));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); }, 120000));
    s.Disconnect();
    ASSERT_TRUE(peer.Join(120000));
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST(WSocketSend, FlushReturnsOnceTheQueueHasDrained) {
    const std::string data = Pattern(2 << 20);
    std::string got;
    peers::TcpPeer peer([&](peers::Conn& c) { got = c.ReadAll(data.size(), 5000, 65536, 0); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    s.Send(data.data(), static_cast<int>(data.size()));
    s.Flush();
    EXPECT_TRUE(s.AllSent());
    ASSERT_TRUE(peer.Join(60000));
    EXPECT_TRUE(got == data);
}

TEST(WSocketSend, ZeroByteSendBehavesAsADrainedQueue) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    EXPECT_EQ(s.SendText(""), 0);  // changes nothing
    EXPECT_TRUE(s.AllSent());
    EXPECT_EQ(s.Send(nullptr, 0), 0);
    EXPECT_TRUE(s.AllSent());  // never stuck false on a queue that never held a block
    s.Flush();                 // returns at once
    ASSERT_TRUE(PumpUntil([&] { return log.Has("sent 0"); }));
    PumpFor(50);
    EXPECT_EQ(log.Count("sent 0"), 1);
    s.Abort();
}

TEST(WSocketSend, SendWhileConnectingIsNotConnectedAndCloses) {
    peers::TcpPeer peer([](peers::Conn& c) { c.ReadAll(); });
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Port()));
    s.Connect();
    ASSERT_EQ(s.State(), wsConnecting);
    EXPECT_EQ(ErrorOf([&] { s.SendText("x"); }), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(log.Count("closed 10057"), 1);

    // With OnError set, Send returns -1 instead.
    TWSocket t;
    int errors = 0;
    t.OnError = [&](TObject*) { ++errors; };
    EXPECT_EQ(t.SendText("x"), -1);
    EXPECT_EQ(t.LastError(), 10057);
    EXPECT_EQ(errors, 1);
    PumpFor(50);
    EXPECT_EQ(log.Count("closed 10057"), 1);
}

TEST(WSocketSend, ResetWhileSendingClosesOnceWith10054) {
    peers::TcpPeer peer([](peers::Conn& c) {
        c.ReadExactly(100000);
        c.ResetClose();
    });
    TWSocket s;
    EventLog log;
    log.Attach(s, false);
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[4096];
        s.Receive(buf, sizeof buf);
    };
    ConnectAndSettle(s, peer.Port(), log);
    const std::string chunk = Pattern(1 << 20);
    // Keep the queue full until the peer's reset ends the connection.
    s.OnDataSent = [&](TObject*, std::uint16_t) {
        if (s.State() == wsConnected) s.Send(chunk.data(), static_cast<int>(chunk.size()));
    };
    s.Send(chunk.data(), static_cast<int>(chunk.size()));
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 30000)) << log.Joined();
    PumpFor(100);
    EXPECT_EQ(log.Count("closed 10054"), 1) << log.Joined();
    int closedEvents = 0;
    for (const auto& l : log.lines) closedEvents += l.rfind("closed", 0) == 0;
    EXPECT_EQ(closedEvents, 1) << log.Joined();
}

TEST(WSocketSend, DisconnectLaterLetsQueuedDataGoFirst) {
    const std::string data = Pattern(4 << 20);
    std::string got;
    peers::TcpPeer peer([&](peers::Conn& c) { got = c.ReadAll(SIZE_MAX, 5000, 16384, 1); }, 10000,
                        4096);
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    s.LingerOnOff = wsLingerOff;
    s.ApplyLingerOption();
    s.Send(data.data(), static_cast<int>(data.size()));
    s.DisconnectLater();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 60000));
    EXPECT_EQ(log.Count("closed 0"), 1);
    ASSERT_TRUE(peer.Join(60000));
    EXPECT_EQ(got.size(), data.size());  // everything, then the orderly close
    EXPECT_TRUE(got == data);
}

// A peer that stops reading must not hold a DisconnectLater for ever: after
// LingerTimeout seconds without progress the queue goes and the close tells
// the loss (10060), never an orderly 0.
TEST(WSocketSend, DisconnectLaterGivesUpOnAPeerThatStopsReading) {
    std::atomic<bool> done{false};
    peers::TcpPeer peer(
        [&](peers::Conn&) {
            for (int i = 0; i < 2000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        10000, 4096);
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, peer.Port(), log);
    s.LingerTimeout = 1;
    const std::string data = Pattern(16 << 20);  // more than the kernel buffers take
    s.Send(data.data(), static_cast<int>(data.size()));
    s.DisconnectLater();
    EXPECT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 15000));
    done = true;
    EXPECT_EQ(log.Count("closed 10060"), 1) << log.Joined();
    EXPECT_EQ(log.Count("closed 0"), 0);
}

// Dup makes the object serve a new connection: bytes still queued for the
// old one are dropped, never sent to the new peer.
TEST(WSocketSend, DupDropsThePreviousConnectionsQueue) {
    std::atomic<bool> done{false};
    peers::TcpPeer stuck(
        [&](peers::Conn&) {
            for (int i = 0; i < 2000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        10000, 4096);
    TWSocket s;
    EventLog log;
    log.Attach(s);
    ConnectAndSettle(s, stuck.Port(), log);
    const std::string stale = Pattern(16 << 20);
    s.Send(stale.data(), static_cast<int>(stale.size()));
    ASSERT_FALSE(s.AllSent());

    TWSocket server;
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.OnSessionAvailable = [&](TObject*, std::uint16_t) {
        s.Dup(server.Accept());
        s.SendText("fresh");
        s.DisconnectLater();
    };
    server.Listen();
    std::string got;
    peers::TcpClient client(std::stoi(server.LocalPortText()),
                            [&](peers::Conn& c) { got = c.ReadAll(SIZE_MAX, 5000); });
    EXPECT_TRUE(PumpUntil([&] { return client.Join(0); }, 10000));
    done = true;
    EXPECT_EQ(got, "fresh");
}

// The platform library's last clean-up closes what is still open as
// closesocket would: bytes a handler sent just before it still reach the
// peer, and the loop's flush of held bytes, due after the handler, never
// writes them into a new connection that got the same descriptor number.
TEST(WSocketSend, TheLastCleanUpSendsHeldBytesAndForgetsTheirDescriptor) {
    using namespace winsock;
    ASSERT_EQ(SocketInstanceCount(), 0);
    std::string firstGot, secondGot;
    peers::TcpPeer first([&](peers::Conn& c) { firstGot = c.ReadAll(SIZE_MAX, 3000); });
    peers::TcpPeer second([&](peers::Conn& c) { secondGot = c.ReadAll(SIZE_MAX, 3000); });
    auto to = [](int port) {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(static_cast<u_short>(port));
        sin.sin_addr.s_addr = inet_addr("127.0.0.1");
        return sin;
    };
    WSAData data;
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    constexpr UINT kSocketMsg = platform::WM_USER + 5;
    bool connected = false;
    platform::HWND window = platform::CreateHiddenWindow([&](platform::HWND, UINT m, platform::WPARAM, platform::LPARAM l) {
        if (m == kSocketMsg && WSAGETSELECTEVENT(l) == FD_CONNECT) connected = true;
        return platform::LRESULT(0);
    });
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(WSAAsyncSelect(s, window, kSocketMsg, FD_CONNECT | FD_WRITE), 0);
    sockaddr_in sin = to(first.Port());
    connect(s, reinterpret_cast<const sockaddr*>(&sin), sizeof sin);
    ASSERT_TRUE(PumpUntil([&] { return connected; }));

    SOCKET again = INVALID_SOCKET;
    bool ran = false;
    platform::HWND runner = platform::CreateHiddenWindow([&](platform::HWND, UINT, platform::WPARAM, platform::LPARAM) {
        send(s, "held ", 5, 0);  // from a handler: held for the end of the round
        send(s, "bytes", 5, 0);
        WSACleanup();  // the last one: closes s
        WSAData again_data;
        WSAStartup(0x0101, &again_data);
        again = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);  // likely s's descriptor number
        sockaddr_in other = to(second.Port());
        connect(again, reinterpret_cast<const sockaddr*>(&other), sizeof other);
        ran = true;
        return platform::LRESULT(0);
    });
    platform::PostMessage(runner, platform::WM_USER, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return ran; }));
    PumpFor(100);
    closesocket(again);
    WSACleanup();
    platform::DestroyWindow(runner);
    platform::DestroyWindow(window);
    ASSERT_TRUE(first.Join());
    ASSERT_TRUE(second.Join());
    EXPECT_EQ(firstGot, "held bytes");
    EXPECT_EQ(secondGot, "");
}

}  // namespace

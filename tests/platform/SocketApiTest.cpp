#include "SocketApiFixture.h"

using namespace socketapi;

namespace {

using winsock::u_long;
using winsock::u_short;
using winsock::in_addr;
using winsock::sockaddr;
using winsock::sockaddr_in;
using winsock::linger;

TEST_F(SocketApi, RefusedConnectGivesOneConnectNotificationWith10061) {
    Notifications n;
    u_short port;
    SOCKET l = Listener(port);
    Close(l);  // nothing listens there any more
    SOCKET c = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    ASSERT_EQ(WSAAsyncSelect(c, n.hwnd, kSocketMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    sockaddr_in sin = Loopback(port);
    EXPECT_EQ(connect(c, reinterpret_cast<sockaddr*>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);  // never the in-progress number
    ASSERT_TRUE(n.WaitFor(c, FD_CONNECT));
    PumpFor(50);
    ASSERT_EQ(n.events.size(), 1u);
    EXPECT_EQ(n.events[0].error, static_cast<unsigned>(WSAECONNREFUSED));
}

TEST_F(SocketApi, ConnectGivesConnectThenOneWriteNotification) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    ASSERT_TRUE(n.WaitFor(c, FD_WRITE));
    ASSERT_TRUE(n.WaitFor(s, FD_WRITE));  // accepted handles get one as well
    PumpFor(30);
    EXPECT_EQ(n.Find(c, FD_CONNECT)->error, 0u);
    EXPECT_EQ(n.Count(c, FD_WRITE), 1);
    EXPECT_EQ(n.Count(s, FD_WRITE), 1);
}

TEST_F(SocketApi, ReadIsNotRepeatedUntilRecvAndRepeatedWhileDataRemains) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    ASSERT_EQ(send(c, "hello world", 11, 0), 11);
    ASSERT_TRUE(n.WaitFor(s, FD_READ));
    ASSERT_EQ(send(c, "more", 4, 0), 4);
    PumpFor(50);
    EXPECT_EQ(n.Count(s, FD_READ), 1);  // still unread: no second notification

    char buf[5];
    ASSERT_EQ(recv(s, buf, 5, 0), 5);  // 10 bytes remain
    ASSERT_TRUE(n.WaitFor(s, FD_READ, 2));
    char rest[64];
    ASSERT_EQ(recv(s, rest, sizeof rest, 0), 10);
    PumpFor(50);
    EXPECT_EQ(n.Count(s, FD_READ), 2);
    EXPECT_EQ(recv(s, rest, sizeof rest, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(SocketApi, OrderlyCloseComesAfterTheDataIsRead) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    SetLinger(c, 0, 0);
    ASSERT_EQ(send(c, "last words", 10, 0), 10);
    Close(c);
    ASSERT_TRUE(n.WaitFor(s, FD_READ));
    PumpFor(50);
    EXPECT_EQ(n.Count(s, FD_CLOSE), 0);  // data unread
    char buf[64];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 10);
    ASSERT_TRUE(n.WaitFor(s, FD_CLOSE));
    EXPECT_EQ(n.Find(s, FD_CLOSE)->error, 0u);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 0);
    PumpFor(30);
    EXPECT_EQ(n.Count(s, FD_CLOSE), 1);
}

TEST_F(SocketApi, SmallReadsOfAClosedStreamGetAReadEachTimeThenOneClose) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    SetLinger(c, 0, 0);
    ASSERT_EQ(send(c, "0123456789abcdefghij", 20, 0), 20);
    Close(c);
    std::string got;
    // One 5-byte read per read notification, as an application reading in
    // small pieces does; all 20 bytes may already sit in the kernel or not.
    ASSERT_TRUE(PumpUntil([&] {
        while (static_cast<int>(got.size()) < n.Count(s, FD_READ) * 5 && got.size() < 20) {
            u_long avail = 0;
            EXPECT_EQ(ioctlsocket(s, FIONREAD, &avail), 0);
            EXPECT_GT(avail, 0u);
            char buf[5];
            int r = recv(s, buf, 5, 0);
            if (r <= 0) break;
            got.append(buf, static_cast<size_t>(r));
        }
        return n.Count(s, FD_CLOSE) == 1;
    }));
    EXPECT_EQ(got, "0123456789abcdefghij");
    EXPECT_GE(n.Count(s, FD_READ), 4);
    // The close came after the last byte was read.
    const Event* close = n.Find(s, FD_CLOSE);
    EXPECT_EQ(close->error, 0u);
    EXPECT_EQ(&n.events.back(), close);
    char buf[4];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 0);
}

TEST_F(SocketApi, ResetGivesClose10054AndIsRemembered) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    SetLinger(c, 1, 0);  // hard close
    Close(c);
    ASSERT_TRUE(n.WaitFor(s, FD_CLOSE));
    EXPECT_EQ(n.Find(s, FD_CLOSE)->error, static_cast<unsigned>(WSAECONNRESET));
    char buf[4];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(send(s, "x", 1, 0), SOCKET_ERROR);  // never a SIGPIPE
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

// Bytes read ahead into user space are invisible to the kernel: a loop that
// sleeps on its descriptor (as the toolkit's does) must still be woken for
// them, after every small read, after a re-selection and before the close.
TEST_F(SocketApi, HeldBytesReachALoopSleepingOnItsDescriptor) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    const std::string text = [] {
        std::string t;
        for (int i = 0; t.size() < 20000; ++i) t += std::to_string(i) + ",";
        return t;
    }();
    ASSERT_EQ(send(c, text.data(), static_cast<int>(text.size()), 0), static_cast<int>(text.size()));
    ASSERT_TRUE(PumpUntil([&] {
        u_long avail = 0;
        ioctlsocket(s, FIONREAD, &avail);
        return avail == text.size();  // all of it in the kernel: one read takes it all
    }));
    std::string got;
    int handled = 0;  // one small read per read notification
    auto readPerNotification = [&](size_t upTo) {
        return PumpLikeForeignLoop([&] {
            while (got.size() < upTo && handled < n.Count(s, FD_READ)) {
                ++handled;
                char buf[1000];
                int r = recv(s, buf, sizeof buf, 0);
                if (r <= 0) break;
                got.append(buf, static_cast<size_t>(r));
            }
            return got.size() >= upTo;
        });
    };
    ASSERT_TRUE(readPerNotification(5000)) << got.size();
    // Paused and resumed with bytes held: the resumed selection reports them.
    ASSERT_EQ(WSAAsyncSelect(s, n.hwnd, kSocketMsg, 0), 0);
    PumpFor(30);
    int before = n.Count(s, FD_READ);
    ASSERT_EQ(WSAAsyncSelect(s, n.hwnd, kSocketMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
    ASSERT_TRUE(PumpLikeForeignLoop([&] { return n.Count(s, FD_READ) > before; }));
    ASSERT_TRUE(readPerNotification(text.size())) << got.size();
    EXPECT_EQ(got, text);
    Close(c);
    ASSERT_TRUE(PumpLikeForeignLoop([&] { return n.Count(s, FD_CLOSE) == 1; }));
    EXPECT_EQ(n.Find(s, FD_CLOSE)->error, 0u);
}

// A server that says goodbye and resets at once: Linux keeps the bytes that
// came before the reset, and they must come out before the close is told,
// without a read notification that recv then refuses (a spinning loop).
TEST_F(SocketApi, AResetBehindUnreadDataHandsOutTheDataThenOneClose10054) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    const std::string bye = "421 Too many users, closing\r\n";
    ASSERT_EQ(send(c, bye.data(), static_cast<int>(bye.size()), 0), static_cast<int>(bye.size()));
    ASSERT_TRUE(PumpUntil([&] {
        u_long avail = 0;
        ioctlsocket(s, FIONREAD, &avail);
        return avail == bye.size() && n.Count(s, FD_READ) == 1;
    }));
    SetLinger(c, 1, 0);
    Close(c);  // the reset lands behind the unread reply
    PumpFor(50);
    char buf[256];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), static_cast<int>(bye.size()));
    EXPECT_EQ(std::string(buf, bye.size()), bye);
    ASSERT_TRUE(n.WaitFor(s, FD_CLOSE));
    EXPECT_EQ(n.Find(s, FD_CLOSE)->error, static_cast<unsigned>(WSAECONNRESET));
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    PumpFor(100);
    EXPECT_EQ(n.Count(s, FD_CLOSE), 1);
    EXPECT_LE(n.Count(s, FD_READ), 2);
}

// Ends other than a reset keep their own numbers: a peer that stops answering
// is 10060, and sending after the program's own shutdown is 10058, which
// leaves the connection itself healthy.
TEST_F(SocketApi, ConnectionEndsKeepTheirOwnErrorNumbers) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s, /*selectServer=*/false, /*serverReceiveBuffer=*/4096);
    int small = 4096;
    setsockopt(c, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
    std::vector<char> block(65536, 'x');
    for (int round = 0; round < 200; ++round) {
        int sent = 0, r;
        while ((r = send(c, block.data(), static_cast<int>(block.size()), 0)) > 0) sent += r;
        if (sent == 0 && round > 0) break;
        platform::Sleep(10);
    }
    // The receiver's window stays shut: with a short time-out the kernel gives up.
    ASSERT_EQ(seams::SetDeadPeerTimeout(c, 300), 0);
    ASSERT_TRUE(n.WaitFor(c, FD_CLOSE, 1, 15000));
    EXPECT_EQ(n.Find(c, FD_CLOSE)->error, static_cast<unsigned>(WSAETIMEDOUT));
    char buf[16];
    EXPECT_EQ(recv(c, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_EQ(send(c, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);

    SOCKET c2, s2;
    Pair(n, c2, s2);
    ASSERT_EQ(shutdown(c2, 1), 0);
    EXPECT_EQ(send(c2, "late", 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
    ASSERT_EQ(send(s2, "still here", 10, 0), 10);  // the other direction still works
    ASSERT_TRUE(n.WaitFor(c2, FD_READ));
    EXPECT_EQ(recv(c2, buf, sizeof buf, 0), 10);
    EXPECT_EQ(send(c2, "late", 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);  // not turned into a reset
    Close(s2);
    ASSERT_TRUE(n.WaitFor(c2, FD_CLOSE));
    EXPECT_EQ(n.Find(c2, FD_CLOSE)->error, 0u);
}

TEST_F(SocketApi, WriteNotificationFollowsARefusedOrShortSend) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s, /*selectServer=*/false);  // the server never reads
    ASSERT_TRUE(n.WaitFor(c, FD_WRITE));
    int small = 4096;
    setsockopt(c, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
    std::vector<char> block(65536, 'x');
    int r;
    long total = 0;
    while ((r = send(c, block.data(), static_cast<int>(block.size()), 0)) > 0) total += r;
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_GT(total, 0);
    PumpFor(30);
    EXPECT_EQ(n.Count(c, FD_WRITE), 1);  // nothing yet: the buffers are full

    // Drain from the other side until the sender may write again.
    std::vector<char> sink(1 << 20);
    ASSERT_TRUE(PumpUntil([&] {
        while (recv(s, sink.data(), static_cast<int>(sink.size()), 0) > 0) {}
        return n.Count(c, FD_WRITE) >= 2;
    }));
}

// A handler sending 1,460-byte blocks one notification at a time costs one
// system call per 64 KiB, yet the peer gets every byte in order: at the end
// of the dispatch round, before a shutdown or a close that must follow them
// (also while the kernel cannot take them yet), and at once from outside a
// window procedure.
TEST_F(SocketApi, SmallSendsFromAHandlerLeaveTogetherInOrderAndBeforeTheEnd) {
    Notifications n;
    std::function<void()> work;
    platform::HWND runner = platform::CreateHiddenWindow([&](platform::HWND, UINT, WPARAM, LPARAM) {
        work();
        return platform::LRESULT(0);
    });
    auto inHandler = [&](std::function<void()> f) {
        bool done = false;
        work = [&] { f(); done = true; };
        platform::PostMessage(runner, platform::WM_USER, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return done; }));
    };
    std::uint32_t counter = 0;
    auto block = [&] {  // numbered 1,460-byte blocks
        std::vector<char> b(1460);
        for (std::size_t i = 0; i < b.size(); i += 4) std::memcpy(&b[i], &counter, 4);
        ++counter;
        return b;
    };
    auto drain = [&](SOCKET s, std::string& into, bool pump) {  // until the peer's end
        char buf[65536];
        auto ended = [&] {
            int r;
            while ((r = recv(s, buf, sizeof buf, 0)) > 0) into.append(buf, static_cast<size_t>(r));
            return r == 0;
        };
        if (pump) return PumpUntil(ended, 10000);
        for (int i = 0; i < 10000; ++i) {
            if (ended()) return true;
            platform::Sleep(1);
        }
        return false;
    };
    auto expectBlocks = [&](const std::string& got, std::uint32_t first, std::uint32_t count) {
        ASSERT_EQ(got.size(), count * 1460u);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t v;
            std::memcpy(&v, got.data() + i * 1460 + 1456, 4);
            ASSERT_EQ(v, first + i) << "block " << i;
        }
    };

    constexpr int kHeldBlock = 64 * 1024;  // the stand-in's write-behind block

    // 1. Forty blocks in one round, in order (the system calls they cost are
    // in the platform benchmark).
    SOCKET c, s;
    Pair(n, c, s);
    inHandler([&] {
        for (int i = 0; i < 40; ++i) {
            auto b = block();
            ASSERT_EQ(send(c, b.data(), 1460, 0), 1460);
        }
    });
    std::string got;
    ASSERT_TRUE(PumpUntil([&] {
        char buf[65536];
        int r;
        while ((r = recv(s, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(r));
        return got.size() >= 40 * 1460u;
    }));
    expectBlocks(got, 0, 40);

    // 2. Outside a window procedure a send goes at once: the kernel has it
    // before the loop runs again.
    auto b = block();
    ASSERT_EQ(send(c, b.data(), 1460, 0), 1460);
    u_long waiting = 0;
    for (int i = 0; i < 1000 && waiting < 1460; ++i) ioctlsocket(s, FIONREAD, &waiting);
    EXPECT_EQ(waiting, 1460u);
    got.clear();
    ASSERT_TRUE(PumpUntil([&] {
        char buf[2000];
        int r = recv(s, buf, sizeof buf, 0);
        if (r > 0) got.append(buf, static_cast<size_t>(r));
        return got.size() >= 1460;
    }));
    expectBlocks(got, 40, 1);

    // 3. A full kernel buffer with bytes held: the shutdown, and on another
    // connection the close, wait for them; the peer reads all, then the end.
    for (bool closeIt : {false, true}) {
        SOCKET c2, s2;
        Pair(n, c2, s2, /*selectServer=*/true, /*serverReceiveBuffer=*/8192);
        int small = 8192;
        setsockopt(c2, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
        std::string sent;
        inHandler([&] {
            for (;;) {
                auto blk = block();
                int r = send(c2, blk.data(), 1460, 0);
                if (r > 0) sent.append(blk.data(), static_cast<size_t>(r));
                if (r == 1460) continue;
                ASSERT_TRUE(r > 0 || WSAGetLastError() == WSAEWOULDBLOCK);
                break;
            }
            if (closeIt) Close(c2);
            else ASSERT_EQ(shutdown(c2, 1), 0);
        });
        EXPECT_GT(sent.size(), static_cast<size_t>(kHeldBlock));  // more than the held block alone
        // A closed socket's bytes need no more of its thread's loop, which
        // may never run again; those of a shutdown one leave from the loop.
        std::string all;
        ASSERT_TRUE(drain(s2, all, /*pump=*/!closeIt)) << all.size();
        EXPECT_TRUE(all == sent) << all.size() << " of " << sent.size();
        Close(s2);
        if (!closeIt) Close(c2);
    }

    // 4. A peer that reset: the send whose block goes out tells the reset.
    SOCKET c3, s3;
    Pair(n, c3, s3);
    SetLinger(s3, 1, 0);
    Close(s3);  // the handler runs before the loop has seen the reset
    inHandler([&] {
        int r = 0, calls = 0;
        while (calls < 1000 && (r = send(c3, b.data(), 1460, 0)) == 1460) ++calls;
        EXPECT_EQ(calls, kHeldBlock / 1460);  // held without a system call, until the block is full
        EXPECT_EQ(r, SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    });
    platform::DestroyWindow(runner);
}

}  // namespace

// The socket API: accepting, stale handles, reselection, linger, options,
// datagrams, start-up and conversions.
#include <cstring>

#include "SocketApiFixture.h"

using namespace socketapi;

namespace {

using winsock::u_long;
using winsock::u_short;
using winsock::in_addr;
using winsock::sockaddr;
using winsock::sockaddr_in;
using winsock::linger;

TEST_F(SocketApi, AcceptNotificationIsRearmedByAccept) {
    Notifications n;
    u_short port;
    SOCKET l = Listener(port);
    ASSERT_EQ(WSAAsyncSelect(l, n.hwnd, kSocketMsg, FD_ACCEPT), 0);
    sockaddr_in sin = Loopback(port);
    SOCKET c1 = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    SOCKET c2 = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    WSAAsyncSelect(c1, n.hwnd, kSocketMsg, FD_CONNECT);
    WSAAsyncSelect(c2, n.hwnd, kSocketMsg, FD_CONNECT);
    connect(c1, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    connect(c2, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    ASSERT_TRUE(n.WaitFor(c1, FD_CONNECT) && n.WaitFor(c2, FD_CONNECT));
    PumpFor(30);
    EXPECT_EQ(n.Count(l, FD_ACCEPT), 1);  // two pending, one notice until accept

    sockaddr_in peer{};
    int len = sizeof peer;
    SOCKET a1 = Track(accept(l, reinterpret_cast<sockaddr*>(&peer), &len));
    ASSERT_NE(a1, INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr.s_addr, kLoopback);
    ASSERT_TRUE(n.WaitFor(l, FD_ACCEPT, 2));
    SOCKET a2 = Track(accept(l, nullptr, nullptr));
    ASSERT_NE(a2, INVALID_SOCKET);
    PumpFor(30);
    EXPECT_EQ(n.Count(l, FD_ACCEPT), 2);
    EXPECT_EQ(accept(l, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(SocketApi, ClosedHandleNeverReceivesAStaleNotificationThroughItsSuccessor) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    ASSERT_EQ(send(c, "data", 4, 0), 4);
    ASSERT_TRUE(n.WaitFor(s, FD_READ));
    // Close the reader while its notification may still be queued, then
    // open a new socket: the system hands out the same descriptor number.
    Close(s);
    SOCKET fresh = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_NE(fresh, s);
    PumpFor(50);
    EXPECT_EQ(n.Count(fresh, FD_READ), 0);
    EXPECT_EQ(n.Count(fresh, FD_CLOSE), 0);
    char buf[4];
    EXPECT_EQ(recv(s, buf, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(SocketApi, ReselectingAWritableSocketReportsWriteAgainAndMaskZeroSilences) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s);
    ASSERT_TRUE(n.WaitFor(c, FD_WRITE));
    ASSERT_EQ(WSAAsyncSelect(c, n.hwnd, kSocketMsg, 0), 0);
    ASSERT_EQ(send(s, "x", 1, 0), 1);
    PumpFor(40);
    EXPECT_EQ(n.Count(c, FD_READ), 0);
    ASSERT_EQ(WSAAsyncSelect(c, n.hwnd, kSocketMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
    ASSERT_TRUE(n.WaitFor(c, FD_WRITE, 2));
    ASSERT_TRUE(n.WaitFor(c, FD_READ));
}

TEST_F(SocketApi, LingerWithTimeoutAnswersWouldBlockWhileDataIsUnsentThenResets) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s, /*selectServer=*/false, /*serverReceiveBuffer=*/4096);
    int small = 4096;
    setsockopt(c, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
    // Fill both the sender's and the receiver's buffers: a send refused
    // right after a pause means nothing more drains.
    std::vector<char> block(65536, 'x');
    for (int round = 0; round < 200; ++round) {
        int sent = 0, r;
        while ((r = send(c, block.data(), static_cast<int>(block.size()), 0)) > 0) sent += r;
        if (sent == 0 && round > 0) break;
        platform::Sleep(10);
    }
    SetLinger(c, 1, 1);
    linger back{};
    int len = sizeof back;
    ASSERT_EQ(getsockopt(c, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&back), &len), 0);
    EXPECT_EQ(back.l_onoff, 1);
    EXPECT_EQ(back.l_linger, 1);
    EXPECT_EQ(closesocket(c), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(PumpUntil([&] { return closesocket(c) == 0; }, 3000));  // time-out passed: reset
    std::erase(open, c);
    ASSERT_EQ(WSAAsyncSelect(s, n.hwnd, kSocketMsg, FD_READ | FD_CLOSE), 0);
    std::vector<char> sink(1 << 20);
    ASSERT_TRUE(PumpUntil([&] {
        while (recv(s, sink.data(), static_cast<int>(sink.size()), 0) > 0) {}
        return n.Count(s, FD_CLOSE) == 1;
    }));
    EXPECT_EQ(n.Find(s, FD_CLOSE)->error, static_cast<unsigned>(WSAECONNRESET));
}

// PeerClosed looks without taking bytes: nothing yet and bytes waiting are
// both "not closed"; an orderly close is told only once every byte was read
// (the peek shows the last one first); a reset is an error.
TEST_F(SocketApi, PeerClosedTellsACloseFromNothingYetAndFromAReset) {
    Notifications n;
    SOCKET c, s;
    Pair(n, c, s, /*selectServer=*/false);
    EXPECT_EQ(PeerClosed(c), 0);
    ASSERT_EQ(send(s, "x", 1, 0), 1);
    ASSERT_EQ(shutdown(s, 1), 0);  // the sending side
    ASSERT_TRUE(n.WaitFor(c, FD_READ));
    EXPECT_EQ(PeerClosed(c), 0);  // the byte still waits
    char byte = 0;
    ASSERT_EQ(recv(c, &byte, 1, 0), 1);
    ASSERT_TRUE(PumpUntil([&] { return PeerClosed(c) != 0; }, 3000));
    EXPECT_EQ(PeerClosed(c), 1);

    SOCKET c2, s2;
    Pair(n, c2, s2, /*selectServer=*/false);
    SetLinger(s2, 1, 0);
    Close(s2);  // an abortive close: the peer sees a reset
    ASSERT_TRUE(PumpUntil([&] { return PeerClosed(c2) != 0; }, 3000));
    EXPECT_EQ(PeerClosed(c2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(SocketApi, OptionsAreTranslatedAndReadBack) {
    SOCKET t = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    int on = 1, v = 0, len = sizeof v;
    ASSERT_EQ(setsockopt(t, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on), sizeof on), 0);
    ASSERT_EQ(getsockopt(t, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&v), &len), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(setsockopt(t, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), sizeof on), 0);
    ASSERT_EQ(getsockopt(t, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&v), &len), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(getsockopt(t, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&v), &len), 0);
    EXPECT_EQ(v, SOCK_STREAM);
    EXPECT_EQ(setsockopt(t, SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&on), sizeof on), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);

    SOCKET u = Track(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    int ttl = 7;
    ASSERT_EQ(setsockopt(u, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<char*>(&ttl), sizeof ttl), 0);
    ASSERT_EQ(getsockopt(u, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<char*>(&v), &len), 0);
    EXPECT_EQ(v, 7);
    ASSERT_EQ(setsockopt(u, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&on), sizeof on), 0);
    ASSERT_EQ(getsockopt(u, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&v), &len), 0);
    EXPECT_EQ(v, 1);
    u_long nb = 1;
    EXPECT_EQ(ioctlsocket(u, FIONBIO, &nb), 0);
    u_long avail = 99;
    EXPECT_EQ(ioctlsocket(u, FIONREAD, &avail), 0);
    EXPECT_EQ(avail, 0u);
}

TEST_F(SocketApi, DatagramsTravelOnLoopback) {
    Notifications n;
    SOCKET a = Track(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    SOCKET b = Track(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in sa = Loopback(0);
    ASSERT_EQ(bind(a, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    int len = sizeof sa;
    getsockname(a, reinterpret_cast<sockaddr*>(&sa), &len);
    ASSERT_EQ(WSAAsyncSelect(a, n.hwnd, kSocketMsg, FD_READ), 0);
    ASSERT_EQ(sendto(b, "ping", 4, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 4);
    ASSERT_TRUE(n.WaitFor(a, FD_READ));
    char buf[16];
    sockaddr_in from{};
    int flen = sizeof from;
    ASSERT_EQ(recvfrom(a, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &flen), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    EXPECT_EQ(from.sin_addr.s_addr, kLoopback);
}

TEST_F(SocketApi, ForcedImmediateConnectFailure) {
    SOCKET c = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    seams::FailNextConnect(WSAECONNREFUSED);
    sockaddr_in sin = Loopback(9);
    EXPECT_EQ(connect(c, reinterpret_cast<sockaddr*>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
}

TEST(SocketApiStartup, CallsBeforeStartupFailWithNotInitialised) {
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    WSAData d;
    EXPECT_EQ(WSAStartup(0x0001, &d), WSAVERNOTSUPPORTED);
    ASSERT_EQ(WSAStartup(0x0202, &d), 0);
    EXPECT_EQ(d.wVersion, 0x0101);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(SocketApiConversions, DottedAddressesAndByteOrder) {
    EXPECT_EQ(inet_addr("127.0.0.1"), kLoopback);
    EXPECT_EQ(inet_addr("255.255.255.255"), INADDR_NONE);
    EXPECT_EQ(inet_addr("1.2.3.256"), INADDR_NONE);
    EXPECT_EQ(inet_addr(""), INADDR_NONE);
    EXPECT_STREQ(inet_ntoa(in_addr{kLoopback}), "127.0.0.1");
    EXPECT_EQ(htons(0x1234), 0x3412);
    EXPECT_EQ(ntohl(htonl(0x01020304u)), 0x01020304u);
    EXPECT_EQ(sizeof(linger), 4u);
}

}  // namespace

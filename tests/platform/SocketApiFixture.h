// The socket API tests' fixture: a window recording notifications, and
// connected pairs on loopback.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PumpHelpers.h"
#include "platform/ForeignLoopWait.h"
#include "platform/WinSock.h"

using namespace winsock;
using platform::LPARAM;
using platform::WPARAM;

namespace socketapi {

using winsock::u_long;
using winsock::u_short;
using winsock::in_addr;
using winsock::sockaddr;
using winsock::sockaddr_in;
using winsock::linger;
using winsock::hostent;
using winsock::servent;
using winsock::protoent;

inline constexpr UINT kSocketMsg = platform::WM_USER + 1;
inline constexpr u_long kLoopback = 0x0100007F;  // 127.0.0.1 in network order

struct Event {
    SOCKET s;
    unsigned event;
    unsigned error;
};

// A window that records every socket notification it receives.
class Notifications {
public:
    Notifications()
        : hwnd(platform::CreateHiddenWindow([this](platform::HWND, UINT m, WPARAM w, LPARAM l) {
              if (m == kSocketMsg) events.push_back({w, WSAGETSELECTEVENT(l), WSAGETSELECTERROR(l)});
              return platform::LRESULT(0);
          })) {}
    ~Notifications() { platform::DestroyWindow(hwnd); }

    int Count(SOCKET s, unsigned ev) const {
        int n = 0;
        for (auto& e : events) n += e.s == s && e.event == ev;
        return n;
    }
    const Event* Find(SOCKET s, unsigned ev) const {
        for (auto& e : events)
            if (e.s == s && e.event == ev) return &e;
        return nullptr;
    }
    bool WaitFor(SOCKET s, unsigned ev, int n = 1, int ms = 5000) {
        return PumpUntil([&] { return Count(s, ev) >= n; }, ms);
    }

    platform::HWND hwnd;
    std::vector<Event> events;
};

class SocketApi : public ::testing::Test {
protected:
    void SetUp() override {
        WSAData data;
        ASSERT_EQ(WSAStartup(0x0101, &data), 0);
        baseline = seams::OpenSocketCount();
    }
    void TearDown() override {
        for (SOCKET s : open) closesocket(s);
        EXPECT_EQ(seams::OpenSocketCount(), baseline);
        WSACleanup();
    }

    SOCKET Track(SOCKET s) {
        if (s != INVALID_SOCKET) open.push_back(s);
        return s;
    }
    void Close(SOCKET s) {
        closesocket(s);
        std::erase(open, s);
    }

    static sockaddr_in Loopback(u_short port) {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        sin.sin_addr.s_addr = kLoopback;
        return sin;
    }

    // A listening socket on a port the system picks.
    SOCKET Listener(u_short& port) {
        SOCKET l = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in sin = Loopback(0);
        EXPECT_EQ(bind(l, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
        EXPECT_EQ(listen(l, 5), 0);
        int len = sizeof sin;
        getsockname(l, reinterpret_cast<sockaddr*>(&sin), &len);
        port = ntohs(sin.sin_port);
        return l;
    }

    // A connected pair: client selected on n, server end accepted (and
    // selected on n as well when select is true).
    void Pair(Notifications& n, SOCKET& client, SOCKET& server, bool selectServer = true,
              int serverReceiveBuffer = 0) {
        u_short port;
        SOCKET l = Listener(port);
        if (serverReceiveBuffer)  // inherited by the accepted handle; stops the kernel growing it
            setsockopt(l, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&serverReceiveBuffer),
                       sizeof serverReceiveBuffer);
        ASSERT_EQ(WSAAsyncSelect(l, n.hwnd, kSocketMsg, FD_ACCEPT), 0);
        client = Track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        ASSERT_EQ(WSAAsyncSelect(client, n.hwnd, kSocketMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
        sockaddr_in sin = Loopback(port);
        int r = connect(client, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        ASSERT_TRUE(r == 0 || WSAGetLastError() == WSAEWOULDBLOCK);
        ASSERT_TRUE(n.WaitFor(l, FD_ACCEPT));
        server = Track(accept(l, nullptr, nullptr));
        ASSERT_NE(server, INVALID_SOCKET);
        if (selectServer)
            ASSERT_EQ(WSAAsyncSelect(server, n.hwnd, kSocketMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
        else
            ASSERT_EQ(WSAAsyncSelect(server, n.hwnd, kSocketMsg, 0), 0);
        ASSERT_TRUE(n.WaitFor(client, FD_CONNECT));
        Close(l);
    }

    static void SetLinger(SOCKET s, u_short on, u_short secs) {
        linger l{on, secs};
        ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), sizeof l), 0);
    }

    int baseline = 0;
    std::vector<SOCKET> open;
};

}  // namespace socketapi

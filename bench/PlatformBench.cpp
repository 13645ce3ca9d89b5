// Figures for the platform stand-in: message throughput, and loopback
// throughput of 1,460-byte sends paced by the message loop, next to a plain
// blocking copy with the same sizes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BlockingCopy.h"
#include "platform/WinSock.h"

using namespace winsock;
using platform::LPARAM;
using platform::WPARAM;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void MessageRate(long count) {
    long got = 0;
    platform::HWND h = platform::CreateHiddenWindow([&](platform::HWND, UINT, WPARAM, LPARAM) {
        ++got;
        return platform::LRESULT(0);
    });
    auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) platform::PostMessage(h, platform::WM_USER, 0, 0);
    double post = Seconds(t0);
    auto t1 = std::chrono::steady_clock::now();
    while (got < count) platform::ProcessMessages();
    double dispatch = Seconds(t1);
    std::printf("messages: %ld posted in %.3f s (%.1f M/s), dispatched in %.3f s (%.1f M/s)\n", count, post,
                count / post / 1e6, dispatch, count / dispatch / 1e6);

    // Ping-pong: each message posts the next, as a paced sender does.
    got = 0;
    platform::HWND p = 0;
    p = platform::CreateHiddenWindow([&](platform::HWND, UINT, WPARAM, LPARAM) {
        if (++got < count) platform::PostMessage(p, platform::WM_USER, 0, 0);
        return platform::LRESULT(0);
    });
    auto t2 = std::chrono::steady_clock::now();
    platform::PostMessage(p, platform::WM_USER, 0, 0);
    while (got < count) {
        platform::WaitMessage(100);
        platform::ProcessMessages();
    }
    double chain = Seconds(t2);
    std::printf("messages: %ld chained post+dispatch in %.3f s (%.1f M/s)\n", count, chain, count / chain / 1e6);
    platform::DestroyWindow(h);
    platform::DestroyWindow(p);
}

struct PacedResult {
    double seconds = 0;
    platform::LoopCounters used;  // counters spent on the copy
};

PacedResult PacedLoopbackCopy(std::uint64_t total) {
    constexpr UINT kSock = platform::WM_USER + 1, kNext = platform::WM_USER + 2;
    constexpr int kChunk = 1460, kRecv = 4096;
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(l, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    listen(l, 1);
    int len = sizeof sin;
    getsockname(l, reinterpret_cast<sockaddr*>(&sin), &len);

    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), s = INVALID_SOCKET;
    std::uint64_t sent = 0, received = 0;
    bool connected = false;
    std::vector<char> chunk(kChunk, 'x'), buf(kRecv);
    platform::HWND h = 0;
    auto sendNext = [&] {
        while (sent < total) {
            int r = send(c, chunk.data(), kChunk, 0);
            if (r == kChunk) {
                sent += kChunk;
                platform::PostMessage(h, kNext, 0, 0);  // next chunk from the loop
                return;
            }
            if (r > 0) sent += static_cast<std::uint64_t>(r);
            return;  // short or refused: FD_WRITE follows
        }
    };
    h = platform::CreateHiddenWindow([&](platform::HWND, UINT m, WPARAM w, LPARAM lp) {
        if (m == kNext) {
            sendNext();
        } else if (m == kSock) {
            unsigned ev = WSAGETSELECTEVENT(lp);
            if (ev == FD_ACCEPT) {
                s = accept(l, nullptr, nullptr);
                WSAAsyncSelect(s, h, kSock, FD_READ | FD_CLOSE);
            } else if (ev == FD_CONNECT) {
                connected = true;
            } else if (ev == FD_WRITE && w == c && connected) {
                sendNext();
            } else if (ev == FD_READ && w == s) {
                int r = recv(s, buf.data(), kRecv, 0);
                if (r > 0) received += static_cast<std::uint64_t>(r);
            }
        }
        return platform::LRESULT(0);
    });
    WSAAsyncSelect(l, h, kSock, FD_ACCEPT);
    WSAAsyncSelect(c, h, kSock, FD_CONNECT | FD_WRITE);
    const platform::LoopCounters before = platform::GetLoopCounters();
    auto t0 = std::chrono::steady_clock::now();
    connect(c, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    while (received < total) {
        platform::WaitMessage(1000);
        platform::ProcessMessages();
    }
    PacedResult result;
    result.seconds = Seconds(t0);
    const platform::LoopCounters after = platform::GetLoopCounters();
    result.used.systemCalls = after.systemCalls - before.systemCalls;
    result.used.socketNotifications = after.socketNotifications - before.socketNotifications;
    result.used.dispatched = after.dispatched - before.dispatched;
    closesocket(c);
    closesocket(s);
    closesocket(l);
    platform::DestroyWindow(h);
    return result;
}

// The system calls the stand-in spends where it promises to spend few: an
// idle wait, and small sends from one handler (held until the round ends).
void CallCounts() {
    platform::ProcessMessages();
    platform::LoopCounters before = platform::GetLoopCounters();
    platform::WaitMessage(100);
    platform::ProcessMessages();
    platform::LoopCounters after = platform::GetLoopCounters();
    std::printf("idle wait of 100 ms: %llu wake-up(s), %llu system calls, %llu messages dispatched\n",
                static_cast<unsigned long long>(after.wakeups - before.wakeups),
                static_cast<unsigned long long>(after.systemCalls - before.systemCalls),
                static_cast<unsigned long long>(after.dispatched - before.dispatched));

    constexpr UINT kSock = platform::WM_USER + 1, kSend = platform::WM_USER + 2;
    constexpr int kBlocks = 40, kBlock = 1460;
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(l, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    listen(l, 1);
    int len = sizeof sin;
    getsockname(l, reinterpret_cast<sockaddr*>(&sin), &len);
    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(c, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    SOCKET s = accept(l, nullptr, nullptr);
    bool writable = false, done = false;
    std::uint64_t inHandler = 0;
    std::vector<char> block(kBlock, 'x');
    platform::HWND h = platform::CreateHiddenWindow([&](platform::HWND, UINT m, WPARAM, LPARAM lp) {
        if (m == kSock && WSAGETSELECTEVENT(lp) == FD_WRITE) writable = true;
        if (m == kSend) {
            const std::uint64_t start = platform::GetLoopCounters().systemCalls;
            for (int i = 0; i < kBlocks; ++i) send(c, block.data(), kBlock, 0);
            inHandler = platform::GetLoopCounters().systemCalls - start;
            done = true;
        }
        return platform::LRESULT(0);
    });
    WSAAsyncSelect(c, h, kSock, FD_WRITE);
    for (int i = 0; i < 100 && !writable; ++i) {
        platform::WaitMessage(10);
        platform::ProcessMessages();
    }
    before = platform::GetLoopCounters();
    platform::PostMessage(h, kSend, 0, 0);
    for (int i = 0; i < 100 && !done; ++i) platform::ProcessMessages();
    after = platform::GetLoopCounters();
    std::printf("%d sends of %d bytes from one handler: %llu system calls inside it, %llu for the whole round\n",
                kBlocks, kBlock, static_cast<unsigned long long>(inHandler),
                static_cast<unsigned long long>(after.systemCalls - before.systemCalls));
    closesocket(c);
    closesocket(s);
    closesocket(l);
    platform::DestroyWindow(h);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    WSAData d;
    WSAStartup(0x0101, &d);
    MessageRate(2000000);
    CallCounts();
    std::uint64_t total = mib << 20;
    PacedResult paced = PacedLoopbackCopy(total);
    double plain = BlockingLoopbackCopy(total, 1460, 4096);
    std::printf("loopback %llu MiB, 1460-byte sends, 4096-byte receives:\n", static_cast<unsigned long long>(mib));
    std::printf("  message loop paced: %.2f s, %.0f MiB/s\n", paced.seconds, mib / paced.seconds);
    const auto notifications = static_cast<double>(paced.used.socketNotifications);
    std::printf("  loop counters: %.1f system calls per socket notification, %.0f per MiB; "
                "%.0f notifications and %.0f messages per MiB\n",
                paced.used.systemCalls / std::max(notifications, 1.0),
                static_cast<double>(paced.used.systemCalls) / mib, notifications / mib,
                static_cast<double>(paced.used.dispatched) / mib);
    std::printf("  plain blocking copy: %.2f s, %.0f MiB/s\n", plain, mib / plain);
    WSACleanup();
    return 0;
}

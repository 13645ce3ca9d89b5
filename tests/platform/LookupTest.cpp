#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PumpHelpers.h"
#include "platform/WinSock.h"

using namespace winsock;
using platform::LPARAM;
using platform::WPARAM;

namespace {

using winsock::u_long;
using winsock::u_short;
using winsock::in_addr;
using winsock::sockaddr;
using winsock::sockaddr_in;
using winsock::linger;
using winsock::hostent;
using winsock::servent;
using winsock::protoent;

constexpr UINT kLookupMsg = platform::WM_USER + 2;

class Lookups : public ::testing::Test {
protected:
    void SetUp() override {
        WSAData d;
        ASSERT_EQ(WSAStartup(0x0101, &d), 0);
        hwnd = platform::CreateHiddenWindow([this](platform::HWND, UINT m, WPARAM w, LPARAM l) {
            if (m == kLookupMsg) replies.push_back({w, WSAGETASYNCERROR(l)});
            return platform::LRESULT(0);
        });
    }
    void TearDown() override {
        seams::SetForwardResolver(nullptr);
        platform::DestroyWindow(hwnd);
        WSACleanup();
    }
    const hostent* Entry() const { return reinterpret_cast<const hostent*>(buffer); }

    platform::HWND hwnd = 0;
    alignas(8) char buffer[1025];
    std::vector<std::pair<HANDLE, unsigned>> replies;
};

TEST_F(Lookups, LocalhostResolvesIntoTheCallersBuffer) {
    HANDLE h = WSAAsyncGetHostByName(hwnd, kLookupMsg, "localhost", buffer, sizeof buffer);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(replies.empty());  // never answered from inside the call
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies[0].first, h);
    ASSERT_EQ(replies[0].second, 0u);
    ASSERT_NE(Entry()->h_addr_list[0], nullptr);
    u_long a;
    std::memcpy(&a, Entry()->h_addr_list[0], 4);
    EXPECT_EQ(a, inet_addr("127.0.0.1"));
    EXPECT_EQ(Entry()->h_length, 4);
}

TEST_F(Lookups, ResolverFailuresMapToTheOriginalNumbers) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"nosuch.invalid", WSAHOST_NOT_FOUND}, {"again.test", WSATRY_AGAIN},
        {"fail.test", WSANO_RECOVERY}, {"nodata.test", WSANO_DATA}};
    seams::SetForwardResolver([&](const std::string& name, std::vector<u_long>&, std::string&) {
        for (auto& [n, e] : cases)
            if (n == name) return e;
        return WSANO_RECOVERY;
    });
    for (auto& [name, err] : cases) {
        replies.clear();
        ASSERT_NE(WSAAsyncGetHostByName(hwnd, kLookupMsg, name.c_str(), buffer, sizeof buffer), 0u);
        ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
        EXPECT_EQ(replies[0].second, static_cast<unsigned>(err)) << name;
    }
    EXPECT_EQ(gethostbyname("nosuch.invalid"), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
}

TEST_F(Lookups, ManyAddressesKeepAsManyAsFitInOrder) {
    seams::SetForwardResolver([](const std::string&, std::vector<u_long>& addrs, std::string& name) {
        for (u_long i = 1; i <= 300; ++i) addrs.push_back(htonl(0x0A000000u + i));
        name = "many.test";
        return 0;
    });
    ASSERT_NE(WSAAsyncGetHostByName(hwnd, kLookupMsg, "many.test", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    ASSERT_EQ(replies[0].second, 0u);
    int n = 0;
    for (char** p = Entry()->h_addr_list; *p; ++p, ++n) {
        u_long a;
        std::memcpy(&a, *p, 4);
        ASSERT_EQ(ntohl(a), 0x0A000000u + static_cast<u_long>(n + 1));
        ASSERT_GE(*p, buffer);
        ASSERT_LT(*p, buffer + sizeof buffer);
    }
    EXPECT_GT(n, 50);
    EXPECT_LT(n, 300);
    EXPECT_STREQ(Entry()->h_name, "many.test");
}

TEST_F(Lookups, CancelledLookupDeliversNothingAndLeavesTheBufferAlone) {
    std::memset(buffer, 0x5A, sizeof buffer);
    HANDLE h = WSAAsyncGetHostByName(hwnd, kLookupMsg, "localhost", buffer, sizeof buffer);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(WSACancelAsyncRequest(h), 0);
    EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);
    PumpFor(300);
    EXPECT_TRUE(replies.empty());
    for (char c : buffer) ASSERT_EQ(c, 0x5A);
    EXPECT_EQ(WSACancelAsyncRequest(0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(Lookups, ResultForADestroyedWindowIsDroppedSafely) {
    platform::HWND other = platform::CreateHiddenWindow([](platform::HWND, UINT, WPARAM, LPARAM) {
        ADD_FAILURE() << "a destroyed window got a reply";
        return platform::LRESULT(0);
    });
    auto* buf = new char[1025];
    ASSERT_NE(WSAAsyncGetHostByName(other, kLookupMsg, "localhost", buf, 1025), 0u);
    platform::DestroyWindow(other);
    PumpFor(300);
    delete[] buf;  // the worker must not write here afterwards either
    PumpFor(50);
}

TEST_F(Lookups, ReverseLookupOfLoopback) {
    u_long a = inet_addr("127.0.0.1");
    HANDLE h = WSAAsyncGetHostByAddr(hwnd, kLookupMsg, reinterpret_cast<char*>(&a), 4, AF_INET, buffer,
                                     sizeof buffer);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    ASSERT_EQ(replies[0].second, 0u);
    EXPECT_STRNE(Entry()->h_name, "");
}

// The library's last clean-up waits for lookups inside the resolver (which
// cannot be interrupted), never runs cancelled or queued ones, and delivers
// nothing afterwards: no lookup thread outlives it.
// The last clean-up waits for no lookup inside the resolver (closing the
// program must not hang on a slow name server), delivers nothing afterwards,
// never runs cancelled ones, and the resolver a lookup started with stays
// alive until that lookup returns, even when replaced meanwhile.
TEST_F(Lookups, CleanUpWaitsForNoLookupAndCancelledOnesNeverRun) {
    struct Shared {
        std::atomic<int> running{0}, finished{0};
        std::atomic<bool> release{false};
        std::mutex seenMutex;
        std::vector<std::string> seen;
    };
    auto shared = std::make_shared<Shared>();
    seams::SetForwardResolver([shared](const std::string& name, std::vector<u_long>& addrs, std::string&) {
        {
            std::lock_guard<std::mutex> lock(shared->seenMutex);
            shared->seen.push_back(name);
        }
        ++shared->running;
        // A slow name server: answers once released, or after 3 s.
        for (int i = 0; i < 300 && !shared->release; ++i) platform::Sleep(10);
        addrs = {inet_addr("127.0.0.1")};
        --shared->running;
        ++shared->finished;
        return 0;
    });
    std::vector<HANDLE> handles;
    alignas(8) static char buffers[6][1025];
    for (int i = 0; i < 6; ++i) {
        std::string name = "host" + std::to_string(i) + ".test";
        handles.push_back(WSAAsyncGetHostByName(hwnd, kLookupMsg, name.c_str(), buffers[i], sizeof buffers[i]));
        ASSERT_NE(handles.back(), 0u);
    }
    ASSERT_EQ(WSACancelAsyncRequest(handles[4]), 0);
    ASSERT_EQ(WSACancelAsyncRequest(handles[5]), 0);
    ASSERT_TRUE(PumpUntil([&] { return shared->running > 0; }));
    ASSERT_EQ(WSACleanup(), 0);
    EXPECT_GT(shared->running, 0);  // returned while lookups are still inside the resolver
    seams::SetForwardResolver(nullptr);  // the running ones keep theirs
    shared->release = true;
    ASSERT_TRUE(PumpUntil([&] { return shared->running == 0; }));
    PumpFor(300);
    EXPECT_TRUE(replies.empty());
    {
        std::lock_guard<std::mutex> lock(shared->seenMutex);
        for (const std::string& name : shared->seen) EXPECT_TRUE(name != "host4.test" && name != "host5.test") << name;
    }
    WSAData d;
    ASSERT_EQ(WSAStartup(0x0101, &d), 0);  // for the fixture's clean-up
    // Lookups work again after a restart.
    HANDLE h = WSAAsyncGetHostByName(hwnd, kLookupMsg, "localhost", buffer, sizeof buffer);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies[0].first, h);
    EXPECT_EQ(replies[0].second, 0u);
}

// The same answers from the system's tables and, on a system without them,
// from the built-in names.
TEST_F(Lookups, ServicesAndProtocolsWithAndWithoutTheSystemTables) {
    for (bool system : {true, false}) {
        SCOPED_TRACE(system ? "system tables" : "built-in names");
        seams::UseSystemNameTables(system);
        servent* s = getservbyname("ftp", "tcp");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(ntohs(static_cast<u_short>(s->s_port)), 21);
        EXPECT_STREQ(s->s_proto, "tcp");
        s = getservbyname("ftp-data", nullptr);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(ntohs(static_cast<u_short>(s->s_port)), 20);
        EXPECT_EQ(getservbyname("no-such-service", "tcp"), nullptr);
        EXPECT_EQ(getservbyname("ftp", "udp"), nullptr);
        protoent* p = getprotobyname("udp");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->p_proto, 17);
        p = getprotobyname("tcp");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->p_proto, 6);
        EXPECT_EQ(getprotobyname("no-such-proto"), nullptr);
    }
    seams::UseSystemNameTables(true);
}

// Both families: addrinfo replies in the resolver's order, as many as fit
// the buffer; the original's host entry keeps IPv4 alone; text forms; and an
// IPv6 record where an IPv4 one has no room.
TEST_F(Lookups, AddrInfoGivesBothFamiliesInOrderAndRecordsFitTheirFamily) {
    seams::SetNameResolver([](const std::string& name, std::vector<std::string>& addrs) {
        if (name == "v6only.test") {
            addrs = {"::1"};
        } else {
            addrs = {"2001:db8::1", "10.0.0.1"};
            for (int i = 2; i <= 40; ++i) addrs.push_back("2001:db8::" + std::to_string(i));
        }
        return 0;
    });
    ASSERT_NE(WSAAsyncGetAddrInfo(hwnd, kLookupMsg, "dual.test", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    ASSERT_EQ(replies[0].second, 0u);
    std::vector<std::string> texts;
    for (auto* ai = reinterpret_cast<const addrinfo*>(buffer); ai; ai = ai->ai_next) {
        ASSERT_GE(reinterpret_cast<const char*>(ai->ai_addr), buffer);
        ASSERT_LT(reinterpret_cast<const char*>(ai->ai_addr), buffer + sizeof buffer);
        char text[64];
        const auto* record = reinterpret_cast<const SOCKADDR_INET*>(ai->ai_addr);
        EXPECT_EQ(record->si_family, ai->ai_family);
        texts.push_back(ai->ai_family == AF_INET6 ? inet_ntop(AF_INET6, &record->Ipv6.sin6_addr, text, sizeof text)
                                                  : inet_ntoa(record->Ipv4.sin_addr));
    }
    ASSERT_GE(texts.size(), 3u);
    EXPECT_LT(texts.size(), 42u);  // as many as fit in 1,025 bytes
    EXPECT_EQ(texts[0], "2001:db8::1");
    EXPECT_EQ(texts[1], "10.0.0.1");
    EXPECT_EQ(texts[2], "2001:db8::2");

    // The host entry has one family: IPv4 alone, and no data for an IPv6-only name.
    replies.clear();
    ASSERT_NE(WSAAsyncGetHostByName(hwnd, kLookupMsg, "dual.test", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    ASSERT_EQ(replies[0].second, 0u);
    ASSERT_NE(Entry()->h_addr_list[0], nullptr);
    EXPECT_EQ(Entry()->h_addr_list[1], nullptr);
    replies.clear();
    ASSERT_NE(WSAAsyncGetHostByName(hwnd, kLookupMsg, "v6only.test", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies[0].second, static_cast<unsigned>(WSANO_DATA));

    addrinfo hints{};
    hints.ai_family = AF_INET6;
    addrinfo* res = nullptr;
    ASSERT_EQ(getaddrinfo("dual.test", nullptr, &hints, &res), 0);
    int count = 0;
    for (addrinfo* ai = res; ai; ai = ai->ai_next, ++count) EXPECT_EQ(ai->ai_family, AF_INET6);
    EXPECT_EQ(count, 40);
    freeaddrinfo(res);

    in6_addr a6{};
    EXPECT_EQ(inet_pton(AF_INET6, "0:0:0::1", &a6), 1);
    char text[64];
    EXPECT_STREQ(inet_ntop(AF_INET6, &a6, text, sizeof text), "::1");
    EXPECT_EQ(inet_pton(AF_INET6, "gggg::1", &a6), 0);
    u_long a4 = 0;
    EXPECT_EQ(inet_pton(AF_INET, "127.0.0.1", &a4), 1);
    EXPECT_EQ(inet_pton(AF_INET, "127.1", &a4), 0);  // unlike inet_addr

    // An IPv6 socket's name needs an IPv6 record.
    SOCKET s = socket(AF_INET6, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    std::memcpy(&any.sin6_addr, &a6, sizeof a6);
    ASSERT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    sockaddr_in small{};
    int len = sizeof small;
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&small), &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    SOCKADDR_INET name{};
    len = sizeof name;
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&name), &len), 0);
    EXPECT_EQ(len, static_cast<int>(sizeof(sockaddr_in6)));
    EXPECT_EQ(name.si_family, AF_INET6);
    EXPECT_NE(name.Ipv6.sin6_port, 0);
    closesocket(s);
}

}  // namespace

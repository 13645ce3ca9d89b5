// Asynchronous name lookups, on the test resolver (see SocketTestUtil.h).
#include "net/WSocket.h"

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "SocketTestUtil.h"

using namespace nettest;

namespace {

struct LookupProbe {
    TWSocket s;
    std::vector<int> done;
    bool inCall = false;
    bool firedInsideCall = false;
    LookupProbe() {
        s.OnDnsLookupDone = [this](TObject*, std::uint16_t e) {
            done.push_back(e);
            firedInsideCall |= inCall;
        };
    }
    void Forward(const std::string& name) {
        inCall = true;
        s.ForwardDnsLookup(name);
        inCall = false;
    }
};

TEST(WSocketLookup, DottedAddressCompletesWithinTheCall) {
    LookupProbe p;
    p.Forward("10.1.2.3");
    EXPECT_EQ(p.done, std::vector<int>{0});
    EXPECT_TRUE(p.firedInsideCall);
    EXPECT_EQ(p.s.DnsResult(), "10.1.2.3");
    EXPECT_EQ(p.s.DnsResultList().Count(), 0);
}

TEST(WSocketLookup, NameCompletesLaterFromTheLoop) {
    LookupProbe p;
    p.Forward("peer.test");
    EXPECT_TRUE(p.done.empty());
    ASSERT_TRUE(PumpUntil([&] { return !p.done.empty(); }));
    EXPECT_FALSE(p.firedInsideCall);
    EXPECT_EQ(p.done, std::vector<int>{0});
    EXPECT_EQ(p.s.DnsResult(), "127.0.0.2");
    ASSERT_EQ(p.s.DnsResultList().Count(), 2);
    EXPECT_EQ(p.s.DnsResultList()[1], "127.0.0.3");
}

TEST(WSocketLookup, FailureCarriesThePlatformError) {
    LookupProbe p;
    p.Forward("nosuch.test");
    ASSERT_TRUE(PumpUntil([&] { return !p.done.empty(); }));
    EXPECT_EQ(p.done, std::vector<int>{11001});
    EXPECT_EQ(p.s.DnsResult(), "");
    EXPECT_EQ(p.s.DnsResultList().Count(), 0);
    EXPECT_EQ(WSocketErrorText(p.done[0]), "Host not found");
}

TEST(WSocketLookup, ASecondLookupCancelsTheFirstSilently) {
    LookupProbe p;
    p.Forward("nosuch.test");
    p.Forward("peer.test");
    ASSERT_TRUE(PumpUntil([&] { return !p.done.empty(); }));
    PumpFor(200);
    EXPECT_EQ(p.done, std::vector<int>{0});
    EXPECT_EQ(p.s.DnsResult(), "127.0.0.2");
}

TEST(WSocketLookup, AbortFiresInterruptedAndNothingElse) {
    LookupProbe p;
    p.s.AbortDnsLookup();  // nothing pending: nothing happens
    EXPECT_TRUE(p.done.empty());
    p.Forward("peer.test");
    p.s.AbortDnsLookup();
    EXPECT_EQ(p.done, std::vector<int>{10004});
    PumpFor(200);
    EXPECT_EQ(p.done, std::vector<int>{10004});
}

TEST(WSocketLookup, InvalidNamesAreRefused) {
    LookupProbe p;
    EXPECT_EQ(ErrorOf([&] { p.s.ForwardDnsLookup(""); }), "DNS lookup: invalid host name.");
    EXPECT_EQ(ErrorOf([&] { p.s.ReverseDnsLookup(std::string(257, '1')); }),
              "ReverseDnsLookup: Invalid host name.");
    EXPECT_TRUE(p.done.empty());
    // With OnError the lookup completes at once with 10022.
    int errors = 0;
    p.s.OnError = [&](TObject*) { ++errors; };
    p.Forward("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(p.done, std::vector<int>{10022});
}

TEST(WSocketLookup, ReverseLookupOfLoopback) {
    LookupProbe p;
    p.s.ReverseDnsLookup("127.0.0.1");
    EXPECT_TRUE(p.done.empty());
    ASSERT_TRUE(PumpUntil([&] { return !p.done.empty(); }));
    ASSERT_EQ(p.done.size(), 1u);
    if (p.done[0] == 0) {
        EXPECT_FALSE(p.s.DnsResult().empty());
        EXPECT_EQ(p.s.DnsResultList().Count(), 1);
    }
}

TEST(WSocketLookup, DestroyingTheSocketCancelsItsLookup) {
    int events = 0;
    {
        TWSocket s;
        s.OnDnsLookupDone = [&](TObject*, std::uint16_t) { ++events; };
        s.ForwardDnsLookup("peer.test");
    }
    PumpFor(200);
    EXPECT_EQ(events, 0);
}

// Closing the program after a lookup was cancelled on a slow name server:
// the last socket's end unloads the platform library at once, without
// waiting for the resolver (which keeps running on its own thread).
TEST(WSocketLookup, ClosingAfterACancelledSlowLookupWaitsForNoResolver) {
    auto release = std::make_shared<std::atomic<int>>(0);  // 1 once inside, 2 to answer
    winsock::seams::SetForwardResolver(
        [release](const std::string&, std::vector<winsock::u_long>& addrs, std::string&) {
            *release = 1;
            for (int i = 0; i < 300 && *release != 2; ++i) platform::Sleep(10);  // a 3 s resolver
            addrs = {winsock::htonl(0x7F000001)};
            *release = 3;
            return 0;
        });
    int told = 0;
    {
        TWSocket s;
        s.OnDnsLookupDone = [&told](TObject*, std::uint16_t) { ++told; };
        s.ForwardDnsLookup("slow.test");
        ASSERT_TRUE(PumpUntil([&] { return *release == 1; }));
        s.AbortDnsLookup();  // told as interrupted, at once
    }  // the last socket: the platform library is unloaded here
    EXPECT_EQ(SocketInstanceCount(), 0);
    EXPECT_EQ(*release, 1);  // still inside the resolver: nobody waited for it
    *release = 2;
    InstallTestResolver();
    EXPECT_TRUE(PumpUntil([&] { return *release == 3; }));
    PumpFor(100);
    EXPECT_EQ(told, 1);
}

}  // namespace

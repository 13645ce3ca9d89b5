// The stand-in's readiness rules as a table, without sockets: a scripted port
// answers the rules' questions and records what they post and watch.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/SocketReadiness.h"
#include "platform/WinSockCodes.h"

namespace {

using namespace platform::sys;
using namespace winsock;

struct ScriptedPort : ReadyPort {
    std::vector<std::string> posts;
    std::uint32_t watched = 0;
    int watchCalls = 0;
    int offers = 0;
    int pendingError = 0;
    int readable = 0;
    PeekResult peek;
    int dead = 0;
    int buffered = 0;
    int held = 0;

    void PostEvent(long event, int error) override {
        const char* name = event == FD_READ ? "READ" : event == FD_WRITE ? "WRITE" : event == FD_ACCEPT ? "ACCEPT"
                         : event == FD_CONNECT ? "CONNECT" : event == FD_CLOSE ? "CLOSE" : "?";
        posts.push_back(error ? std::string(name) + "/" + std::to_string(error) : name);
    }
    void Watch(std::uint32_t now, std::uint32_t) override {
        watched = now;
        ++watchCalls;
    }
    bool QueueOffer() override {
        ++offers;
        return true;
    }
    int PendingError() override { return pendingError; }
    int KernelReadable() override { return readable; }
    PeekResult PeekStream() override { return peek; }
    int DeadError() const override { return dead; }
    void NoteError(int error) override {
        if (!dead) dead = error;
    }
    int BufferedBytes() const override { return buffered; }
    int HeldBytes() const override { return held; }
    bool HeldRoom() const override { return held < 65536; }
};

constexpr long kAll = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
constexpr std::uint32_t kIn = kInterestIn, kOut = kInterestOut, kRdHup = kInterestRdHup, kHup = kInterestHup,
                        kErr = kInterestErr;

struct Row {
    const char* name;
    bool stream;
    // Brings the handle to the state the row starts from; the port may be scripted too.
    std::function<void(SocketReadiness&, ScriptedPort&)> setup;
    std::uint32_t kernelEvents;  // what epoll reports next (0 = none)
    std::vector<std::string> posts;
    std::uint32_t interest;      // what the kernel watches afterwards
};

void Connected(SocketReadiness& r, ScriptedPort&) {
    r.AcceptedConnection();
    r.Select(kAll);
}

TEST(ReadinessRules, EveryEventAsATable) {
    const std::vector<Row> rows = {
        {"select on a connected stream reports write and watches both ways", true, Connected, kOut,
         {"WRITE"}, kReadInterest | kOut},
        {"write readiness nobody asked for is dropped", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.KernelReady(kOut); p.posts.clear(); },
         kOut, {}, kReadInterest},
        {"a blocked send asks for write readiness again", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.KernelReady(kOut); r.KernelReady(kOut);
                                                   r.SendBlocked(); p.posts.clear(); },
         kOut, {"WRITE"}, kReadInterest | kOut},
        {"a full held block keeps write readiness owed", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.KernelReady(kOut); r.SendBlocked();
                                                   p.held = 65536; p.posts.clear(); },
         kOut, {}, kReadInterest | kOut},
        {"data is told once until the program reads", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.KernelReady(kIn); p.posts.clear(); },
         kIn, {}, kOut},
        {"reading re-arms the read notification", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.KernelReady(kIn); r.Receiving(); p.posts.clear(); },
         kIn, {"READ"}, kReadInterest | kOut},
        {"the peer's end with no bytes left is a close, and nothing more is watched", true,
         [](SocketReadiness&r, ScriptedPort& p) { Connected(r, p); p.peek = {PeekResult::Closed}; },
         kIn | kRdHup, {"CLOSE"}, 0},
        {"the peer's end with bytes still unread is data first", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); p.readable = 5; },
         kIn | kRdHup, {"READ"}, kReadInterest | kOut},
        {"read-ahead bytes count as data at the peer's end", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); p.buffered = 5; },
         kIn | kRdHup | kHup, {"READ"}, kReadInterest | kOut},
        {"a reset is told with its error", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); p.pendingError = WSAECONNRESET;
                                                  p.peek = {PeekResult::Failed, WSAECONNRESET}; },
         kErr | kHup, {"CLOSE/10054"}, 0},
        {"a close already told is told again to a new selection", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); p.peek = {PeekResult::Closed}; r.KernelReady(kRdHup);
                                                   r.Select(0); p.posts.clear(); r.Select(kAll); },
         0, {"CLOSE"}, kOut},
        {"a connection that completes is told once, then write", true,
         [](SocketReadiness& r, ScriptedPort&) { r.Select(kAll); r.Connecting(); },
         kOut, {"CONNECT", "WRITE"}, kReadInterest | kOut},
        {"a refused connection is told with its error and unwatched", true,
         [](SocketReadiness& r, ScriptedPort& p) { r.Select(kAll); r.Connecting(); p.pendingError = WSAECONNREFUSED; },
         kOut | kErr | kHup, {"CONNECT/10061"}, 0},
        {"nothing is told before the connection completes", true,
         [](SocketReadiness& r, ScriptedPort&) { r.Select(kAll); r.Connecting(); }, kIn, {}, kOut},
        {"a listener tells one arrival until the program accepts", true,
         [](SocketReadiness& r, ScriptedPort& p) { r.Select(kAll); r.Listening(); r.KernelReady(kIn); p.posts.clear(); },
         kIn, {}, 0},
        {"accepting re-arms the arrival", true,
         [](SocketReadiness& r, ScriptedPort& p) { r.Select(kAll); r.Listening(); r.KernelReady(kIn); r.Accepted();
                                                   p.posts.clear(); },
         kIn, {"ACCEPT"}, kIn},
        {"an unselected handle watches only for its held bytes", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); p.held = 10; r.Select(0); r.HeldBlocked(); },
         kIn | kOut, {}, kOut},
        {"an unselected handle with nothing held is unwatched", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.Select(0); }, kIn, {}, 0},
        {"an empty datagram is still data", false,
         [](SocketReadiness& r, ScriptedPort&) { r.Select(kAll); }, kIn, {"READ"}, kReadInterest | kOut},
        {"a handle being closed is unwatched", true,
         [](SocketReadiness& r, ScriptedPort& p) { Connected(r, p); r.Closing(); }, 0, {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedPort port;
        SocketReadiness rules(port, row.stream);
        row.setup(rules, port);
        if (row.kernelEvents) {
            port.posts.clear();
            rules.KernelReady(row.kernelEvents);
        }
        EXPECT_EQ(port.posts, row.posts);
        EXPECT_EQ(rules.Interest(), row.interest);
        EXPECT_EQ(port.watched, row.interest);
    }
}

// Bytes read ahead are told by a queued offer, one at a time, and only while
// the program asked for reads.
TEST(ReadinessRules, ReadAheadBytesAreOfferedOnce) {
    ScriptedPort port;
    SocketReadiness rules(port, true);
    Connected(rules, port);
    rules.KernelReady(kIn);  // told: READ
    rules.Receiving();
    port.buffered = 100;
    rules.Buffered();
    rules.Buffered();
    EXPECT_EQ(port.offers, 1);
    port.posts.clear();
    rules.OfferDue();
    EXPECT_EQ(port.posts, std::vector<std::string>{"READ"});
    rules.Buffered();  // not re-armed: nothing offered
    EXPECT_EQ(port.offers, 1);
    rules.Receiving();
    rules.Select(FD_WRITE);  // reads no longer selected
    rules.Buffered();
    EXPECT_EQ(port.offers, 1);
}

}  // namespace

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PumpHelpers.h"
#include "platform/ForeignLoopWait.h"
#include "platform/Messages.h"

using namespace platform;

namespace {

struct Recorder {
    std::vector<std::pair<UINT, WPARAM>> got;
    HWND hwnd = CreateHiddenWindow([this](HWND, UINT m, WPARAM w, LPARAM) {
        got.emplace_back(m, w);
        return LRESULT(0);
    });
    ~Recorder() { DestroyWindow(hwnd); }
};

TEST(MessageLoop, DispatchesInPostingOrderAndDropsMessagesOfDestroyedWindows) {
    Recorder a;
    auto* b = new Recorder;
    HWND bh = b->hwnd;
    for (WPARAM i = 0; i < 5; ++i) {
        PostMessage(a.hwnd, WM_USER + 1, i, 0);
        PostMessage(bh, WM_USER + 2, i, 0);
    }
    delete b;  // its five messages must vanish
    EXPECT_FALSE(IsWindow(bh));
    EXPECT_FALSE(PostMessage(bh, WM_USER, 0, 0));
    ProcessMessages();
    ASSERT_EQ(a.got.size(), 5u);
    for (WPARAM i = 0; i < 5; ++i) EXPECT_EQ(a.got[i].second, i);
    EXPECT_EQ(PendingMessageCount(), 0u);
}

TEST(MessageLoop, ReentrantPumpingDispatchesEachMessageOnce) {
    std::vector<int> order;
    HWND h = 0;
    h = CreateHiddenWindow([&](HWND, UINT, WPARAM w, LPARAM) {
        order.push_back(static_cast<int>(w));
        if (w == 1) {
            PostMessage(h, WM_USER, 4, 0);
            ProcessMessages();  // nested: runs 2, 3 and 4 here
            order.push_back(-1);
        }
        return LRESULT(0);
    });
    for (int i = 1; i <= 3; ++i) PostMessage(h, WM_USER, static_cast<WPARAM>(i), 0);
    ProcessMessages();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, -1}));
    DestroyWindow(h);
}

TEST(MessageLoop, WindowMayDestroyItselfInsideItsProcedure) {
    int calls = 0;
    HWND h = 0;
    h = CreateHiddenWindow([&](HWND self, UINT, WPARAM, LPARAM) {
        ++calls;
        DestroyWindow(self);
        return LRESULT(0);
    });
    PostMessage(h, WM_USER, 0, 0);
    PostMessage(h, WM_USER, 1, 0);
    ProcessMessages();
    EXPECT_EQ(calls, 1);
}

TEST(MessageLoop, PostingFromOtherThreadsWakesTheLoopAndKeepsEachThreadsOrder) {
    std::vector<std::pair<int, int>> got;  // (thread, sequence)
    HWND h = CreateHiddenWindow([&](HWND, UINT, WPARAM w, LPARAM l) {
        got.emplace_back(static_cast<int>(w), static_cast<int>(l));
        return LRESULT(0);
    });
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([=] {
            for (int i = 0; i < kEach; ++i) PostMessage(h, WM_USER, static_cast<WPARAM>(t), i);
        });
    ASSERT_TRUE(PumpUntil([&] { return got.size() == kThreads * kEach; }));
    for (auto& th : threads) th.join();
    std::vector<int> next(kThreads, 0);
    for (auto [t, i] : got) EXPECT_EQ(i, next[static_cast<size_t>(t)]++);
    DestroyWindow(h);
}

// (The wake-ups an idle wait costs are in the platform benchmark.)
TEST(MessageLoop, WaitReturnsAtOnceWhenMessagesAreQueued) {
    Recorder r;
    PostMessage(r.hwnd, WM_USER, 0, 0);
    EXPECT_TRUE(WaitMessage(10000));
    ProcessMessages();
    EXPECT_EQ(r.got.size(), 1u);
}

// An idle message waits for the queue to run dry, however long a chain of
// messages keeps it busy; the same one posted twice comes once; it wakes a
// loop that sleeps on its descriptor, and goes with its window.
TEST(MessageLoop, IdleMessageComesOnceTheQueueHasRunDry) {
    Recorder r;
    int chain = 0;
    HWND chainer = CreateHiddenWindow([&](HWND h, UINT, WPARAM, LPARAM) {
        if (++chain == 1) {
            EXPECT_TRUE(PostIdleMessage(r.hwnd, WM_USER + 7, 1, 0));
            EXPECT_TRUE(PostIdleMessage(r.hwnd, WM_USER + 7, 1, 0));
            EXPECT_TRUE(Dispatching());
        }
        if (chain < 100) PostMessage(h, WM_USER, 0, 0);
        else PostMessage(r.hwnd, WM_USER + 8, 0, 0);
        return LRESULT(0);
    });
    PostMessage(chainer, WM_USER, 0, 0);
    ProcessMessages();
    EXPECT_EQ(chain, 100);
    ASSERT_EQ(r.got.size(), 2u);
    EXPECT_EQ(r.got[0].first, WM_USER + 8u);  // the chain's last message came first
    EXPECT_EQ(r.got[1].first, WM_USER + 7u);
    EXPECT_FALSE(Dispatching());

    EXPECT_TRUE(PostIdleMessage(r.hwnd, WM_USER + 9, 0, 0));  // posted outside any procedure
    EXPECT_TRUE(PumpLikeForeignLoop([&] { return r.got.size() == 3; }));

    auto* gone = new Recorder;
    const HWND goneHwnd = gone->hwnd;
    EXPECT_TRUE(PostIdleMessage(goneHwnd, WM_USER + 7, 0, 0));
    delete gone;
    EXPECT_FALSE(PostIdleMessage(goneHwnd, WM_USER + 7, 0, 0));
    PumpFor(20);
    EXPECT_EQ(r.got.size(), 3u);
    DestroyWindow(chainer);
}

TEST(MessageLoop, AWorkerThreadHasItsOwnLoop) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        Recorder r;
        PostMessage(r.hwnd, WM_USER, 7, 0);
        PumpUntil([&] { return !r.got.empty(); }, 2000);
        done = !r.got.empty() && r.got[0].second == 7;
    });
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(PendingMessageCount(), 0u);  // nothing leaked onto this thread
}

TEST(MessageLoop, OneShotAndRepeatingTimers) {
    Recorder r;
    SetTimer(r.hwnd, 1, 20, false);
    SetTimer(r.hwnd, 2, 10, true);
    auto count = [&](WPARAM id) {
        int n = 0;
        for (auto& g : r.got) n += g.first == WM_TIMER && g.second == id;
        return n;
    };
    ASSERT_TRUE(PumpUntil([&] { return count(2) >= 5; }));
    EXPECT_EQ(count(1), 1);
    EXPECT_TRUE(KillTimer(r.hwnd, 2));
    EXPECT_FALSE(KillTimer(r.hwnd, 1));  // a one-shot timer is gone once fired
    ProcessMessages();
    size_t seen = r.got.size();
    PumpFor(60);
    EXPECT_EQ(r.got.size(), seen);
}

TEST(MessageLoop, TimersOfADestroyedWindowStop) {
    auto* r = new Recorder;
    SetTimer(r->hwnd, 1, 5, true);
    delete r;
    LoopCounters before = GetLoopCounters();
    PumpFor(40);
    EXPECT_EQ(GetLoopCounters().dispatched, before.dispatched);
}

TEST(MessageLoop, QuitMessageSetsTerminatedOrIsReturnedByPeek) {
    SetTerminated(false);
    PostQuitMessage(3);
    MSG m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(Terminated());
    PostQuitMessage(0);
    ProcessMessages();
    EXPECT_TRUE(Terminated());
    SetTerminated(false);
}

TEST(MessageLoop, EndlessPostingChainStillReturnsAndLeavesTheRestQueued) {
    HWND h = 0;
    long n = 0;
    h = CreateHiddenWindow([&](HWND, UINT, WPARAM, LPARAM) {
        ++n;
        PostMessage(h, WM_USER, 0, 0);
        return LRESULT(0);
    });
    PostMessage(h, WM_USER, 0, 0);
    ProcessMessages();  // must come back
    EXPECT_GT(n, 0);
    EXPECT_EQ(PendingMessageCount(), 1u);
    DestroyWindow(h);
    EXPECT_EQ(PendingMessageCount(), 0u);
}

TEST(MessageLoop, AppHooksReplaceProcessAndWait) {
    int pumps = 0, waits = 0;
    SetAppHooks({[&] { ++pumps; ProcessMessages(); }, [&](int ms) { ++waits; WaitMessage(ms); }});
    AppProcessMessages();
    AppWaitForEvents(1);
    SetAppHooks({});
    EXPECT_EQ(pumps, 1);
    EXPECT_EQ(waits, 1);
}

}  // namespace

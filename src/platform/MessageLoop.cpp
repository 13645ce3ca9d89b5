#include "platform/MessageLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/LoopTimers.h"

namespace platform {
namespace {

constexpr std::uint64_t kWakeKey = ~std::uint64_t(0);
constexpr std::uint64_t kTimerKey = ~std::uint64_t(0) - 1;
// Messages dispatched between two polls of the readiness set.
constexpr unsigned kHarvestEvery = 64;
// A chain of handlers that keeps posting is cut after this many messages
// beyond those queued at entry, so that a foreign loop gets its turn.
constexpr std::size_t kDispatchBudget = 4096;

struct QueuedMessage {
    MSG msg;
    std::function<void()> task;  // set for tasks; msg.hwnd gives their liveness
};

struct Window {
    HWND handle = 0;
    WindowProc proc;
};

// The part of a loop other threads may touch: the queue and its wake-up.
class LoopCore {
public:
    LoopCore() {
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd < 0) throw std::runtime_error("eventfd failed");
    }
    ~LoopCore() { ::close(wakeFd); }

    void Push(QueuedMessage&& m) {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(m));
        ++posted;
        SignalLocked();
    }

    bool Pop(QueuedMessage& out) {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty()) return false;
        out = std::move(queue.front());
        queue.pop_front();
        return true;
    }

    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex);
        return queue.size();
    }

    template <class Pred>
    void RemoveIf(Pred pred) {
        std::lock_guard<std::mutex> lock(mutex);
        queue.erase(std::remove_if(queue.begin(), queue.end(), pred), queue.end());
    }

    // The wake descriptor stays readable while messages are queued, so that a
    // foreign loop watching the epoll set keeps being told there is work. It
    // is drained only once the queue is empty.
    void DrainIfEmpty() {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty() && signaled) {
            std::uint64_t v;
            ++detail::tSystemCalls;
            while (::read(wakeFd, &v, sizeof v) < 0 && errno == EINTR) {}
            signaled = false;
        }
    }

    // Makes the descriptor readable with nothing queued: idle work is due.
    void Wake() {
        std::lock_guard<std::mutex> lock(mutex);
        SignalLocked();
    }

    // Keeps the descriptor readable after a dispatch round was cut short.
    void Resignal() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!queue.empty()) SignalLocked();
    }

    int wakeFd = -1;
    std::uint64_t posted = 0;

private:
    void SignalLocked() {
        if (signaled) return;
        std::uint64_t one = 1;
        ++detail::tSystemCalls;
        while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {}
        signaled = true;
    }

    std::mutex mutex;
    std::deque<QueuedMessage> queue;
    bool signaled = false;
};

// Process-wide: which loop each window belongs to, for posting from any thread.
struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, std::shared_ptr<LoopCore>> owners;
    std::atomic<HWND> nextHandle{1};
};

Registry& GetRegistry() {
    static Registry* r = new Registry;  // never destroyed: threads may post during exit
    return *r;
}

std::atomic<bool> gTerminated{false};

class MessageLoop;
// The calling thread's loop, if it has one yet.
thread_local MessageLoop* tLoop = nullptr;

class MessageLoop {
public:
    MessageLoop() : core(std::make_shared<LoopCore>()) {
        epollFd = ::epoll_create1(EPOLL_CLOEXEC);
        if (epollFd < 0) throw std::runtime_error("epoll creation failed");
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kWakeKey;
        ::epoll_ctl(epollFd, EPOLL_CTL_ADD, core->wakeFd, &ev);
        ev.data.u64 = kTimerKey;
        ::epoll_ctl(epollFd, EPOLL_CTL_ADD, timers.Descriptor(), &ev);
    }

    ~MessageLoop() {
        tLoop = nullptr;
        std::lock_guard<std::mutex> lock(GetRegistry().mutex);
        for (auto& [handle, w] : windows) GetRegistry().owners.erase(handle);
        ::close(epollFd);
    }

    HWND CreateWindow(WindowProc proc) {
        auto& reg = GetRegistry();
        HWND h = reg.nextHandle.fetch_add(1);
        auto w = std::make_shared<Window>();
        w->handle = h;
        w->proc = std::move(proc);
        windows.emplace(h, std::move(w));
        std::lock_guard<std::mutex> lock(reg.mutex);
        reg.owners.emplace(h, core);
        return h;
    }

    bool DestroyWindow(HWND h) {
        auto it = windows.find(h);
        if (it == windows.end()) return false;
        windows.erase(it);  // a running procedure keeps its own reference
        {
            auto& reg = GetRegistry();
            std::lock_guard<std::mutex> lock(reg.mutex);
            reg.owners.erase(h);
        }
        core->RemoveIf([h](const QueuedMessage& m) { return m.msg.hwnd == h; });
        std::erase_if(idleMessages, [h](const QueuedMessage& m) { return m.msg.hwnd == h; });
        timers.RemoveWindow(h);
        return true;
    }

    bool HasWindow(HWND h) const { return windows.count(h) != 0; }

    LRESULT Dispatch(const QueuedMessage& m) {
        if (m.msg.hwnd == 0 && !m.task) return 0;
        // A task of the loop's own (no window) runs as long as the loop does.
        auto it = windows.find(m.msg.hwnd);
        if (m.msg.hwnd != 0 && it == windows.end()) return 0;
        std::shared_ptr<Window> keep = m.msg.hwnd != 0 ? it->second : nullptr;
        ++dispatched;
        struct Nesting {
            MessageLoop& loop;
            explicit Nesting(MessageLoop& l) : loop(l) {
                loop.deepestNesting = std::max(loop.deepestNesting, ++loop.nesting);
            }
            ~Nesting() { --loop.nesting; }
        } nestingScope(*this);
        if (m.task) {
            m.task();
            return 0;
        }
        return keep->proc(m.msg.hwnd, m.msg.message, m.msg.wParam, m.msg.lParam);
    }

    // Turns ready descriptors into messages; waits at most timeoutMs.
    void Harvest(int timeoutMs) {
        ++harvests;
        epoll_event events[64];
        int n;
        for (;;) {
            ++detail::tSystemCalls;
            n = ::epoll_wait(epollFd, events, 64, timeoutMs);
            if (n >= 0 || errno != EINTR) break;
        }
        if (timeoutMs != 0) ++wakeups;
        for (int i = 0; i < n; ++i) {
            std::uint64_t key = events[i].data.u64;
            if (key == kWakeKey) continue;  // drained once the queue is empty
            if (key == kTimerKey) {
                timers.Fire([this](const MSG& m) { core->Push(QueuedMessage{m, nullptr}); });
                continue;
            }
            auto it = watches.find(key);
            if (it != watches.end()) it->second->OnIoReady(key, events[i].events);
        }
    }

    void ProcessMessages() {
        // Readiness is polled every kHarvestEvery messages anyway.
        if (core->Size() == 0) Harvest(0);
        std::size_t budget = core->Size() + kDispatchBudget;
        std::size_t count = 0;
        QueuedMessage m;
        do {
            while (count < budget && core->Pop(m)) {
                if (m.msg.hwnd == 0 && m.msg.message == WM_QUIT && !m.task) {
                    gTerminated = true;
                    continue;
                }
                Dispatch(m);
                m = QueuedMessage{};
                if (++count % kHarvestEvery == 0) Harvest(0);
            }
        } while (count < budget && QueueIdleMessages());
        if (count >= budget) core->Resignal();
        else core->DrainIfEmpty();
    }

    bool PostIdleMessage(const MSG& msg) {
        if (!HasWindow(msg.hwnd)) return false;
        for (const QueuedMessage& m : idleMessages)
            if (!m.task && m.msg.hwnd == msg.hwnd && m.msg.message == msg.message && m.msg.wParam == msg.wParam &&
                m.msg.lParam == msg.lParam)
                return true;
        AddIdle(QueuedMessage{msg, nullptr});
        return true;
    }

    void PostIdleTask(std::function<void()> task) { AddIdle(QueuedMessage{MSG{}, std::move(task)}); }

    // The queue has run dry: the idle messages join it. True when there were any.
    bool QueueIdleMessages() {
        if (idleMessages.empty()) return false;
        std::vector<QueuedMessage> due;
        due.swap(idleMessages);
        for (QueuedMessage& m : due) core->Push(std::move(m));
        return true;
    }

    bool PeekMessage(MSG& out) {
        if (core->Size() == 0) Harvest(0);
        QueuedMessage m;
        do {
            while (core->Pop(m)) {
                if (!m.task) {
                    out = m.msg;
                    core->DrainIfEmpty();
                    return true;
                }
                Dispatch(m);  // tasks are internal: run them in order and go on
            }
        } while (QueueIdleMessages());
        core->DrainIfEmpty();
        return false;
    }

    bool WaitMessage(int timeoutMs) {
        if (core->Size() > 0 || QueueIdleMessages()) return true;
        Harvest(timeoutMs);
        return core->Size() > 0;
    }

    void Watch(int fd, std::uint64_t key, std::uint32_t ev, detail::IoHandler* handler,
               bool alreadyWatched) {
        epoll_event e{};
        e.events = ev;
        e.data.u64 = key;
        if (ev == 0) {
            ++detail::tSystemCalls;
            ::epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
            watches.erase(key);
            return;
        }
        watches[key] = handler;
        ++detail::tSystemCalls;
        if (::epoll_ctl(epollFd, alreadyWatched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &e) < 0) {
            // The caller's idea of the registration may be stale (descriptor
            // closed and reopened); fall back to the other operation.
            ::epoll_ctl(epollFd, alreadyWatched ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &e);
        }
    }

    std::shared_ptr<LoopCore> core;
    int epollFd = -1;
    int nesting = 0;  // procedures running now
    int deepestNesting = 0;
    std::uint64_t wakeups = 0;
    std::uint64_t dispatched = 0;
    std::uint64_t harvests = 0;
    AppHooks hooks;

    detail::LoopTimers timers;

private:
    // Idle messages and the loop's own idle tasks: one list, queued once the
    // queue has run dry. A sleeping loop (ours, or a foreign one watching
    // the descriptor) is woken for the first.
    std::vector<QueuedMessage> idleMessages;

    void AddIdle(QueuedMessage&& m) {
        idleMessages.push_back(std::move(m));
        if (idleMessages.size() == 1) core->Wake();
    }

    std::unordered_map<HWND, std::shared_ptr<Window>> windows;
    std::unordered_map<std::uint64_t, detail::IoHandler*> watches;
};

MessageLoop& CurrentLoop() {
    thread_local MessageLoop loop;
    tLoop = &loop;
    return loop;
}

std::shared_ptr<LoopCore> OwnerOf(HWND hwnd) {
    auto& reg = GetRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.owners.find(hwnd);
    return it == reg.owners.end() ? nullptr : it->second;
}

}  // namespace

HWND CreateHiddenWindow(WindowProc proc) { return CurrentLoop().CreateWindow(std::move(proc)); }

bool DestroyWindow(HWND hwnd) { return CurrentLoop().DestroyWindow(hwnd); }

bool IsWindow(HWND hwnd) { return hwnd != 0 && OwnerOf(hwnd) != nullptr; }

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // A post to a window of the calling thread, the common case, needs no registry.
    if (tLoop && tLoop->HasWindow(hwnd)) {
        tLoop->core->Push(QueuedMessage{MSG{hwnd, msg, wParam, lParam}, nullptr});
        return true;
    }
    auto core = OwnerOf(hwnd);
    if (!core) return false;
    core->Push(QueuedMessage{MSG{hwnd, msg, wParam, lParam}, nullptr});
    return true;
}

void RemoveMessages(HWND hwnd, UINT msg, bool matchWParam, WPARAM wParam) {
    CurrentLoop().core->RemoveIf([&](const QueuedMessage& m) {
        return !m.task && m.msg.hwnd == hwnd && m.msg.message == msg &&
               (!matchWParam || m.msg.wParam == wParam);
    });
}

bool Dispatching() { return CurrentLoop().nesting > 0; }

bool PostIdleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return CurrentLoop().PostIdleMessage(MSG{hwnd, msg, wParam, lParam});
}

void PostQuitMessage(int exitCode) {
    CurrentLoop().core->Push(
        QueuedMessage{MSG{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0}, nullptr});
}

bool PeekMessage(MSG& msg) { return CurrentLoop().PeekMessage(msg); }

LRESULT DispatchMessage(const MSG& msg) { return CurrentLoop().Dispatch(QueuedMessage{msg, nullptr}); }

void ProcessMessages() { CurrentLoop().ProcessMessages(); }

bool WaitMessage(int timeoutMs) { return CurrentLoop().WaitMessage(timeoutMs); }

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, unsigned elapseMs, bool repeat) {
    auto& loop = CurrentLoop();
    return loop.HasWindow(hwnd) ? loop.timers.Set(hwnd, id, elapseMs, repeat) : 0;
}

bool KillTimer(HWND hwnd, UINT_PTR id) { return CurrentLoop().timers.Kill(hwnd, id); }

int LoopDescriptor() { return CurrentLoop().epollFd; }

LoopCounters GetLoopCounters() {
    auto& loop = CurrentLoop();
    LoopCounters c;
    c.wakeups = loop.wakeups;
    c.dispatched = loop.dispatched;
    c.posted = loop.core->posted;
    c.harvests = loop.harvests;
    c.systemCalls = detail::tSystemCalls;
    c.socketNotifications = detail::tSocketNotifications;
    c.deepestNesting = loop.deepestNesting;
    return c;
}

void ResetDeepestNesting() {
    auto& loop = CurrentLoop();
    loop.deepestNesting = loop.nesting;
}

std::size_t PendingMessageCount() { return CurrentLoop().core->Size(); }

bool Terminated() { return gTerminated.load(); }
void SetTerminated(bool value) { gTerminated = value; }

void SetAppHooks(AppHooks hooks) { CurrentLoop().hooks = std::move(hooks); }

void AppProcessMessages() {
    auto& loop = CurrentLoop();
    if (loop.hooks.processMessages) loop.hooks.processMessages();
    else loop.ProcessMessages();
}

void AppWaitForEvents(int timeoutMs) {
    auto& loop = CurrentLoop();
    if (loop.core->Size() > 0) return;
    if (loop.hooks.waitForEvents) loop.hooks.waitForEvents(timeoutMs);
    else loop.WaitMessage(timeoutMs);
}

std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(detail::MonotonicMs()); }
std::uint64_t GetTickCount64() { return detail::MonotonicMs(); }
void Sleep(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace detail {

void WatchDescriptor(int fd, std::uint64_t key, std::uint32_t epollEvents, IoHandler* handler,
                     bool alreadyWatched) {
    CurrentLoop().Watch(fd, key, epollEvents, handler, alreadyWatched);
}

bool IsWindowOfThisThread(HWND hwnd) { return CurrentLoop().HasWindow(hwnd); }

void PostIdleTask(std::function<void()> task) { CurrentLoop().PostIdleTask(std::move(task)); }

bool PostTask(HWND hwnd, std::function<void()> task) {
    auto core = OwnerOf(hwnd);
    if (!core) return false;
    core->Push(QueuedMessage{MSG{hwnd, 0, 0, 0}, std::move(task)});
    return true;
}

}  // namespace detail
}  // namespace platform

#include "platform/SendDrain.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::sys {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> gFailNextThread{false};

// As long as a peer may take nothing before the bytes are given up.
constexpr auto kStallLimit = std::chrono::seconds(kCloseStallSeconds);
// At exit the process waits for drains that make progress, never longer
// than this for one that makes none.
constexpr auto kExitStallLimit = std::chrono::seconds(5);
constexpr int kPollSliceMs = 50;

struct Drain {
    int fd;
    std::unique_ptr<char[]> bytes;
    int pos;
    int len;
    Clock::time_point lastProgress;
};

class Drainer {
public:
    void Add(Drain d) {
        // What the kernel takes at once needs no thread: most closes end here.
        if (Step(d, POLLOUT, Clock::now()) == false) {
            ::close(d.fd);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(std::move(d));
        if (!exitHookSet) {
            exitHookSet = true;
            std::atexit([] { Get().WaitAtExit(); });
        }
        if (running) return;
        // The thread ends once it has nothing left; a later drain starts another.
        // One that cannot start leaves the bytes pending: the next drain tries
        // again, and at exit they are sent from the exiting thread.
        if (gFailNextThread.exchange(false)) return;
        try {
            std::thread([this] { Run(); }).detach();
            running = true;
        } catch (const std::system_error&) {
        }
    }

    int Pending() {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(pending.size());
    }

    static Drainer& Get() {
        static Drainer* d = new Drainer;  // used by a detached thread until the process ends
        return *d;
    }

private:
    void Run() {
        std::vector<Drain> drains;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (auto& d : pending) drains.push_back(std::move(d));
                pending.clear();
                if (drains.empty()) {
                    running = false;
                    progress.notify_all();
                    return;
                }
            }
            std::vector<pollfd> fds;
            for (const Drain& d : drains) fds.push_back({d.fd, POLLOUT, 0});
            ::poll(fds.data(), fds.size(), kPollSliceMs);
            const auto now = Clock::now();
            for (std::size_t i = drains.size(); i-- > 0;) {
                if (Step(drains[i], fds[i].revents, now)) continue;
                ::close(drains[i].fd);
                drains.erase(drains.begin() + static_cast<std::ptrdiff_t>(i));
            }
            progress.notify_all();
        }
    }

    // False once the drain is over, sent or given up.
    bool Step(Drain& d, short revents, Clock::time_point now) {
        if (revents & (POLLOUT | POLLERR | POLLHUP)) {
            while (d.pos < d.len) {
                ssize_t r = ::send(d.fd, d.bytes.get() + d.pos, static_cast<size_t>(d.len - d.pos),
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
                if (r > 0) {
                    d.pos += static_cast<int>(r);
                    d.lastProgress = now;
                    moved.fetch_add(static_cast<std::uint64_t>(r));
                    continue;
                }
                if (r < 0 && errno == EINTR) continue;
                if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                return false;  // the connection is gone
            }
            if (d.pos == d.len) return false;
        }
        return now - d.lastProgress < kStallLimit;
    }

    void WaitAtExit() {
        std::unique_lock<std::mutex> lock(mutex);
        if (!running && !pending.empty()) {
            running = true;
            lock.unlock();
            Run();  // no thread could be started: this one drains
            return;
        }
        auto last = Clock::now();
        std::uint64_t seen = moved.load();
        while (running) {
            progress.wait_for(lock, std::chrono::milliseconds(kPollSliceMs));
            if (moved.load() != seen) {
                seen = moved.load();
                last = Clock::now();
            }
            if (Clock::now() - last > kExitStallLimit) return;
        }
    }

    std::mutex mutex;
    std::condition_variable progress;
    std::vector<Drain> pending;
    std::atomic<std::uint64_t> moved{0};
    bool running = false;
    bool exitHookSet = false;
};

}  // namespace

void FailNextDrainThread() { gFailNextThread = true; }

int PendingDrains() { return Drainer::Get().Pending(); }

void DrainAndClose(int fd, std::unique_ptr<char[]> bytes, int pos, int len) {
    Drainer::Get().Add(Drain{fd, std::move(bytes), pos, len, Clock::now()});
}

}  // namespace platform::sys

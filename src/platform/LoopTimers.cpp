#include "platform/LoopTimers.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <sys/timerfd.h>
#include <unistd.h>

#include "platform/MessageLoop.h"

namespace platform::detail {

std::uint64_t MonotonicMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

LoopTimers::LoopTimers() {
    timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd < 0) throw std::runtime_error("timerfd creation failed");
}

LoopTimers::~LoopTimers() { ::close(timerFd); }

UINT_PTR LoopTimers::Set(HWND hwnd, UINT_PTR id, unsigned ms, bool repeat) {
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    Timer t{hwnd, id, MonotonicMs() + ms, ms, repeat};
    if (it != timers.end()) *it = t;
    else timers.push_back(t);
    Arm();
    return id == 0 ? 1 : id;
}

bool LoopTimers::Kill(HWND hwnd, UINT_PTR id) {
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers.end()) return false;
    timers.erase(it);
    Arm();
    return true;
}

void LoopTimers::RemoveWindow(HWND hwnd) {
    if (std::erase_if(timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; }) > 0) Arm();
}

void LoopTimers::Fire(const std::function<void(const MSG&)>& post) {
    std::uint64_t expirations;
    ++tSystemCalls;
    while (::read(timerFd, &expirations, sizeof expirations) > 0) {}
    std::uint64_t now = MonotonicMs();
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->due <= now) {
            post(MSG{it->hwnd, WM_TIMER, it->id, 0});
            if (it->repeat) {
                it->due += std::max(1u, it->interval);
                if (it->due <= now) it->due = now + std::max(1u, it->interval);
                ++it;
            } else {
                it = timers.erase(it);
            }
        } else {
            ++it;
        }
    }
    Arm();
}

void LoopTimers::Arm() {
    itimerspec spec{};
    if (!timers.empty()) {
        std::uint64_t due = timers.front().due;
        for (const Timer& t : timers) due = std::min(due, t.due);
        // Absolute monotonic time; the steady clock is CLOCK_MONOTONIC here.
        spec.it_value.tv_sec = static_cast<time_t>(due / 1000);
        spec.it_value.tv_nsec = static_cast<long>((due % 1000) * 1000000);
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) spec.it_value.tv_nsec = 1;
    }
    ::timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

}  // namespace platform::detail

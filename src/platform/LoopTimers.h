// Internal to the message loop: a thread's window timers over one timerfd,
// armed for the earliest one due.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Messages.h"

namespace platform::detail {

// Monotonic milliseconds, the clock timers and GetTickCount64 share.
std::uint64_t MonotonicMs();

class LoopTimers {
public:
    LoopTimers();
    ~LoopTimers();
    LoopTimers(const LoopTimers&) = delete;
    LoopTimers& operator=(const LoopTimers&) = delete;

    // The descriptor the loop watches: readable when a timer is due.
    int Descriptor() const { return timerFd; }
    UINT_PTR Set(HWND hwnd, UINT_PTR id, unsigned ms, bool repeat);
    bool Kill(HWND hwnd, UINT_PTR id);
    void RemoveWindow(HWND hwnd);
    // Called when the descriptor is readable: hands each due timer's WM_TIMER to post.
    void Fire(const std::function<void(const MSG&)>& post);

private:
    struct Timer {
        HWND hwnd = 0;
        UINT_PTR id = 0;
        std::uint64_t due = 0;  // monotonic ms
        unsigned interval = 0;
        bool repeat = false;
    };

    void Arm();

    int timerFd = -1;
    std::vector<Timer> timers;
};

}  // namespace platform::detail

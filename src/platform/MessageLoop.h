// Internal to the platform stand-in: the per-thread message loop behind
// Messages.h, and the hooks the socket and lookup code use to reach it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Messages.h"

namespace platform::detail {

// Receives readiness of descriptors registered with WatchDescriptor. Runs on
// the loop's own thread, while the loop harvests readiness.
class IoHandler {
public:
    virtual ~IoHandler() = default;
    virtual void OnIoReady(std::uint64_t key, std::uint32_t epollEvents) = 0;
};

// Registration of a descriptor in the calling thread's loop; key identifies it
// to the handler and must never be reused. events = 0 removes it.
void WatchDescriptor(int fd, std::uint64_t key, std::uint32_t epollEvents, IoHandler* handler,
                     bool alreadyWatched);

// Runs task on the calling thread once its queue has run dry, with the idle
// messages (PostIdleMessage): the one place work gathered over a round of
// messages is finished. A loop that sleeps (ours, or a foreign one watching
// LoopDescriptor) is woken for it.
void PostIdleTask(std::function<void()> task);

// What LoopCounters reports of the socket stand-in: the system calls made on
// the way of data and notifications, and the notifications posted.
inline thread_local std::uint64_t tSystemCalls = 0;
inline thread_local std::uint64_t tSocketNotifications = 0;

// True when hwnd belongs to the calling thread.
bool IsWindowOfThisThread(HWND hwnd);

// Runs task on the thread that owns hwnd, in queue order with its messages;
// dropped (never run) when the window is destroyed first. Any thread.
bool PostTask(HWND hwnd, std::function<void()> task);

}  // namespace platform::detail

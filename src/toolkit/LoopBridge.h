// Runs the platform message loop inside Qt's loop.
//
// A socket notifier watches the platform loop's epoll descriptor, so platform
// messages (socket events, lookups, timers, posted messages) are dispatched
// whenever Qt's loop runs: the main loop, modal dialogs, QEventLoop::exec and
// the waiting pump below. The platform's "process messages" and "wait for
// events" hooks are pointed at Qt as well while the bridge exists.
#pragma once

#include <memory>

class QSocketNotifier;

class TLoopBridge {
public:
    TLoopBridge();
    ~TLoopBridge();
    TLoopBridge(const TLoopBridge&) = delete;
    TLoopBridge& operator=(const TLoopBridge&) = delete;

    // Qt events (once a frame at most while platform messages wait), then
    // platform messages; never waits.
    static void ProcessAll();
    // Sleeps in Qt's loop until an event (the platform descriptor is one of
    // them) or the deadline, never spinning; returns at once when platform
    // messages are already queued.
    static void WaitForEvents(int timeoutMs);

private:
    std::unique_ptr<QSocketNotifier> Notifier;
};

// The thread's message queue and hidden windows, in the manner of the
// platform the program was first written for.
//
// Contract:
//  - Every thread that creates a window has one message loop. A window belongs
//    to the thread that created it; its procedure only ever runs on that thread.
//  - PostMessage may be called from any thread. Messages of one thread are
//    dispatched in the order they were posted (FIFO). Messages for a window
//    destroyed before they are dispatched are dropped.
//  - ProcessMessages never blocks: it turns ready sockets, expired timers and
//    finished lookups into messages and dispatches what is pending. Dispatch
//    is re-entrant: a window procedure may pump again; no message is
//    dispatched twice and none is lost.
//  - WaitMessage sleeps until something arrives or the time-out passes.
//  - Window handles are never reused within a process; 0 is never a window.
//  - Nesting: the loop itself does not limit how deep procedures nest through
//    handlers that pump. The bound lives with the senders of repeated
//    notifications: a socket's readiness notifications nest at most two deep
//    (see net/CustomWSocket.h), so a handler that pumps at every data event
//    adds at most two levels per socket, whatever the file size or link
//    speed. LoopCounters::deepestNesting records the deepest nesting seen.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using HWND = std::uintptr_t;
using UINT = unsigned;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

inline unsigned LOWORD(LPARAM l) { return static_cast<unsigned>(l) & 0xFFFFu; }
inline unsigned HIWORD(LPARAM l) { return (static_cast<unsigned>(l) >> 16) & 0xFFFFu; }
inline LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>(((high & 0xFFFFu) << 16) | (low & 0xFFFFu));
}

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a hidden window on the calling thread whose messages go to proc.
HWND CreateHiddenWindow(WindowProc proc);
// Destroys a window of the calling thread; its queued messages and timers go
// with it. Safe to call from inside the window's own procedure.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);

// Appends a message to the queue of the window's thread; false when the window
// does not exist. Safe from any thread.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Removes queued messages for hwnd with this message number (and, when
// matchWParam, this first parameter) without dispatching them. Owning thread.
void RemoveMessages(HWND hwnd, UINT msg, bool matchWParam, WPARAM wParam);
// Posts a message to a window of the calling thread that is queued only once
// the queue has run dry, before the loop would sleep: for work that gathers
// what a round of messages produced. Wakes a sleeping loop; false when the
// window is not one of the calling thread's.
bool PostIdleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// True while a window procedure of the calling thread runs: whatever it does
// is followed by the end of a dispatch round (and idle messages).
bool Dispatching();
// Posts a quit message to the calling thread's queue.
void PostQuitMessage(int exitCode);

// Removes the next message of the calling thread's queue (ready sockets and
// timers are harvested first); false when the queue is empty.
bool PeekMessage(MSG& msg);
// Hands a message to its window's procedure; 0 when the window is gone.
LRESULT DispatchMessage(const MSG& msg);

// Dispatches everything pending on the calling thread without blocking. A
// quit message sets the terminated flag. A chain of handlers that keeps
// posting is cut after a bounded number of messages; the rest stays queued
// and the loop is woken again.
void ProcessMessages();
// Sleeps until a message, socket event, timer or lookup result arrives, at
// most timeoutMs milliseconds (negative: no limit). Returns at once when
// messages are already queued. True when messages are queued on return.
bool WaitMessage(int timeoutMs);

// Timers post WM_TIMER (wParam = id) to the window, once or repeatedly. Setting
// an existing id of the window restarts it.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, unsigned elapseMs, bool repeat = true);
bool KillTimer(HWND hwnd, UINT_PTR id);

// The descriptor a foreign event loop watches to learn that this thread's loop
// has work (readable = call ProcessMessages).
int LoopDescriptor();

struct LoopCounters {
    std::uint64_t wakeups = 0;     // returns from the blocking wait
    std::uint64_t dispatched = 0;  // messages handed to a window procedure
    std::uint64_t posted = 0;      // messages appended to the queue
    std::uint64_t harvests = 0;    // polls of the readiness set
    // System calls of the loop and the sockets on the way of data and
    // notifications (waits, wake-ups, sends, receives, interest changes).
    std::uint64_t systemCalls = 0;
    std::uint64_t socketNotifications = 0;  // FD_READ, FD_WRITE, ... posted
    int deepestNesting = 0;        // most window procedures running at once
};
LoopCounters GetLoopCounters();
// Starts a new measurement of deepestNesting from the current nesting.
void ResetDeepestNesting();
std::size_t PendingMessageCount();

// "The application is terminating".
bool Terminated();
void SetTerminated(bool value);

// What "let the application process its pending messages" and "wait for the
// next event" mean on this thread. The toolkit installs hooks that pump its
// own loop as well; without hooks they are ProcessMessages and WaitMessage.
struct AppHooks {
    std::function<void()> processMessages;
    std::function<void(int timeoutMs)> waitForEvents;
};
void SetAppHooks(AppHooks hooks);
void AppProcessMessages();
// Waits for the next event at most timeoutMs, through the hook; returns at
// once when messages are queued. Used by every loop that pumps while it waits,
// so that none of them spins a core.
void AppWaitForEvents(int timeoutMs);

std::uint32_t GetTickCount();
std::uint64_t GetTickCount64();
void Sleep(unsigned ms);

}  // namespace platform

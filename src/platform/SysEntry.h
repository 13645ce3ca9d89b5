// Internal to the socket stand-in: one open handle, the table of them, and
// the routines its parts share (readiness, held sends, read-ahead, close,
// options). Never included outside src/platform.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <sys/socket.h>
#include <sys/types.h>

#include "platform/MessageLoop.h"
#include "platform/SocketReadiness.h"
#include "platform/SysSocket.h"

namespace platform::sys {

// One open handle. Fields other than the table links are touched only on the
// thread that owns the handle (the one that selected it, or created it). It is
// the port of its readiness rules: their notifications and interest go to its
// window and the loop, their questions to its descriptor (SysReadiness.cpp).
struct Entry final : ReadyPort, std::enable_shared_from_this<Entry> {
    Entry(int fd, int type) : fd(fd), type(type), ready(*this, type == SOCK_STREAM) {}

    int fd = -1;
    Handle handle = 0;
    int type = SOCK_STREAM;
    bool nonBlocking = false;

    // Asynchronous selection: the window told, and the rules that decide what.
    HWND hwnd = 0;
    UINT msg = 0;
    SocketReadiness ready;
    // The error that ended the connection (reset, time-out, unreachable):
    // Linux reports it once, the program may ask again and again.
    int deadError = 0;
    bool sendShut = false;  // the program shut down its sending side

    // Linger as the program set it; applied only at close, never to the
    // kernel, so that closing cannot block.
    bool lingerOn = false;
    std::uint16_t lingerSeconds = 0;
    std::uint64_t closeDeadline = 0;

    // Bytes read ahead from the kernel: small reads of a stream are served
    // from here, so that reading a fast connection 4 KiB at a time costs one
    // system call per kReadAhead (or whatever the kernel has) rather than
    // three per 4 KiB. They count as unread data for every rule above.
    std::unique_ptr<char[]> ahead;
    int aheadPos = 0;
    int aheadLen = 0;
    int Buffered() const { return aheadLen - aheadPos; }

    // Bytes sent while the loop dispatched, held back so that a handler
    // sending small blocks one notification at a time costs one system call
    // per 64 KiB (see Hold). They leave when the block is full, when the
    // loop's queue has run dry, and before anything that must follow them.
    std::unique_ptr<char[]> behind;
    int behindPos = 0;
    int behindLen = 0;
    int Held() const { return behindLen - behindPos; }
    bool idleQueued = false;   // a flush waits for the loop's idle tasks
    bool shutPending = false;  // the program's shutdown waits for the held bytes

    // ReadyPort
    void PostEvent(long event, int error) override;
    void Watch(std::uint32_t now, std::uint32_t was) override;
    bool QueueOffer() override;
    int PendingError() override;
    int KernelReadable() override;
    PeekResult PeekStream() override;
    int DeadError() const override { return deadError; }
    void NoteError(int error) override;
    int BufferedBytes() const override { return Buffered(); }
    int HeldBytes() const override { return Held(); }
    bool HeldRoom() const override;
};

// A fast download takes whatever the kernel has gathered, up to 1 MiB, in one
// read: 1 GiB from vsftpd in 0.66 s, against 0.84 s at 256 KiB and 1.06 s at
// 64 KiB. The buffer is not cleared, so a connection that reads little
// touches little of it.
constexpr int kReadAhead = 1024 * 1024;
constexpr int kSendBehind = 64 * 1024;

class Table : public detail::IoHandler {
public:
    std::shared_ptr<Entry> Find(Handle h) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = entries.find(h);
        return it == entries.end() ? nullptr : it->second;
    }

    Handle Add(int fd, int type) {
        auto e = std::make_shared<Entry>(fd, type);
        e->handle = next.fetch_add(1);
        std::lock_guard<std::mutex> lock(mutex);
        entries.emplace(e->handle, e);
        return e->handle;
    }

    void Remove(Handle h) {
        std::lock_guard<std::mutex> lock(mutex);
        entries.erase(h);
        ++generation;
    }

    // The library's last clean-up: every handle closed as Close would (SysClose.cpp).
    void CloseAll();

    int Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(entries.size());
    }

    void OnIoReady(std::uint64_t key, std::uint32_t events) override;

    std::atomic<Handle> next{1};
    // Bumped whenever a handle leaves the table: a lookup remembered before
    // that may be stale. Handles are never reused.
    std::atomic<std::uint64_t> generation{0};

private:
    std::mutex mutex;
    std::unordered_map<Handle, std::shared_ptr<Entry>> entries;
};

extern std::atomic<int> gStartups;

Table& GetTable();
// Sets the calling thread's last error; returns -1.
int Fail(int error);
int FailErrno();
// The open handle, or null with the last error set (not started, not a socket).
std::shared_ptr<Entry> Lookup(Handle h);
// Errors after which the connection is gone for good.
bool EndsConnection(int error);
std::uint64_t NowMs();

// Held sends (SysHeldSends.cpp).
bool FlushHeld(Entry& e);

}  // namespace platform::sys

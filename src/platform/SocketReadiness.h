// Internal to the socket stand-in: the readiness rules of one handle. Every
// socket event that can change what a selecting window is told enters here,
// and only here are notifications posted and the kernel's interest decided.
// The rules touch no socket: they act and ask through a ReadyPort, so that
// they can be tested as a table with a scripted port.
#pragma once

#include <cstdint>

namespace platform::sys {

// What the kernel interest is made of (epoll's bits).
constexpr std::uint32_t kInterestIn = 0x001;      // EPOLLIN
constexpr std::uint32_t kInterestOut = 0x004;     // EPOLLOUT
constexpr std::uint32_t kInterestErr = 0x008;     // EPOLLERR
constexpr std::uint32_t kInterestHup = 0x010;     // EPOLLHUP
constexpr std::uint32_t kInterestRdHup = 0x2000;  // EPOLLRDHUP
constexpr std::uint32_t kReadInterest = kInterestIn | kInterestRdHup;

// A non-destructive look at a stream with nothing counted readable.
struct PeekResult {
    enum Kind { Nothing, Data, Closed, Failed } kind = Nothing;
    int error = 0;  // original number, for Failed
};

// The socket side of the rules: where notifications and interest go, and
// the facts the rules ask for.
class ReadyPort {
public:
    virtual ~ReadyPort() = default;
    virtual void PostEvent(long event, int error) = 0;
    // The kernel's interest changes from was to now (0 = not watched).
    virtual void Watch(std::uint32_t now, std::uint32_t was) = 0;
    // Queues OfferDue on the selecting window; false when it cannot.
    virtual bool QueueOffer() = 0;
    virtual int PendingError() = 0;   // SO_ERROR, as an original number
    virtual int KernelReadable() = 0; // FIONREAD
    virtual PeekResult PeekStream() = 0;
    // The error that ended the connection, once known (0 = none).
    virtual int DeadError() const = 0;
    virtual void NoteError(int error) = 0;
    virtual int BufferedBytes() const = 0;  // read ahead, not yet taken
    virtual int HeldBytes() const = 0;      // sent, not yet given to the kernel
    virtual bool HeldRoom() const = 0;      // the held block can take more
};

class SocketReadiness {
public:
    SocketReadiness(ReadyPort& port, bool stream) : port(port), stream(stream) {}

    // The program's selection (0 = none); held bytes were flushed before.
    void Select(long events);
    // A connection begun (stream) or a datagram peer set (at once).
    void Connecting();
    void Listening();
    // The listener accepted (or failed to): the next arrival is told again.
    void Accepted();
    // The handle came from accept: connected from the start.
    void AcceptedConnection() { connected = true; }
    // A read is about to take bytes: the next read notification is armed.
    void Receiving();
    // Bytes remain read ahead after a read: the kernel cannot tell of them.
    void Buffered();
    // Runs on the window's queue for Buffered.
    void OfferDue();
    // A send could not take everything: tell when the kernel has room.
    void SendBlocked();
    // Held bytes wait for the kernel's room, selected or not.
    void HeldBlocked();
    // What epoll reported, after held bytes were flushed.
    void KernelReady(std::uint32_t events);
    // The descriptor is about to close: the kernel forgets it.
    void Closing() { SetInterest(0); }

    bool Selected() const { return mask != 0; }
    long Mask() const { return mask; }
    bool Connected() const { return connected; }
    bool ConnectPending() const { return connectPending; }
    bool IsListening() const { return listening; }
    bool ClosePosted() const { return closePosted; }
    std::uint32_t Interest() const { return interest; }

private:
    void Post(long event, int error);
    // Only adds interest; interest no longer useful is dropped lazily, when
    // the kernel reports it again, so steady traffic needs no epoll_ctl.
    void EnsureInterest(std::uint32_t bits);
    void SetInterest(std::uint32_t events);
    // True when the peer's close was told now: nothing more is watched.
    bool StreamReady(std::uint32_t events, std::uint32_t& useless);

    ReadyPort& port;
    const bool stream;
    long mask = 0;
    std::uint32_t interest = 0;  // what epoll watches now
    bool readArmed = false;
    bool writeArmed = false;
    bool acceptArmed = false;
    bool connectPending = false;
    bool closePosted = false;
    bool connected = false;
    bool listening = false;
    bool offerQueued = false;
};

}  // namespace platform::sys

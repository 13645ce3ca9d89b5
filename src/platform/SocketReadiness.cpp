#include "platform/SocketReadiness.h"

#include "platform/WinSockCodes.h"

namespace platform::sys {

using namespace winsock;  // event bits only

void SocketReadiness::Post(long event, int error) {
    if ((mask & event) == 0) return;
    port.PostEvent(event, error);
}

void SocketReadiness::EnsureInterest(std::uint32_t bits) {
    if (mask == 0 || (interest & bits) == bits) return;
    const std::uint32_t was = interest;
    interest |= bits;
    port.Watch(interest, was);
}

void SocketReadiness::SetInterest(std::uint32_t events) {
    if (events == interest) return;
    const std::uint32_t was = interest;
    interest = events;
    // An empty interest must be a removal: hang-ups and errors fire regardless.
    port.Watch(events, was);
}

void SocketReadiness::Select(long events) {
    SetInterest(port.HeldBytes() > 0 ? kInterestOut : 0u);
    mask = events;
    if (events == 0) return;
    // Conditions that hold now are reported at once: the kernel reports them
    // as soon as the interest is registered.
    std::uint32_t wanted = 0;
    if (listening) {
        acceptArmed = true;
        wanted |= kInterestIn;
    } else if (connectPending) {
        wanted |= kInterestOut;
    } else if (connected || !stream) {
        connected = true;
        readArmed = true;
        writeArmed = true;
        wanted |= kReadInterest | kInterestOut;
    }
    if (closePosted) {
        wanted &= ~kReadInterest;
        // The close was told once, perhaps to a selection that has since been
        // dropped (a paused socket): a condition that holds is told again.
        Post(FD_CLOSE, port.DeadError());
    }
    if (wanted) EnsureInterest(wanted);
    // A new window gets its own offer; one queued for the old window may be dropped.
    offerQueued = false;
    Buffered();
}

void SocketReadiness::Connecting() {
    if (!stream) {
        connected = true;
        return;
    }
    // Completion is told by FD_CONNECT, also when the kernel finished at once.
    connectPending = true;
    EnsureInterest(kInterestOut);
}

void SocketReadiness::Listening() {
    listening = true;
    Accepted();
}

void SocketReadiness::Accepted() {
    acceptArmed = true;
    EnsureInterest(kInterestIn);
}

void SocketReadiness::Receiving() {
    if (readArmed || closePosted) return;
    readArmed = true;
    if (connected) EnsureInterest(kReadInterest);
}

// Bytes held in user space are readable data the kernel knows nothing of:
// once the read notification is enabled for them, a task queued on the
// window posts it, so that a loop sleeping on its descriptor (ours in epoll,
// or a foreign one watching it) wakes without waiting for another event. One
// task at a time: a handler reading in small pieces queues only one.
void SocketReadiness::Buffered() {
    if (offerQueued || port.BufferedBytes() == 0 || !readArmed || (mask & FD_READ) == 0) return;
    offerQueued = port.QueueOffer();
}

void SocketReadiness::OfferDue() {
    offerQueued = false;
    if (readArmed && connected && port.BufferedBytes() > 0 && !closePosted && (mask & FD_READ)) {
        readArmed = false;
        Post(FD_READ, 0);
    }
}

void SocketReadiness::SendBlocked() {
    writeArmed = true;
    EnsureInterest(kInterestOut);
}

void SocketReadiness::HeldBlocked() {
    // Also without a selection (deselected): the stand-in sends them.
    if (mask == 0) SetInterest(interest | kInterestOut);
    else EnsureInterest(kInterestOut);
}

void SocketReadiness::KernelReady(std::uint32_t events) {
    if (mask == 0) {
        SetInterest(port.HeldBytes() > 0 ? kInterestOut : 0u);
        return;
    }
    if (connectPending) {
        if ((events & (kInterestOut | kInterestErr | kInterestHup)) == 0) return;
        connectPending = false;
        const int err = port.PendingError();
        Post(FD_CONNECT, err);
        if (err) {
            SetInterest(0);
            return;
        }
        connected = true;
        writeArmed = true;
        readArmed = true;
        EnsureInterest(kReadInterest);
    }
    std::uint32_t useless = 0;
    if (listening) {
        if (events & kInterestIn) {
            if (acceptArmed) {
                acceptArmed = false;
                Post(FD_ACCEPT, 0);
            } else {
                useless |= kInterestIn;
            }
        }
        if (useless) SetInterest(interest & ~useless);
        return;
    }
    if (!connected) {
        SetInterest(0);
        return;
    }
    if (events & kInterestErr) port.NoteError(port.PendingError());
    if (events & (kReadInterest | kInterestHup | kInterestErr)) {
        if (StreamReady(events, useless)) return;
    }
    if (events & kInterestOut) {
        if (writeArmed && port.HeldRoom()) {
            writeArmed = false;
            Post(FD_WRITE, 0);
        } else if (!writeArmed && port.HeldBytes() == 0) {
            useless |= kInterestOut;
        }
    }
    if (useless) SetInterest(interest & ~useless);
}

// The read side of a connected handle's readiness: data, the peer's close, or nothing.
bool SocketReadiness::StreamReady(std::uint32_t events, std::uint32_t& useless) {
    if (!readArmed || closePosted) {
        useless |= kReadInterest;
        return false;
    }
    const bool ended = (events & (kInterestRdHup | kInterestHup | kInterestErr)) != 0;
    // A stream's end or error comes with RDHUP, HUP or ERR: plain IN is data,
    // and needs no counting.
    bool data = port.BufferedBytes() > 0 || (stream && !ended) || port.KernelReadable() > 0;
    bool closed = false;
    if (!data && stream) {
        // No bytes counted: tell a close from data by peeking.
        PeekResult peek = port.PeekStream();
        if (peek.kind == PeekResult::Data) {
            data = true;
        } else if (peek.kind == PeekResult::Closed) {
            closed = true;
        } else if (peek.kind == PeekResult::Failed) {
            port.NoteError(peek.error);
            closed = true;
        }
    } else if (!data && !stream && (events & kInterestIn)) {
        data = true;  // an empty datagram still has to be read
    }
    if (data) {
        readArmed = false;
        Post(FD_READ, 0);
    } else if (closed) {
        closePosted = true;
        Post(FD_CLOSE, port.DeadError());
        SetInterest(0);
        return true;
    }
    return false;
}

}  // namespace platform::sys

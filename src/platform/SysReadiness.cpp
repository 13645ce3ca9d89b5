// The socket stand-in's readiness: what the kernel reports, turned into the
// notifications a selecting window receives, and the kernel interest kept.
#include <cerrno>

#include <sys/ioctl.h>

#include "platform/ErrorMap.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {

using namespace winsock;  // error numbers and event bits only

void Post(Entry& e, long event, int error) {
    if ((e.mask & event) == 0 || e.hwnd == 0) return;
    ++detail::tSocketNotifications;
    PostMessage(e.hwnd, e.msg, e.handle, MAKELPARAM(static_cast<unsigned>(event), static_cast<unsigned>(error)));
}

// Brings the kernel's interest in line with what can still be posted. Only
// adds interest; interest that is no longer useful is dropped lazily, when the
// kernel reports it again (see OnIoReady), so steady traffic needs no epoll_ctl.
void EnsureInterest(Entry& e, std::uint32_t bits) {
    if (e.hwnd == 0 || e.mask == 0) return;
    if ((e.kernelEvents & bits) == bits) return;
    bool was = e.kernelEvents != 0;
    e.kernelEvents |= bits;
    detail::WatchDescriptor(e.fd, e.handle, e.kernelEvents, &GetTable(), was);
}

void SetInterest(Entry& e, std::uint32_t events) {
    if (events == e.kernelEvents) return;
    bool was = e.kernelEvents != 0;
    e.kernelEvents = events;
    // An empty interest must be a removal: hang-ups and errors fire regardless.
    detail::WatchDescriptor(e.fd, e.handle, events, &GetTable(), was);
}


void Table::OnIoReady(std::uint64_t key, std::uint32_t events) {
    auto e = Find(static_cast<Handle>(key));
    if (!e) return;
    if (e->Held() > 0 && (events & EPOLLOUT)) FlushHeld(*e);
    if (e->mask == 0) {
        SetInterest(*e, e->Held() > 0 ? std::uint32_t{EPOLLOUT} : 0u);
        return;
    }
    std::uint32_t useless = 0;

    if (e->connectPending) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            int soerr = 0;
            socklen_t len = sizeof soerr;
            ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
            e->connectPending = false;
            int err = soerr ? WsaFromErrno(soerr) : 0;
            Post(*e, FD_CONNECT, err);
            if (err) {
                SetInterest(*e, 0);
                return;
            }
            e->connected = true;
            e->writeArmed = true;
            e->readArmed = true;
            EnsureInterest(*e, kReadInterest);
        } else {
            return;
        }
    }

    if (e->listening) {
        if (events & EPOLLIN) {
            if (e->acceptArmed) {
                e->acceptArmed = false;
                Post(*e, FD_ACCEPT, 0);
            } else {
                useless |= EPOLLIN;
            }
        }
        if (useless) SetInterest(*e, e->kernelEvents & ~useless);
        return;
    }

    if (!e->connected) {
        SetInterest(*e, 0);
        return;
    }

    if (events & EPOLLERR) {
        int soerr = 0;
        socklen_t len = sizeof soerr;
        ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
        NoteDeadError(*e, WsaFromErrno(soerr));
    }

    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        if (!e->readArmed || e->closePosted) {
            useless |= kReadInterest;
        } else {
            // A stream's end or error comes with EPOLLRDHUP, EPOLLHUP or
            // EPOLLERR: plain EPOLLIN is data, and needs no counting.
            bool data = e->Buffered() > 0 ||
                        (e->type == SOCK_STREAM && (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) == 0);
            if (!data) {
                int avail = 0;
                ++detail::tSystemCalls;
                ::ioctl(e->fd, FIONREAD, &avail);
                data = avail > 0;
            }
            bool closed = false;
            if (!data && e->type == SOCK_STREAM) {
                // No bytes counted: tell a close from data by peeking.
                char c;
                ++detail::tSystemCalls;
                ssize_t r = ::recv(e->fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
                if (r > 0) data = true;
                else if (r == 0) closed = true;
                else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    NoteDeadError(*e, WsaFromErrno(errno));
                    closed = true;
                }
            } else if (!data && e->type == SOCK_DGRAM && (events & EPOLLIN)) {
                data = true;  // an empty datagram still has to be read
            }
            if (data) {
                e->readArmed = false;
                Post(*e, FD_READ, 0);
            } else if (closed) {
                e->closePosted = true;
                Post(*e, FD_CLOSE, e->deadError);
                SetInterest(*e, 0);
                return;
            }
        }
    }

    if (events & EPOLLOUT) {
        if (e->writeArmed && e->Held() < kSendBehind) {
            e->writeArmed = false;
            Post(*e, FD_WRITE, 0);
        } else if (!e->writeArmed && e->Held() == 0) {
            useless |= EPOLLOUT;
        }
    }
    if (useless) SetInterest(*e, e->kernelEvents & ~useless);
}

// Bytes held in user space are readable data the kernel knows nothing of:
// once the read notification is enabled for them, a task queued on the
// window posts it, so that a loop sleeping on its descriptor (ours in epoll,
// or a foreign one watching it) wakes without waiting for another event. One
// task at a time: a handler reading in small pieces queues only one.
void OfferHeldBytes(const std::shared_ptr<Entry>& e) {
    if (e->heldOfferQueued || e->Buffered() == 0 || !e->readArmed || (e->mask & FD_READ) == 0 ||
        e->hwnd == 0)
        return;
    std::weak_ptr<Entry> weak = e;
    e->heldOfferQueued = detail::PostTask(e->hwnd, [weak] {
        auto held = weak.lock();
        if (!held) return;
        held->heldOfferQueued = false;
        if (held->readArmed && held->connected && held->Buffered() > 0 && !held->closePosted &&
            (held->mask & FD_READ)) {
            held->readArmed = false;
            Post(*held, FD_READ, 0);
        }
    });
}

// A kernel read that gave no bytes, as the program sees it: a connection

int AsyncSelect(Handle h, HWND hwnd, UINT msg, long events) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (events != 0 && !detail::IsWindowOfThisThread(hwnd)) return Fail(WSAEINVAL);
    if (!e->nonBlocking && SetNonBlocking(h, true) < 0) return -1;
    // Held bytes go before anything the new selection reports; what the
    // kernel cannot take yet leaves at its write readiness.
    if (e->Held() > 0) FlushHeld(*e);
    SetInterest(*e, e->Held() > 0 ? std::uint32_t{EPOLLOUT} : 0u);
    e->hwnd = hwnd;
    e->msg = msg;
    e->mask = events;
    if (events == 0) return 0;
    // Conditions that hold now are reported at once: the kernel reports them
    // as soon as the interest is registered.
    std::uint32_t interest = 0;
    if (e->listening) {
        e->acceptArmed = true;
        interest |= EPOLLIN;
    } else if (e->connectPending) {
        interest |= EPOLLOUT;
    } else if (e->connected || e->type == SOCK_DGRAM) {
        e->connected = true;
        e->readArmed = true;
        e->writeArmed = true;
        interest |= kReadInterest | EPOLLOUT;
    }
    if (e->closePosted) {
        interest &= ~kReadInterest;
        // The close was told once, perhaps to a selection that has since been
        // dropped (a paused socket): a condition that holds is told again.
        if (events & FD_CLOSE) Post(*e, FD_CLOSE, e->deadError);
    }
    if (interest) EnsureInterest(*e, interest);
    // A new window gets its own offer; one queued for the old window may be dropped.
    e->heldOfferQueued = false;
    OfferHeldBytes(e);
    return 0;
}

}  // namespace platform::sys

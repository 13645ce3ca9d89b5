// The socket stand-in's held sends: small blocks sent while the loop
// dispatches are gathered and handed to the kernel together.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ErrorMap.h"
#include "platform/SysAddress.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {

using namespace winsock;  // error numbers only

// Hands the held bytes to the kernel. True when none are left; otherwise the
// rest goes at the next write readiness. A failure ends the connection: the
// program took those bytes for sent, so the next call tells it.
bool FlushHeld(Entry& e) {
    while (e.Held() > 0) {
        ++detail::tSystemCalls;
        ssize_t r = ::send(e.fd, e.behind.get() + e.behindPos, static_cast<size_t>(e.Held()), MSG_NOSIGNAL);
        if (r >= 0) {
            e.behindPos += static_cast<int>(r);
            continue;
        }
        if (errno == EINTR) continue;
        int err = WsaFromErrno(errno);
        if (err == WSAEWOULDBLOCK) {
            // Also without a selection (deselected): the stand-in sends them.
            e.ready.HeldBlocked();
            return false;
        }
        if (e.deadError == 0) e.deadError = EndsConnection(err) ? err : WSAECONNABORTED;
        break;
    }
    e.behindPos = e.behindLen = 0;
    if (e.shutPending) {
        e.shutPending = false;
        ::shutdown(e.fd, SHUT_WR);
    }
    return true;
}

namespace {

// Keeps len bytes (they fit) after those already held; the first ones of a
// block ask the loop to send them once its queue has run dry.
void Hold(const std::shared_ptr<Entry>& e, const char* buf, int len) {
    if (!e->behind) e->behind = std::make_unique_for_overwrite<char[]>(kSendBehind);
    if (e->Held() == 0) {
        e->behindPos = e->behindLen = 0;
        if (!e->idleQueued) {
            e->idleQueued = true;
            std::weak_ptr<Entry> weak = e;
            detail::PostIdleTask([weak] {
                auto held = weak.lock();
                if (!held) return;
                held->idleQueued = false;
                if (held->fd >= 0 && held->Held() > 0) FlushHeld(*held);
            });
        }
    } else if (e->behindLen + len > kSendBehind) {
        std::memmove(e->behind.get(), e->behind.get() + e->behindPos, static_cast<size_t>(e->Held()));
        e->behindLen = e->Held();
        e->behindPos = 0;
    }
    std::memcpy(e->behind.get() + e->behindLen, buf, static_cast<size_t>(len));
    e->behindLen += len;
}

// A block sent from a window procedure to a selected stream: the end of the
// dispatch round follows, and sends the block with what came before it.
bool MayHold(const Entry& e, int len, bool oob) {
    return !oob && len > 0 && len < kSendBehind && e.type == SOCK_STREAM && e.ready.Connected() &&
           e.ready.Selected() && Dispatching();
}

// As much of buf as the held block takes, once a full block has gone.
int SendHeld(const std::shared_ptr<Entry>& e, const char* buf, int len) {
    if (e->Held() + len > kSendBehind) {
        FlushHeld(*e);
        if (e->deadError) return Fail(e->deadError);
    }
    const int n = std::min(len, kSendBehind - e->Held());
    if (n < len) {
        // The rest is taken at the next FD_WRITE, once the kernel has room.
        e->ready.SendBlocked();
    }
    if (n == 0) return Fail(WSAEWOULDBLOCK);
    Hold(e, buf, n);
    return n;
}


}  // namespace

int Send(Handle h, const char* buf, int len, bool oob) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    // Linux answers EPIPE for both; only the program's own shutdown is 10058.
    if (e->sendShut) return Fail(WSAESHUTDOWN);
    if (e->deadError) return Fail(e->deadError);
    if (MayHold(*e, len, oob)) return SendHeld(e, buf, len);
    // Anything else leaves after the bytes held before it.
    if (e->Held() > 0 && !FlushHeld(*e)) {
        e->ready.SendBlocked();
        return Fail(WSAEWOULDBLOCK);
    }
    if (e->deadError) return Fail(e->deadError);  // the held bytes could not be sent
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        r = ::send(e->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (oob ? MSG_OOB : 0));
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        int err = WsaFromErrno(errno);
        if (err == WSAEWOULDBLOCK) {
            e->ready.SendBlocked();
        } else {
            e->NoteError(err);
        }
        return Fail(err);
    }
    if (r < len && e->type == SOCK_STREAM) {
        e->ready.SendBlocked();
    }
    return static_cast<int>(r);
}

int SendTo(Handle h, const char* buf, int len, bool oob, const Address& to) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    if (e->type == SOCK_STREAM) return Send(h, buf, len, oob);
    SysName sin = ToSockaddr(to);
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        r = ::sendto(e->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (oob ? MSG_OOB : 0),
                     sin.get(), sin.len);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            e->ready.SendBlocked();
        }
        return FailErrno();
    }
    return static_cast<int>(r);
}
}  // namespace platform::sys

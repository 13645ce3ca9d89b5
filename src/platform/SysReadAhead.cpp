// The socket stand-in's receive side: small reads of a stream are served from
// bytes read ahead from the kernel.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/ioctl.h>

#include "platform/ErrorMap.h"
#include "platform/SysAddress.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

using namespace winsock;  // error numbers only


// A kernel read that gave no bytes, as the program sees it: a connection
// that ended in error reads as that error (Linux told it only once, often
// to SO_ERROR), never as an orderly end, and only after every byte was read.
int ReadOutcome(Entry& e, ssize_t r, int len) {
    if (r < 0) {
        int err = WsaFromErrno(errno);
        e.NoteError(err);
        return Fail(err);
    }
    if (len > 0 && e.type == SOCK_STREAM && e.deadError) return Fail(e.deadError);
    return 0;
}
}  // namespace

int Receive(Handle h, char* buf, int len, bool oob, bool peek, Address* from) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    // Reading re-enables the read notification (at once if data remains).
    e->ready.Receiving();
    if (e->type == SOCK_STREAM && !oob && !from) {
        if (e->Buffered() == 0 && !peek && len < kReadAhead) {
            if (!e->ahead) e->ahead = std::make_unique_for_overwrite<char[]>(kReadAhead);
            ssize_t r;
            do {
                ++detail::tSystemCalls;
                r = ::recv(e->fd, e->ahead.get(), kReadAhead, 0);
            } while (r < 0 && errno == EINTR);
            if (r <= 0) return ReadOutcome(*e, r, len);
            e->aheadPos = 0;
            e->aheadLen = static_cast<int>(r);
        }
        if (e->Buffered() > 0) {
            int n = std::min(len, e->Buffered());
            std::memcpy(buf, e->ahead.get() + e->aheadPos, static_cast<size_t>(n));
            if (!peek) e->aheadPos += n;
            if (e->Buffered() == 0) e->aheadPos = e->aheadLen = 0;
            else e->ready.Buffered();
            return n;
        }
    }
    SysName sin;
    int flags = (oob ? MSG_OOB : 0) | (peek ? MSG_PEEK : 0);
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        sin.len = sizeof sin.ss;
        r = from ? ::recvfrom(e->fd, buf, static_cast<size_t>(len), flags, sin.get(), &sin.len)
                 : ::recv(e->fd, buf, static_cast<size_t>(len), flags);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return ReadOutcome(*e, r, len);
    if (from) FromSockaddr(sin, from);
    return static_cast<int>(r);
}

int PeerClosed(Handle h) {
    auto e = Lookup(h);
    if (!e) return -1;
    e->ready.Receiving();
    if (e->Buffered() > 0) return 0;
    const PeekResult peek = e->PeekStream();
    switch (peek.kind) {
        case PeekResult::Closed: return e->deadError ? Fail(e->deadError) : 1;
        case PeekResult::Failed:
            e->NoteError(peek.error);
            return Fail(peek.error);
        default: return 0;
    }
}

int BytesReadable(Handle h, std::uint32_t* count) {
    auto e = Lookup(h);
    if (!e) return -1;
    // Read-ahead bytes alone answer the question without asking the kernel.
    if (e->Buffered() > 0) {
        *count = static_cast<std::uint32_t>(e->Buffered());
        return 0;
    }
    int avail = 0;
    ++detail::tSystemCalls;
    if (::ioctl(e->fd, FIONREAD, &avail) < 0) return FailErrno();
    *count = static_cast<std::uint32_t>(avail < 0 ? 0 : avail);
    return 0;
}
}  // namespace platform::sys

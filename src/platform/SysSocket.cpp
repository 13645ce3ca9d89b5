// The socket stand-in over BSD sockets: creating, binding, listening,
// accepting and connecting. Readiness, held sends, read-ahead, close and
// options each have a file of their own (SysEntry.h links them).
#include <atomic>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/ErrorMap.h"
#include "platform/SysAddress.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

using namespace winsock;  // error numbers and event bits only

std::atomic<int> gFailNextConnect{0};


}  // namespace

SysName ToSockaddr(const Address& a) {
    SysName n;
    if (a.v6) {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&n.ss);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = a.port;
        std::memcpy(&sin6->sin6_addr, a.addr6, 16);
        sin6->sin6_scope_id = a.scope;
        n.len = sizeof(sockaddr_in6);
    } else {
        auto* sin = reinterpret_cast<sockaddr_in*>(&n.ss);
        sin->sin_family = AF_INET;
        sin->sin_port = a.port;
        sin->sin_addr.s_addr = a.addr;
        n.len = sizeof(sockaddr_in);
    }
    return n;
}

void FromSockaddr(const SysName& n, Address* a) {
    if (!a) return;
    *a = Address{};
    if (n.ss.ss_family == AF_INET6) {
        const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(&n.ss);
        a->v6 = true;
        std::memcpy(a->addr6, &sin6->sin6_addr, 16);
        a->scope = sin6->sin6_scope_id;
        a->port = sin6->sin6_port;
    } else {
        const auto* sin = reinterpret_cast<const sockaddr_in*>(&n.ss);
        a->addr = sin->sin_addr.s_addr;
        a->port = sin->sin_port;
    }
}

int Bind(Handle h, const Address& a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName n = ToSockaddr(a);
    if (::bind(e->fd, n.get(), n.len) < 0) return FailErrno();
    return 0;
}

int Listen(Handle h, int backlog) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (e->type != SOCK_STREAM) return Fail(WSAEOPNOTSUPP);
    if (::listen(e->fd, backlog) < 0) return FailErrno();
    e->ready.Listening();
    return 0;
}

Handle Accept(Handle h, Address* peer) {
    auto e = Lookup(h);
    if (!e) return kInvalid;
    if (!e->ready.IsListening()) return Fail(WSAEINVAL), kInvalid;
    SysName sin;
    int fd;
    do {
        sin.len = sizeof sin.ss;
        fd = ::accept4(e->fd, sin.get(), &sin.len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    // Accepting re-enables the accept notification, whatever the outcome.
    e->ready.Accepted();
    if (fd < 0) return FailErrno(), kInvalid;
    FromSockaddr(sin, peer);
    Handle nh = GetTable().Add(fd, SOCK_STREAM);
    auto ne = GetTable().Find(nh);
    ne->ready.AcceptedConnection();
    // The accepted handle inherits the listener's selection.
    if (e->ready.Selected()) AsyncSelect(nh, e->hwnd, e->msg, e->ready.Mask());
    return nh;
}

int Connect(Handle h, const Address& a) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (int forced = gFailNextConnect.exchange(0)) return Fail(forced);
    if (e->ready.Connected() && e->type == SOCK_STREAM) return Fail(WSAEISCONN);
    SysName sin = ToSockaddr(a);
    int r;
    do {
        r = ::connect(e->fd, sin.get(), sin.len);
    } while (r < 0 && errno == EINTR);
    if (e->type == SOCK_DGRAM) {
        if (r < 0) return FailErrno();
        e->ready.Connecting();
        return 0;
    }
    if (r < 0 && errno != EINPROGRESS) return FailErrno();
    e->ready.Connecting();
    if (r < 0) return Fail(WSAEWOULDBLOCK);
    return 0;
}

int LocalName(Handle h, Address* a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName sin;
    if (::getsockname(e->fd, sin.get(), &sin.len) < 0) return FailErrno();
    FromSockaddr(sin, a);
    return 0;
}

int PeerName(Handle h, Address* a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName sin;
    if (::getpeername(e->fd, sin.get(), &sin.len) < 0) return FailErrno();
    FromSockaddr(sin, a);
    return 0;
}

void FailNextConnect(int error) { gFailNextConnect = error; }


}  // namespace platform::sys

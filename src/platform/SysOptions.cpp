// The socket stand-in's options: plain integers go to the kernel; linger is
// kept for the close, never applied to the kernel, so that closing cannot block.
#include <cerrno>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include "platform/ErrorMap.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

using namespace winsock;  // error numbers only

// Level and name of the options that are plain integers; false for the rest.
bool PlainOption(Option opt, int& level, int& name) {
    level = SOL_SOCKET;
    switch (opt) {
    case Option::ReuseAddr: name = SO_REUSEADDR; return true;
    case Option::KeepAlive: name = SO_KEEPALIVE; return true;
    case Option::Broadcast: name = SO_BROADCAST; return true;
    case Option::SendBuffer: name = SO_SNDBUF; return true;
    case Option::ReceiveBuffer: name = SO_RCVBUF; return true;
    case Option::OobInline: name = SO_OOBINLINE; return true;
    case Option::DontRoute: name = SO_DONTROUTE; return true;
    case Option::Debug: name = SO_DEBUG; return true;
    case Option::NoDelay: level = IPPROTO_TCP; name = TCP_NODELAY; return true;
    case Option::MulticastTtl: level = IPPROTO_IP; name = IP_MULTICAST_TTL; return true;
    case Option::MulticastLoop: level = IPPROTO_IP; name = IP_MULTICAST_LOOP; return true;
    default: return false;
    }
}
}  // namespace

int SetOption(Handle h, Option opt, std::uint32_t value, std::uint32_t value2) {
    auto e = Lookup(h);
    if (!e) return -1;
    int level, name;
    if (PlainOption(opt, level, name)) {
        int iv = static_cast<int>(value);
        if (::setsockopt(e->fd, level, name, &iv, sizeof iv) < 0) return FailErrno();
        return 0;
    }
    switch (opt) {
    case Option::Linger:
        e->lingerOn = (value >> 16) != 0;
        e->lingerSeconds = static_cast<std::uint16_t>(value & 0xFFFF);
        e->closeDeadline = 0;
        return 0;
    case Option::MulticastInterface: {
        in_addr a{};
        a.s_addr = value;
        if (::setsockopt(e->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) < 0) return FailErrno();
        return 0;
    }
    case Option::AddMembership:
    case Option::DropMembership: {
        ip_mreq m{};
        m.imr_multiaddr.s_addr = value;
        m.imr_interface.s_addr = value2;
        int n = opt == Option::AddMembership ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
        if (::setsockopt(e->fd, IPPROTO_IP, n, &m, sizeof m) < 0) return FailErrno();
        return 0;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int GetOption(Handle h, Option opt, std::uint32_t* value) {
    auto e = Lookup(h);
    if (!e) return -1;
    int level, name;
    if (PlainOption(opt, level, name)) {
        int iv = 0;
        socklen_t len = sizeof iv;
        if (::getsockopt(e->fd, level, name, &iv, &len) < 0) return FailErrno();
        // Linux answers the multicast options with one byte.
        if (len == 1) iv = static_cast<unsigned char>(iv & 0xFF);
        *value = static_cast<std::uint32_t>(iv);
        return 0;
    }
    switch (opt) {
    case Option::Linger:
        *value = (static_cast<std::uint32_t>(e->lingerOn) << 16) | e->lingerSeconds;
        return 0;
    case Option::Error: {
        int soerr = 0;
        socklen_t len = sizeof soerr;
        ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
        int err = soerr ? WsaFromErrno(soerr) : 0;
        e->NoteError(err);
        *value = static_cast<std::uint32_t>(err);
        return 0;
    }
    case Option::Type: *value = static_cast<std::uint32_t>(e->type); return 0;
    case Option::MulticastInterface: {
        in_addr a{};
        socklen_t len = sizeof a;
        if (::getsockopt(e->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, &len) < 0) return FailErrno();
        *value = a.s_addr;
        return 0;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int SetNonBlocking(Handle h, bool on) {
    auto e = Lookup(h);
    if (!e) return -1;
    // A selected handle must stay non-blocking.
    if (!on && e->ready.Selected()) return Fail(WSAEINVAL);
    int flags = ::fcntl(e->fd, F_GETFL);
    if (flags < 0) return FailErrno();
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(e->fd, F_SETFL, flags) < 0) return FailErrno();
    e->nonBlocking = on;
    return 0;
}

int SetDeadPeerTimeout(Handle h, unsigned ms) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (::setsockopt(e->fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &ms, sizeof ms) < 0) return FailErrno();
    return 0;
}


}  // namespace platform::sys

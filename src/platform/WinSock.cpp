// The original socket API's records, levels and option numbers, translated
// onto the socket table (SysSocket.h).
#include "platform/WinSock.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/AsyncLookup.h"
#include "platform/SysSocket.h"

namespace winsock {
namespace {

namespace sys = platform::sys;

int Fail(int error) {
    sys::SetLastError(error);
    return SOCKET_ERROR;
}

bool ToAddress(const sockaddr* name, int namelen, sys::Address& out) {
    if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT), false;
    short family;
    std::memcpy(&family, name, sizeof family);
    out = sys::Address{};
    if (family == AF_INET6) {
        if (namelen < static_cast<int>(sizeof(sockaddr_in6))) return Fail(WSAEFAULT), false;
        sockaddr_in6 sin6;
        std::memcpy(&sin6, name, sizeof sin6);
        out.v6 = true;
        std::memcpy(out.addr6, sin6.sin6_addr.s6_addr, 16);
        out.scope = sin6.sin6_scope_id;
        out.port = sin6.sin6_port;
        return true;
    }
    if (family != AF_INET) return Fail(WSAEAFNOSUPPORT), false;
    sockaddr_in sin;
    std::memcpy(&sin, name, sizeof sin);
    out.addr = sin.sin_addr.s_addr;
    out.port = sin.sin_port;
    return true;
}

int FromAddress(const sys::Address& a, sockaddr* name, int* namelen) {
    const int need = a.v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (!name || !namelen || *namelen < need) return Fail(WSAEFAULT);
    if (a.v6) {
        sockaddr_in6 sin6{};
        sin6.sin6_family = AF_INET6;
        sin6.sin6_port = a.port;
        std::memcpy(sin6.sin6_addr.s6_addr, a.addr6, 16);
        sin6.sin6_scope_id = a.scope;
        std::memcpy(name, &sin6, sizeof sin6);
    } else {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = a.port;
        sin.sin_addr.s_addr = a.addr;
        std::memcpy(name, &sin, sizeof sin);
    }
    *namelen = need;
    return 0;
}

bool MapOption(int level, int optname, sys::Option& out) {
    if (level == SOL_SOCKET) {
        switch (optname) {
        case SO_DEBUG: out = sys::Option::Debug; return true;
        case SO_REUSEADDR: out = sys::Option::ReuseAddr; return true;
        case SO_KEEPALIVE: out = sys::Option::KeepAlive; return true;
        case SO_DONTROUTE: out = sys::Option::DontRoute; return true;
        case SO_BROADCAST: out = sys::Option::Broadcast; return true;
        case SO_LINGER: out = sys::Option::Linger; return true;
        case SO_OOBINLINE: out = sys::Option::OobInline; return true;
        case SO_SNDBUF: out = sys::Option::SendBuffer; return true;
        case SO_RCVBUF: out = sys::Option::ReceiveBuffer; return true;
        case SO_ERROR: out = sys::Option::Error; return true;
        case SO_TYPE: out = sys::Option::Type; return true;
        }
    } else if (level == IPPROTO_TCP) {
        if (optname == TCP_NODELAY) {
            out = sys::Option::NoDelay;
            return true;
        }
    } else if (level == IPPROTO_IP) {
        switch (optname) {
        case IP_MULTICAST_IF: out = sys::Option::MulticastInterface; return true;
        case IP_MULTICAST_TTL: out = sys::Option::MulticastTtl; return true;
        case IP_MULTICAST_LOOP: out = sys::Option::MulticastLoop; return true;
        case IP_ADD_MEMBERSHIP: out = sys::Option::AddMembership; return true;
        case IP_DROP_MEMBERSHIP: out = sys::Option::DropMembership; return true;
        }
    }
    return false;
}

// Per-thread storage for the blocking lookups, as the original kept one
// record per thread.
struct HostStorage {
    std::string name;
    std::vector<u_long> addrs;
    std::vector<char*> addrPtrs;
    char* noAliases[1] = {nullptr};
    hostent entry{};
};

struct ServStorage {
    std::string name, proto;
    char* noAliases[1] = {nullptr};
    servent entry{};
};

struct ProtoStorage {
    std::string name;
    char* noAliases[1] = {nullptr};
    protoent entry{};
};

}  // namespace

int WSAStartup(std::uint16_t versionRequested, WSAData* data) {
    // Version 1.1 or later is served as 1.1.
    unsigned major = versionRequested & 0xFF, minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
    if (!data) return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strcpy(data->szDescription, "Tarnwick socket stand-in over BSD sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xFFFF;
    data->iMaxUdpDg = 65467;
    sys::Startup();
    return 0;
}

int WSACleanup() {
    int r = sys::Cleanup();
    // The last clean-up: no lookup thread may outlive the library's use.
    if (r == 0 && !sys::Started()) StopAsyncLookups();
    return r;
}
void WSASetLastError(int error) { sys::SetLastError(error); }
int WSAGetLastError() { return sys::LastError(); }

int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events) {
    return sys::AsyncSelect(s, hwnd, msg, events) < 0 ? SOCKET_ERROR : 0;
}

SOCKET socket(int af, int type, int protocol) {
    if (af != AF_INET && af != AF_INET6) return Fail(WSAEAFNOSUPPORT), INVALID_SOCKET;
    // The two types share their numbers with the system's.
    return sys::Create(af == AF_INET6, type, protocol);
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
    sys::Address a;
    if (!ToAddress(name, namelen, a)) return SOCKET_ERROR;
    return sys::Bind(s, a);
}

int listen(SOCKET s, int backlog) { return sys::Listen(s, backlog); }

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
    if (addr && (!addrlen || *addrlen < static_cast<int>(sizeof(sockaddr_in))))
        return Fail(WSAEFAULT), INVALID_SOCKET;
    sys::Address peer;
    SOCKET r = sys::Accept(s, &peer);
    if (r != INVALID_SOCKET && addr && FromAddress(peer, addr, addrlen) < 0) {
        // The caller could not be told who connected: the connection is not taken.
        sys::Close(r);
        return Fail(WSAEFAULT), INVALID_SOCKET;
    }
    return r;
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
    sys::Address a;
    if (!ToAddress(name, namelen, a)) return SOCKET_ERROR;
    return sys::Connect(s, a);
}

int send(SOCKET s, const char* buf, int len, int flags) {
    return sys::Send(s, buf, len, (flags & MSG_OOB) != 0);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
    sys::Address a;
    if (!ToAddress(to, tolen, a)) return SOCKET_ERROR;
    return sys::SendTo(s, buf, len, (flags & MSG_OOB) != 0, a);
}

int recv(SOCKET s, char* buf, int len, int flags) {
    return sys::Receive(s, buf, len, (flags & MSG_OOB) != 0, (flags & MSG_PEEK) != 0, nullptr);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
    sys::Address a;
    int r = sys::Receive(s, buf, len, (flags & MSG_OOB) != 0, (flags & MSG_PEEK) != 0, &a);
    if (r >= 0 && from && FromAddress(a, from, fromlen) < 0) return SOCKET_ERROR;
    return r;
}

int shutdown(SOCKET s, int how) { return sys::Shutdown(s, how); }
int closesocket(SOCKET s) { return sys::Close(s); }

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    sys::Option opt;
    if (!MapOption(level, optname, opt)) return Fail(WSAENOPROTOOPT);
    if (!optval || optlen < 1) return Fail(WSAEFAULT);
    std::uint32_t value = 0, value2 = 0;
    if (opt == sys::Option::Linger) {
        if (optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
        linger l;
        std::memcpy(&l, optval, sizeof l);
        value = (static_cast<std::uint32_t>(l.l_onoff != 0) << 16) | l.l_linger;
    } else if (opt == sys::Option::AddMembership || opt == sys::Option::DropMembership) {
        if (optlen < static_cast<int>(sizeof(ip_mreq))) return Fail(WSAEFAULT);
        ip_mreq m;
        std::memcpy(&m, optval, sizeof m);
        value = m.imr_multiaddr.s_addr;
        value2 = m.imr_interface.s_addr;
    } else if (optlen >= 4) {
        std::memcpy(&value, optval, 4);
    } else {
        value = static_cast<unsigned char>(optval[0]);
    }
    return sys::SetOption(s, opt, value, value2);
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    sys::Option opt;
    if (!MapOption(level, optname, opt)) return Fail(WSAENOPROTOOPT);
    if (!optval || !optlen || *optlen < 1) return Fail(WSAEFAULT);
    std::uint32_t value = 0;
    if (sys::GetOption(s, opt, &value) < 0) return SOCKET_ERROR;
    if (opt == sys::Option::Linger) {
        if (*optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
        linger l{static_cast<u_short>(value >> 16), static_cast<u_short>(value & 0xFFFF)};
        std::memcpy(optval, &l, sizeof l);
        *optlen = sizeof l;
    } else if (*optlen >= 4) {
        std::memcpy(optval, &value, 4);
        *optlen = 4;
    } else {
        optval[0] = static_cast<char>(value);
        *optlen = 1;
    }
    return 0;
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
    if (!argp) return Fail(WSAEFAULT);
    if (cmd == FIONREAD) return sys::BytesReadable(s, argp);
    if (cmd == FIONBIO) return sys::SetNonBlocking(s, *argp != 0);
    return Fail(WSAEINVAL);
}

int PeerClosed(SOCKET s) { return sys::PeerClosed(s); }

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
    sys::Address a;
    if (sys::LocalName(s, &a) < 0) return SOCKET_ERROR;
    return FromAddress(a, name, namelen);
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
    sys::Address a;
    if (sys::PeerName(s, &a) < 0) return SOCKET_ERROR;
    return FromAddress(a, name, namelen);
}

hostent* gethostbyname(const char* name) {
    if (!sys::Started()) return Fail(WSANOTINITIALISED), nullptr;
    if (!name) return Fail(WSAEFAULT), nullptr;
    thread_local HostStorage st;
    std::vector<sys::Address> addrs;
    std::string official;
    int err = sys::ResolveForward(name, addrs, official);
    if (err) return Fail(err), nullptr;
    st.name = official;
    st.addrs.clear();
    for (const auto& a : addrs)
        if (!a.v6) st.addrs.push_back(a.addr);
    if (st.addrs.empty()) return Fail(WSANO_DATA), nullptr;
    st.addrPtrs.clear();
    for (auto& a : st.addrs) st.addrPtrs.push_back(reinterpret_cast<char*>(&a));
    st.addrPtrs.push_back(nullptr);
    st.entry.h_name = st.name.data();
    st.entry.h_aliases = st.noAliases;
    st.entry.h_addrtype = AF_INET;
    st.entry.h_length = 4;
    st.entry.h_addr_list = st.addrPtrs.data();
    return &st.entry;
}

servent* getservbyname(const char* name, const char* proto) {
    if (!sys::Started()) return Fail(WSANOTINITIALISED), nullptr;
    if (!name) return Fail(WSAEFAULT), nullptr;
    thread_local ServStorage st;
    std::uint16_t port = 0;
    std::string official, officialProto;
    if (!sys::LookupService(name, proto ? proto : "", port, official, officialProto))
        return Fail(WSANO_DATA), nullptr;
    st.name = official;
    st.proto = officialProto;
    st.entry.s_name = st.name.data();
    st.entry.s_aliases = st.noAliases;
    st.entry.s_port = static_cast<short>(htons(port));
    st.entry.s_proto = st.proto.data();
    return &st.entry;
}

protoent* getprotobyname(const char* name) {
    if (!sys::Started()) return Fail(WSANOTINITIALISED), nullptr;
    if (!name) return Fail(WSAEFAULT), nullptr;
    thread_local ProtoStorage st;
    int number = 0;
    std::string official;
    if (!sys::LookupProtocol(name, number, official)) return Fail(WSANO_DATA), nullptr;
    st.name = official;
    st.entry.p_name = st.name.data();
    st.entry.p_aliases = st.noAliases;
    st.entry.p_proto = static_cast<short>(number);
    return &st.entry;
}

int getaddrinfo(const char* node, const char*, const addrinfo* hints, addrinfo** res) {
    if (!sys::Started()) return WSANOTINITIALISED;
    if (!node || !res) return WSAEFAULT;
    *res = nullptr;
    const int family = hints ? hints->ai_family : AF_UNSPEC;
    if (family != AF_UNSPEC && family != AF_INET && family != AF_INET6) return WSAEAFNOSUPPORT;
    std::vector<sys::Address> addrs;
    std::string official;
    if (int err = sys::ResolveForward(node, addrs, official)) return err;
    addrinfo** tail = res;
    for (const auto& a : addrs) {
        if ((family == AF_INET && a.v6) || (family == AF_INET6 && !a.v6)) continue;
        auto* ai = new addrinfo{};
        auto* record = new SOCKADDR_INET{};
        int len = sizeof *record;
        FromAddress(a, reinterpret_cast<sockaddr*>(record), &len);
        ai->ai_family = a.v6 ? AF_INET6 : AF_INET;
        ai->ai_socktype = SOCK_STREAM;
        ai->ai_protocol = IPPROTO_TCP;
        ai->ai_addrlen = static_cast<std::size_t>(len);
        ai->ai_addr = reinterpret_cast<sockaddr*>(record);
        *tail = ai;
        tail = &ai->ai_next;
    }
    return *res ? 0 : WSANO_DATA;
}

void freeaddrinfo(addrinfo* ai) {
    while (ai) {
        addrinfo* next = ai->ai_next;
        delete reinterpret_cast<SOCKADDR_INET*>(ai->ai_addr);
        delete ai;
        ai = next;
    }
}

u_long inet_addr(const char* cp) { return sys::ParseDotted(cp); }

int inet_pton(int af, const char* src, void* dst) {
    if (!src || !dst) return 0;
    if (af == AF_INET6) return sys::ParseIpv6(src, static_cast<u_char*>(dst)) ? 1 : 0;
    if (af != AF_INET) return 0;
    // Only the strict form a.b.c.d, unlike inet_addr.
    std::uint8_t bytes[16];
    std::string mapped = std::string("::ffff:") + src;
    if (std::strchr(src, ':') || !sys::ParseIpv6(mapped.c_str(), bytes)) return 0;
    std::memcpy(dst, bytes + 12, 4);
    return 1;
}

const char* inet_ntop(int af, const void* src, char* dst, std::size_t size) {
    if (!src || !dst) return Fail(WSAEFAULT), nullptr;
    std::string text;
    if (af == AF_INET6) {
        text = sys::FormatIpv6(static_cast<const u_char*>(src));
    } else if (af == AF_INET) {
        u_long a;
        std::memcpy(&a, src, 4);
        text = sys::FormatDotted(a);
    } else {
        return Fail(WSAEAFNOSUPPORT), nullptr;
    }
    if (text.size() + 1 > size) return Fail(WSAEINVAL), nullptr;
    std::memcpy(dst, text.c_str(), text.size() + 1);
    return dst;
}

char* inet_ntoa(in_addr in) {
    thread_local char buf[16];
    std::string s = sys::FormatDotted(in.s_addr);
    std::strncpy(buf, s.c_str(), sizeof buf - 1);
    buf[sizeof buf - 1] = '\0';
    return buf;
}

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
u_short htons(u_short v) { return __builtin_bswap16(v); }
u_long htonl(u_long v) { return __builtin_bswap32(v); }
#else
u_short htons(u_short v) { return v; }
u_long htonl(u_long v) { return v; }
#endif
u_short ntohs(u_short v) { return htons(v); }
u_long ntohl(u_long v) { return htonl(v); }

namespace seams {
void SetForwardResolver(ForwardResolver resolver) {
    if (!resolver) return sys::SetForwardResolver(nullptr);
    sys::SetForwardResolver([resolver = std::move(resolver)](const std::string& name,
                                                             std::vector<sys::Address>& addrs,
                                                             std::string& official) {
        std::vector<u_long> v4;
        int err = resolver(name, v4, official);
        for (u_long a : v4) addrs.push_back(sys::Address{false, a, {}, 0, 0});
        return err;
    });
}
void SetNameResolver(NameResolver resolver) {
    if (!resolver) return sys::SetForwardResolver(nullptr);
    sys::SetForwardResolver([resolver = std::move(resolver)](const std::string& name,
                                                             std::vector<sys::Address>& addrs,
                                                             std::string& official) {
        std::vector<std::string> texts;
        int err = resolver(name, texts);
        official = name;
        for (const auto& t : texts) {
            sys::Address a;
            if (sys::ParseIpv6(t.c_str(), a.addr6)) a.v6 = true;
            else a.addr = sys::ParseDotted(t.c_str());
            addrs.push_back(a);
        }
        return err;
    });
}
void FailNextConnect(int wsaError) { sys::FailNextConnect(wsaError); }
int OpenSocketCount() { return sys::OpenCount(); }
int SetDeadPeerTimeout(SOCKET s, unsigned ms) { return sys::SetDeadPeerTimeout(s, ms); }
void UseSystemNameTables(bool use) { sys::UseSystemNameTables(use); }
}  // namespace seams

}  // namespace winsock

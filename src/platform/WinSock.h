// The socket API the socket layer is written against: the functions, records,
// option numbers and error numbers of the original platform's socket library,
// implemented over BSD sockets.
//
// Do not include this header together with the system's socket headers in one
// file: those define many of the same names as macros.
//
// Contract:
//  - Handles are never reused and 0 is never a handle; INVALID_SOCKET is all
//    bits set. Sockets are non-blocking once WSAAsyncSelect was called.
//  - Errors are reported as the original numbers through WSAGetLastError
//    (per thread); errno never leaks out.
//  - WSAAsyncSelect posts one message per readiness event to the window's
//    thread: wParam = socket, LOWORD(lParam) = event bit, HIWORD = error.
//    FD_READ is not posted again until recv is called; FD_WRITE once after
//    connect/accept, then only after a send that would block or was short;
//    FD_ACCEPT re-armed by accept; FD_CONNECT and FD_CLOSE once each, FD_CLOSE
//    only when no unread data is left (error 0 orderly, 10054 reset).
//    Selecting again reports at once what holds then: FD_WRITE on a writable
//    socket, FD_READ when data is waiting, FD_ACCEPT with a connection pending.
//  - closesocket never blocks: with linger on and a time-out it answers
//    WSAEWOULDBLOCK while unsent data remains and the time-out runs, then resets.
//  - Host lookups run on a worker thread and deliver their reply as a message;
//    the host entry is written into the caller's buffer on the owning thread.
//  - IPv6 (AF_INET6, sockaddr_in6) stands beside IPv4 wherever an address
//    record is taken or given; a record given back must have room for the
//    socket's family (sockaddr_in6 or SOCKADDR_INET for an IPv6 socket), else
//    WSAEFAULT. WSAAsyncGetHostByName answers IPv4 alone, as the original
//    did; WSAAsyncGetAddrInfo and getaddrinfo answer both families in the
//    system's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/WinSockCodes.h"

namespace winsock {

using platform::HWND;
using platform::UINT;
using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t;
using u_long = std::uint32_t;
using u_short = std::uint16_t;
using u_char = std::uint8_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_UNSPEC = 0;
constexpr int AF_INET = 2;
constexpr int PF_INET = 2;
constexpr int AF_INET6 = 23;
constexpr int PF_INET6 = 23;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_DEBUG = 0x0001;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_DONTROUTE = 0x0010;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_OOBINLINE = 0x0100;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;
constexpr int TCP_NODELAY = 0x0001;
constexpr int IP_MULTICAST_IF = 2;
constexpr int IP_MULTICAST_TTL = 3;
constexpr int IP_MULTICAST_LOOP = 4;
constexpr int IP_ADD_MEMBERSHIP = 5;
constexpr int IP_DROP_MEMBERSHIP = 6;

constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;

constexpr long FIONREAD = 0x4004667F;
constexpr long FIONBIO = static_cast<long>(0x8004667EL);

constexpr u_long INADDR_ANY = 0x00000000;
constexpr u_long INADDR_NONE = 0xFFFFFFFF;
constexpr u_long INADDR_BROADCAST = 0xFFFFFFFF;

constexpr int MAXGETHOSTSTRUCT = 1024;

struct in_addr {
    u_long s_addr;  // network byte order
};

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;  // network byte order
    in_addr sin_addr;
    char sin_zero[8];
};

struct in6_addr {
    u_char s6_addr[16];
};

struct sockaddr_in6 {
    short sin6_family;
    u_short sin6_port;  // network byte order
    u_long sin6_flowinfo;
    in6_addr sin6_addr;
    u_long sin6_scope_id;
};

// An address record of either family, told apart by si_family.
union SOCKADDR_INET {
    sockaddr_in Ipv4;
    sockaddr_in6 Ipv6;
    short si_family;
};

struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};

struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

struct servent {
    char* s_name;
    char** s_aliases;
    short s_port;  // network byte order
    char* s_proto;
};

struct protoent {
    char* p_name;
    char** p_aliases;
    short p_proto;
};

// The option record of SO_LINGER: two 16-bit words.
struct linger {
    u_short l_onoff;
    u_short l_linger;
};

struct ip_mreq {
    in_addr imr_multiaddr;
    in_addr imr_interface;
};

struct WSAData {
    std::uint16_t wVersion;
    std::uint16_t wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char* lpVendorInfo;
};

inline long WSAMAKESELECTREPLY(unsigned event, unsigned error) {
    return static_cast<long>(((error & 0xFFFFu) << 16) | (event & 0xFFFFu));
}
inline unsigned WSAGETSELECTEVENT(platform::LPARAM l) { return platform::LOWORD(l); }
inline unsigned WSAGETSELECTERROR(platform::LPARAM l) { return platform::HIWORD(l); }
inline unsigned WSAGETASYNCERROR(platform::LPARAM l) { return platform::HIWORD(l); }
inline unsigned WSAGETASYNCBUFLEN(platform::LPARAM l) { return platform::LOWORD(l); }

int WSAStartup(std::uint16_t versionRequested, WSAData* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();

int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events);
HANDLE WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND hwnd, UINT msg, const char* addr, int len, int type, char* buf,
                             int buflen);
// Both families: the reply message carries the error in its high word, and
// buf then holds an addrinfo chain (as many addresses as fit, at least one).
HANDLE WSAAsyncGetAddrInfo(HWND hwnd, UINT msg, const char* name, char* buf, int buflen);
int WSACancelAsyncRequest(HANDLE task);

SOCKET socket(int af, int type, int protocol);
int bind(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
// Not in Winsock: 1 when the peer of a stream has closed, 0 when it has not
// (bytes wait, or nothing yet), SOCKET_ERROR (WSAGetLastError) for a
// connection that failed or ended in error. Takes no bytes.
int PeerClosed(SOCKET s);

// Blocking lookups; results live in per-thread storage until the next call.
hostent* gethostbyname(const char* name);
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
// Blocking lookup of both families (hints: ai_family AF_UNSPEC, AF_INET or
// AF_INET6; service ignored, ports 0). Returns 0 or a WSA error number.
int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res);
void freeaddrinfo(addrinfo* ai);

u_long inet_addr(const char* cp);
char* inet_ntoa(in_addr in);  // per-thread storage
// 1 when src is an address of the family (AF_INET: dotted quad only), else 0.
int inet_pton(int af, const char* src, void* dst);
const char* inet_ntop(int af, const void* src, char* dst, std::size_t size);
u_short htons(u_short v);
u_long htonl(u_long v);
u_short ntohs(u_short v);
u_long ntohl(u_long v);

// Seams for tests.
namespace seams {
// A forward resolver: fills addresses (network order) for a name, or returns a
// WSA error number (11001..11004). nullptr restores the system's resolver.
using ForwardResolver = std::function<int(const std::string& name, std::vector<u_long>& addrs,
                                          std::string& officialName)>;
void SetForwardResolver(ForwardResolver resolver);
// The same with addresses of both families as text ("::1", "127.0.0.1"), in
// the order a lookup gives them.
using NameResolver = std::function<int(const std::string& name, std::vector<std::string>& addrs)>;
void SetNameResolver(NameResolver resolver);
// Makes the next connect() fail at once with this error (0 clears).
void FailNextConnect(int wsaError);
// Number of handles currently open.
int OpenSocketCount();
// Gives up a connection whose sent bytes stay unacknowledged (or whose peer's
// window stays shut) for ms milliseconds, as a dead peer does: the kernel's
// own time-out, made short enough for a test.
int SetDeadPeerTimeout(SOCKET s, unsigned ms);
// false: service and protocol names come from the built-in answers alone, as
// on a system without /etc/services and /etc/protocols.
void UseSystemNameTables(bool use);
}  // namespace seams

}  // namespace winsock

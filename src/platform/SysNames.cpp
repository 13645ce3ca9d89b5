// The socket table's name services: forward and reverse host lookups of both
// families and the text forms of addresses.
#include "platform/SysSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/ErrorMap.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

// Each lookup holds the resolver it started with: one replaced or left at
// exit while a lookup thread still runs it stays alive until that returns.
// Never destroyed, for the same reason.
std::shared_ptr<const ForwardResolver>& Resolver() {
    static auto* r = new std::shared_ptr<const ForwardResolver>;
    return *r;
}
std::mutex gResolverMutex;

bool SameAddress(const Address& a, const Address& b) {
    if (a.v6 != b.v6) return false;
    return a.v6 ? std::memcmp(a.addr6, b.addr6, 16) == 0 && a.scope == b.scope : a.addr == b.addr;
}

}  // namespace

void SetForwardResolver(ForwardResolver resolver) {
    std::lock_guard<std::mutex> lock(gResolverMutex);
    Resolver() = resolver ? std::make_shared<const ForwardResolver>(std::move(resolver)) : nullptr;
}

int ResolveForward(const std::string& name, std::vector<Address>& addrs, std::string& official) {
    std::shared_ptr<const ForwardResolver> custom;
    {
        std::lock_guard<std::mutex> lock(gResolverMutex);
        custom = Resolver();
    }
    addrs.clear();
    official.clear();
    if (custom) return (*custom)(name, addrs, official);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0) return WsaFromResolver(rc, errno);
    for (addrinfo* p = res; p; p = p->ai_next) {
        Address a;
        if (p->ai_family == AF_INET) {
            a.addr = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
        } else if (p->ai_family == AF_INET6) {
            const auto* sin6 = reinterpret_cast<sockaddr_in6*>(p->ai_addr);
            a.v6 = true;
            std::memcpy(a.addr6, &sin6->sin6_addr, 16);
            a.scope = sin6->sin6_scope_id;
        } else {
            continue;
        }
        if (std::none_of(addrs.begin(), addrs.end(), [&](const Address& b) { return SameAddress(a, b); }))
            addrs.push_back(a);
        if (official.empty() && p->ai_canonname) official = p->ai_canonname;
    }
    ::freeaddrinfo(res);
    if (official.empty()) official = name;
    return addrs.empty() ? winsock::WSANO_DATA : 0;
}

int ResolveReverse(const Address& addr, std::string& name) {
    sockaddr_storage ss{};
    socklen_t len;
    if (addr.v6) {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&ss);
        sin6->sin6_family = AF_INET6;
        std::memcpy(&sin6->sin6_addr, addr.addr6, 16);
        sin6->sin6_scope_id = addr.scope;
        len = sizeof *sin6;
    } else {
        auto* sin = reinterpret_cast<sockaddr_in*>(&ss);
        sin->sin_family = AF_INET;
        sin->sin_addr.s_addr = addr.addr;
        len = sizeof *sin;
    }
    char host[NI_MAXHOST];
    int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&ss), len, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return WsaFromResolver(rc, errno);
    name = host;
    return 0;
}

std::uint32_t ParseDotted(const char* text) {
    if (!text || !*text) return INADDR_NONE;
    in_addr a{};
    if (::inet_aton(text, &a) == 0) return INADDR_NONE;
    return a.s_addr;
}

std::string FormatDotted(std::uint32_t addr) {
    in_addr a{};
    a.s_addr = addr;
    char buf[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

bool ParseIpv6(const char* text, std::uint8_t out[16]) {
    if (!text) return false;
    in6_addr a{};
    if (::inet_pton(AF_INET6, text, &a) != 1) return false;
    std::memcpy(out, &a, 16);
    return true;
}

std::string FormatIpv6(const std::uint8_t addr[16]) {
    in6_addr a{};
    std::memcpy(&a, addr, 16);
    char buf[INET6_ADDRSTRLEN];
    ::inet_ntop(AF_INET6, &a, buf, sizeof buf);
    return buf;
}

}  // namespace platform::sys

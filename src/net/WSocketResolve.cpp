#include "net/WSocketResolve.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/Strings.h"
#include "net/WSocketLoader.h"
#include "net/WSocketTypes.h"
#include "platform/WinSock.h"

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool WSocketIsDottedAddr(std::string_view s) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    if (i == n || s[i] == '.') return false;
    int dots = 0;
    int part = 0;
    for (; i < n; ++i) {
        char c = s[i];
        if (IsDigit(c)) {
            part = part * 10 + (c - '0');
            if (part > 255) part = 256;  // already too big; keeps the value bounded
        } else if (c == '.') {
            if (++dots > 3 || part > 255 || i + 1 == n || !IsDigit(s[i + 1])) return false;
            part = 0;
        } else {
            for (; i < n; ++i)
                if (s[i] != ' ') return false;
            break;
        }
    }
    return dots == 3 && part <= 255;
}

int DigitsToInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    long long value = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return static_cast<int>(value);
}

std::uint32_t WSocketResolveHost(const std::string& InAddr) {
    if (InAddr.empty() || InAddr.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
    WSocketEntryPoint();
    std::string name = Trim(InAddr);
    if (WSocketIsDottedAddr(name)) {
        winsock::u_long addr = winsock::inet_addr(name.c_str());
        if (addr == winsock::INADDR_NONE) {
            if (name == "255.255.255.255") return winsock::INADDR_BROADCAST;
            throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.");
        }
        return addr;
    }
    winsock::hostent* host = winsock::gethostbyname(name.c_str());
    if (!host || !host->h_addr_list || !host->h_addr_list[0])
        throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                      InAddr.c_str(), winsock::WSAGetLastError()));
    winsock::in_addr addr;
    std::memcpy(&addr, host->h_addr_list[0], sizeof addr);
    return addr.s_addr;
}

bool WSocketIsIpv6Addr(std::string_view s) {
    winsock::in6_addr a;
    return s.find(':') != std::string_view::npos && winsock::inet_pton(winsock::AF_INET6, std::string(s).c_str(), &a) == 1;
}

std::vector<winsock::SOCKADDR_INET> WSocketResolveHostAll(const std::string& InAddr) {
    using namespace winsock;
    if (InAddr.empty() || InAddr.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
    std::string name = Trim(InAddr);
    SOCKADDR_INET one{};
    if (WSocketIsIpv6Addr(name)) {
        one.Ipv6.sin6_family = AF_INET6;
        inet_pton(AF_INET6, name.c_str(), &one.Ipv6.sin6_addr);
        return {one};
    }
    if (WSocketIsDottedAddr(name)) {
        one.Ipv4.sin_family = AF_INET;
        one.Ipv4.sin_addr.s_addr = WSocketResolveHost(InAddr);
        return {one};
    }
    WSocketEntryPoint();
    addrinfo* res = nullptr;
    int err = getaddrinfo(name.c_str(), nullptr, nullptr, &res);
    if (err != 0)
        throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                      InAddr.c_str(), err));
    std::vector<SOCKADDR_INET> all;
    for (addrinfo* p = res; p; p = p->ai_next) {
        SOCKADDR_INET record{};
        std::memcpy(&record, p->ai_addr, std::min(p->ai_addrlen, sizeof record));
        all.push_back(record);
    }
    freeaddrinfo(res);
    return all;
}

std::string WSocketAddrText(const winsock::SOCKADDR_INET& Addr) {
    using namespace winsock;
    char text[64];
    if (Addr.si_family == AF_INET6) return inet_ntop(AF_INET6, &Addr.Ipv6.sin6_addr, text, sizeof text);
    return inet_ntoa(Addr.Ipv4.sin_addr);
}

int WSocketResolvePort(const std::string& Port, const std::string& Proto) {
    if (Port.empty() || Port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (IsDigit(Port[0])) {
        int port = DigitsToInt(Port);
        // A number beyond 16 bits would silently name another port.
        if (port > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
        return port;
    }
    WSocketEntryPoint();
    winsock::servent* serv = winsock::getservbyname(Trim(Port).c_str(), Trim(Proto).c_str());
    if (!serv)
        throw ESocketException(Format("WSocketResolvePort: Cannot convert port '%s', Error #%d",
                                      Port.c_str(), winsock::WSAGetLastError()));
    return winsock::ntohs(static_cast<winsock::u_short>(serv->s_port));
}

int WSocketResolveProto(const std::string& Proto) {
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    std::string name = Trim(Proto);
    if (!name.empty() && IsDigit(name[0])) return DigitsToInt(name);
    WSocketEntryPoint();
    winsock::protoent* proto = winsock::getprotobyname(name.c_str());
    if (!proto)
        throw ESocketException(Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d",
                                      Proto.c_str(), winsock::WSAGetLastError()));
    return proto->p_proto;
}

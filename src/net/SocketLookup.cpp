// TCustomWSocket: asynchronous host lookups. The platform runs them in the
// background and posts the reply to the socket's window; at most one is
// pending per socket, and a new one cancels the old one silently.
#include "net/CustomWSocket.h"

#include <algorithm>
#include <cstring>

#include "net/WSocketLoader.h"
#include "net/WSocketResolve.h"

using namespace winsock;

namespace {
constexpr int kMaxLookupAddresses = 256;
}  // namespace

void TCustomWSocket::CancelPendingLookup() {
    if (LookupHandle == 0) return;
    WSACancelAsyncRequest(LookupHandle);
    // A reply already queued for it must not be taken for the next lookup's.
    platform::RemoveMessages(FWindowHandle, WM_HOST_BY_NAME_DONE, true, LookupHandle);
    platform::RemoveMessages(FWindowHandle, WM_HOST_BY_ADDR_DONE, true, LookupHandle);
    LookupHandle = 0;
}

// The common start of a lookup: an invalid argument is reported and completes
// with 10022; otherwise a pending lookup is cancelled silently and the results
// emptied. False when no lookup is to be started.
bool TCustomWSocket::BeginLookup(bool ArgumentValid, const char* InvalidMessage) {
    if (!ArgumentValid) {
        TLifeToken alive = LifeToken();
        RaiseError(InvalidMessage);
        if (alive) DoDnsLookupDone(WSAEINVAL);
        return false;
    }
    WSocketEntryPoint();
    CancelPendingLookup();
    FDnsResult.clear();
    FDnsResultList.Clear();
    return true;
}

void TCustomWSocket::ForwardDnsLookup(const std::string& HostName) {
    if (!BeginLookup(!HostName.empty(), "DNS lookup: invalid host name.")) return;

    in_addr addr{inet_addr(HostName.c_str())};
    if (addr.s_addr != INADDR_NONE) {
        FDnsResult = inet_ntoa(addr);
        DoDnsLookupDone(0);
        return;
    }
    if (WSocketIsIpv6Addr(HostName)) {
        FDnsResult = WSocketAddrText(WSocketResolveHostAll(HostName).front());
        DoDnsLookupDone(0);
        return;
    }
    // Both families, in the system's order.
    LookupHandle = WSAAsyncGetAddrInfo(FWindowHandle, WM_HOST_BY_NAME_DONE, HostName.c_str(),
                                       LookupBuffer, sizeof LookupBuffer);
    if (LookupHandle == 0)
        RaiseErrorFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(), WSAGetLastError());
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
    if (!BeginLookup(!HostAddr.empty() && HostAddr.size() <= 256, "ReverseDnsLookup: Invalid host name."))
        return;

    in6_addr addr6;
    if (inet_pton(AF_INET6, HostAddr.c_str(), &addr6) == 1) {
        LookupHandle = WSAAsyncGetHostByAddr(FWindowHandle, WM_HOST_BY_ADDR_DONE,
                                             reinterpret_cast<const char*>(&addr6), sizeof addr6,
                                             AF_INET6, LookupBuffer, sizeof LookupBuffer);
    } else {
        winsock::u_long addr = inet_addr(HostAddr.c_str());
        LookupHandle = WSAAsyncGetHostByAddr(FWindowHandle, WM_HOST_BY_ADDR_DONE,
                                             reinterpret_cast<const char*>(&addr), sizeof addr,
                                             AF_INET, LookupBuffer, sizeof LookupBuffer);
    }
    if (LookupHandle == 0)
        RaiseErrorFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(), WSAGetLastError());
}

void TCustomWSocket::AbortDnsLookup() {
    if (LookupHandle == 0) return;
    HANDLE task = LookupHandle;
    LookupHandle = 0;
    platform::RemoveMessages(FWindowHandle, WM_HOST_BY_NAME_DONE, true, task);
    platform::RemoveMessages(FWindowHandle, WM_HOST_BY_ADDR_DONE, true, task);
    if (WSACancelAsyncRequest(task) != 0) {
        ReportSocketError("WSACancelAsyncRequest");
        return;
    }
    if (!Destroying()) DoDnsLookupDone(WSAEINTR);
}

void TCustomWSocket::HandleHostByNameDone(platform::WPARAM WParam, platform::LPARAM LParam) {
    if (LookupHandle == 0 || static_cast<HANDLE>(WParam) != LookupHandle) return;
    LookupHandle = 0;
    auto error = static_cast<std::uint16_t>(WSAGETASYNCERROR(LParam));
    if (error == 0) {
        const auto* info = reinterpret_cast<const addrinfo*>(LookupBuffer);
        for (int i = 0; info && i < kMaxLookupAddresses; info = info->ai_next, ++i) {
            SOCKADDR_INET addr{};
            std::memcpy(&addr, info->ai_addr, std::min(info->ai_addrlen, sizeof addr));
            FDnsResultList.Add(WSocketAddrText(addr));
        }
        if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
    }
    DoDnsLookupDone(error);
}

void TCustomWSocket::HandleHostByAddrDone(platform::WPARAM WParam, platform::LPARAM LParam) {
    if (LookupHandle == 0 || static_cast<HANDLE>(WParam) != LookupHandle) return;
    LookupHandle = 0;
    auto error = static_cast<std::uint16_t>(WSAGETASYNCERROR(LParam));
    if (error == 0) {
        const auto* host = reinterpret_cast<const hostent*>(LookupBuffer);
        if (host->h_name) {
            FDnsResult = host->h_name;
            FDnsResultList.Add(FDnsResult);
        }
    }
    DoDnsLookupDone(error);
}

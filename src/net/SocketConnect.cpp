// TCustomWSocket: opening a connection, listening, accepting, adopting a handle.
#include "net/CustomWSocket.h"

#include <string>
#include <vector>

#include "net/WSocketLoader.h"
#include "net/WSocketResolve.h"

using namespace winsock;

namespace {
constexpr long kConnectMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 59
constexpr long kListenMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;                // 43
constexpr long kDupMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;                  // 51
}  // namespace

bool TCustomWSocket::SetOption(int Level, int Option, int Value, const char* Label) {
    if (setsockopt(FHSocket, Level, Option, reinterpret_cast<const char*>(&Value), sizeof Value) ==
        SOCKET_ERROR) {
        ReportSocketError(Label);
        return false;
    }
    return true;
}

// Closes a handle that never reached an open state, keeping the platform's
// error for the report that follows.
void TCustomWSocket::CloseFailedHandle() {
    int error = WSAGetLastError();
    if (FHSocket != INVALID_SOCKET) closesocket(FHSocket);
    FHSocket = INVALID_SOCKET;
    WSASetLastError(error);
}

// Resolves what is not resolved yet: protocol, port, (local port,) address.
// The resolver routines raise; callers prefix the message with their own name.
void TCustomWSocket::ResolveEndpoint(bool LocalPortToo) {
    WSocketEntryPoint();
    if (!FProtoResolved) {
        FProto = WSocketResolveProto(FProtoStr);
        FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
        FProtoResolved = true;
    }
    if (!FPortResolved) {
        FPortNum = WSocketResolvePort(FPortStr, FProtoStr);
        FPortResolved = true;
    }
    if (LocalPortToo && !FLocalPortResolved) {
        FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
        FLocalPortResolved = true;
    }
    if (!FAddrResolved) {
        std::vector<SOCKADDR_INET> all = WSocketResolveHostAll(FAddrStr);
        FSin = all.front();
        // Addresses given before the connect come after the name's own.
        FConnectAddrs.insert(FConnectAddrs.begin(), all.begin() + 1, all.end());
        FAddrFormat = FSin.si_family;
        FAddrResolved = true;
    }
    // The port sits at the same place in both families' records.
    FSin.Ipv4.sin_port = htons(static_cast<winsock::u_short>(FPortNum));
}

void TCustomWSocket::SetFallbackAddrs(const std::vector<std::string>& Addrs) {
    if (FState != wsClosed) {
        RaiseError("Cannot change Addr if not closed");
        return;
    }
    FConnectAddrs.clear();
    for (const std::string& text : Addrs) {
        std::vector<SOCKADDR_INET> one = WSocketResolveHostAll(text);
        FConnectAddrs.push_back(one.front());
    }
}

bool TCustomWSocket::OpenConnectHandle() {
    FHSocket = socket(FAddrFormat, FType, FProto);
    if (FHSocket == INVALID_SOCKET) {
        ReportSocketError("Connect (socket)");
        return false;
    }
    // Started from the last connection's close handler, perhaps: its end is over.
    ForgetConnectionEnd();
    return true;
}

void TCustomWSocket::Connect() {
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseError("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        RaiseError("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        RaiseError("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        RaiseError("Connect: No Protocol Specified");
        return;
    }
    try {
        ResolveEndpoint(true);
    } catch (const Exception& E) {
        FConnectAddrs.clear();
        RaiseError("connect: " + E.Message());
        return;
    }

    TLifeToken alive = LifeToken();
    DiscardSendBuffer();
    if (FType == SOCK_DGRAM) FConnectAddrs.clear();
    if (!OpenConnectHandle()) return;
    SetState(wsOpened);
    if (!alive) return;

    if (FType == SOCK_DGRAM) {
        if (!BindLocal() || !alive) return;
        if (MultiCast && MultiCastIpTTL != 1 &&
            !SetOption(IPPROTO_IP, IP_MULTICAST_TTL, MultiCastIpTTL, "setsockopt(IP_MULTICAST_TTL)"))
            return;
        if (FSin.si_family == AF_INET && FSin.Ipv4.sin_addr.s_addr == INADDR_BROADCAST &&
            !SetOption(SOL_SOCKET, SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)"))
            return;
    } else {
        int error = StartConnect();
        if (!alive) return;
        if (error == 0) {
            SetState(wsConnecting);
        } else if (error > 0) {
            FLastError = error;
            WSASetLastError(error);
            ReportSocketError("Connect");
        }
        return;
    }
    if (!alive) return;

    SelectMask = kConnectMask;
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, SelectMask) == SOCKET_ERROR) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    SetState(wsConnected);
    if (!alive) return;
    DoSessionConnected(0);
}

// The options and the connect of one stream attempt, on the handle just
// opened. A refused or unreachable address (or a family the system lacks)
// moves on to the next one at once. Returns 0 while a connect is under way,
// -1 when a failure was reported, else the last address's connect error, not
// yet reported.
int TCustomWSocket::StartConnect() {
    TLifeToken alive = LifeToken();
    for (;;) {
        int error = WSAGetLastError();
        if (FHSocket != INVALID_SOCKET) {
            bool ok = SetOption(SOL_SOCKET, SO_REUSEADDR, 1, "setsockopt(SO_REUSEADDR)") &&
                      (!(ComponentOptions & wsoTcpNoDelay) ||
                       SetOption(IPPROTO_TCP, TCP_NODELAY, 1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)")) &&
                      ApplyLinger() && SetOption(SOL_SOCKET, SO_KEEPALIVE, 1, "setsockopt(SO_KEEPALIVE)");
            if (!ok || !alive) return -1;
            const bool anyLocal = FLocalAddr == "0.0.0.0" || FLocalAddr == "::";
            if ((FLocalPortNum != 0 || !anyLocal) && (!BindLocal() || !alive)) return -1;
            SelectMask = kConnectMask;
            if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, SelectMask) == SOCKET_ERROR) {
                ReportSocketError("WSAAsyncSelect");
                return -1;
            }
            const int len = FSin.si_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            error = 0;
            if (connect(FHSocket, reinterpret_cast<const sockaddr*>(&FSin), len) == SOCKET_ERROR)
                error = WSAGetLastError();
            if (error == 0 || error == WSAEWOULDBLOCK) {
                if (!FConnectAddrs.empty())
                    platform::SetTimer(FWindowHandle, ConnectAttemptTimer, ConnectAttemptMs, false);
                return 0;
            }
        }
        WSASetLastError(error);
        if (!ConnectNextAddress()) return error ? error : WSAEINVAL;
    }
}

bool TCustomWSocket::ConnectNextAddress() {
    platform::KillTimer(FWindowHandle, ConnectAttemptTimer);
    if (FConnectAddrs.empty()) return false;
    int error = WSAGetLastError();
    if (FHSocket != INVALID_SOCKET) closesocket(FHSocket);  // no event for an abandoned attempt
    const auto port = FSin.Ipv4.sin_port;
    FSin = FConnectAddrs.front();
    FConnectAddrs.erase(FConnectAddrs.begin());
    FSin.Ipv4.sin_port = port;
    FAddrFormat = FSin.si_family;
    FAddrStr = WSocketAddrText(FSin);
    WSASetLastError(error);
    FHSocket = socket(FAddrFormat, FType, FProto);
    return true;
}

void TCustomWSocket::HandleConnectAttemptTimer() {
    platform::KillTimer(FWindowHandle, ConnectAttemptTimer);
    if (FState != wsConnecting || FConnectAddrs.empty()) return;
    WSASetLastError(WSAETIMEDOUT);
    ConnectNextAddress();
    if (int error = StartConnect(); error > 0) ConnectFailed(static_cast<std::uint16_t>(error));
}

// A stream connect that ended in an error: told as the platform's own
// failed connect notification is.
void TCustomWSocket::ConnectFailed(std::uint16_t Error) {
    TLifeToken alive = LifeToken();
    FLastError = Error;
    SetState(wsConnected);
    if (!alive) return;
    DoSessionConnected(Error);
    if (alive && FState != wsClosed) Disconnect();
}

bool TCustomWSocket::BindLocal() {
    SOCKADDR_INET local{};
    int len = sizeof local.Ipv4;
    if (FAddrFormat == AF_INET6) {
        // The IPv4 wildcard stands for any address of either family.
        if (FLocalAddr != "0.0.0.0") local = WSocketResolveHostAll(FLocalAddr).front();
        local.Ipv6.sin6_family = AF_INET6;
        len = sizeof local.Ipv6;
    } else {
        local.Ipv4.sin_family = AF_INET;
        local.Ipv4.sin_addr.s_addr = FLocalAddr == "::" ? INADDR_ANY : WSocketResolveHost(FLocalAddr);
    }
    local.Ipv4.sin_port = htons(static_cast<winsock::u_short>(FLocalPortNum));
    if (bind(FHSocket, reinterpret_cast<const sockaddr*>(&local), len) == SOCKET_ERROR) {
        RaiseErrorFmt("winsock.bind failed, error #%d", WSAGetLastError());
        return false;
    }
    len = sizeof local;
    if (getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) == SOCKET_ERROR) {
        RaiseErrorFmt("winsock.getsockname failed, error #%d", WSAGetLastError());
        return false;
    }
    FLocalPortNum = ntohs(local.Ipv4.sin_port);
    FLocalPortStr = std::to_string(FLocalPortNum);
    return true;
}

bool TCustomWSocket::ApplyLinger() {
    if (LingerOnOff == wsLingerNoSet) return true;
    if (FHSocket == INVALID_SOCKET) {
        RaiseError("Cannot set linger option at this time");
        return false;
    }
    linger li{static_cast<winsock::u_short>(LingerOnOff == wsLingerOn ? 1 : 0),
              static_cast<winsock::u_short>(LingerTimeout)};
    if (setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&li), sizeof li) ==
        SOCKET_ERROR) {
        ReportSocketError("setsockopt(SO_LINGER)");
        return false;
    }
    return true;
}

void TCustomWSocket::Listen() {
    if (!FPortAssigned) {
        WSASetLastError(WSAEINVAL);
        ReportSocketError("listen: port not assigned");
        return;
    }
    if (!FProtoAssigned) {
        WSASetLastError(WSAEINVAL);
        ReportSocketError("listen: protocol not assigned");
        return;
    }
    if (!FAddrAssigned) {
        WSASetLastError(WSAEINVAL);
        ReportSocketError("listen: address not assigned");
        return;
    }
    try {
        ResolveEndpoint(false);
    } catch (const Exception& E) {
        RaiseError("listen: " + E.Message());
        return;
    }

    TLifeToken alive = LifeToken();
    DiscardSendBuffer();
    FConnectAddrs.clear();  // a listener binds the first address alone
    FHSocket = socket(FAddrFormat, FType, FProto);
    if (FHSocket == INVALID_SOCKET) {
        ReportSocketError("socket");
        return;
    }
    ForgetConnectionEnd();
    if (FType == SOCK_DGRAM && ReuseAddr) {
        int one = 1;
        if (setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                       sizeof one) == SOCKET_ERROR) {
            CloseFailedHandle();
            ReportSocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
    }
    if (bind(FHSocket, reinterpret_cast<const sockaddr*>(&FSin),
             FSin.si_family == AF_INET6 ? sizeof FSin.Ipv6 : sizeof FSin.Ipv4) == SOCKET_ERROR) {
        // The handle is still in the closed state, where Disconnect would leave it open.
        CloseFailedHandle();
        ReportSocketError("Bind");
        return;
    }
    SetState(wsBound);
    if (!alive) return;

    if (FType == SOCK_DGRAM && MultiCast) {
        ip_mreq mreq{};
        mreq.imr_multiaddr.s_addr = inet_addr(MultiCastAddrStr.c_str());
        mreq.imr_interface.s_addr = htonl(INADDR_ANY);
        if (setsockopt(FHSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&mreq),
                       sizeof mreq) == SOCKET_ERROR) {
            ReportSocketError("setsockopt(IP MULTICAST)");
            return;
        }
    }
    SOCKET s = FHSocket;
    if (FType == SOCK_DGRAM) {
        SetState(wsListening);
        if (!alive) return;
        SetState(wsConnected);
        if (!alive) return;
        DoSessionConnected(0);
        if (!alive || FHSocket != s) return;
    } else {
        if (listen(FHSocket, 5) == SOCKET_ERROR) {
            ReportSocketError("Listen");
            return;
        }
        SetState(wsListening);
        if (!alive || FHSocket != s) return;
    }
    SelectMask = kListenMask;
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, SelectMask) == SOCKET_ERROR)
        ReportSocketError("WSAASyncSelect");
}

SOCKET TCustomWSocket::Accept() {
    if (FState != wsListening) {
        WSASetLastError(WSAEINVAL);
        ReportSocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    int len = sizeof FSin;
    SOCKET s = accept(FHSocket, reinterpret_cast<sockaddr*>(&FSin), &len);
    if (s == INVALID_SOCKET) {
        ReportSocketError("Accept");
        return INVALID_SOCKET;
    }
    return s;
}

void TCustomWSocket::Dup(SOCKET NewHSocket) {
    if (NewHSocket == 0 || NewHSocket == INVALID_SOCKET) {
        WSASetLastError(WSAEINVAL);
        ReportSocketError("Dup");
        return;
    }
    TLifeToken alive = LifeToken();
    if (FState != wsClosed) {
        if (FHSocket != INVALID_SOCKET && closesocket(FHSocket) == SOCKET_ERROR) {
            ReportSocketError("Dup (closesocket)");
            return;
        }
        FHSocket = INVALID_SOCKET;
        SetState(wsClosed);
        if (!alive) return;
    }
    ForgetConnection();
    FHSocket = NewHSocket;
    if (!ApplyLinger()) return;
    SelectMask = kDupMask;
    if (WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, SelectMask) == SOCKET_ERROR) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    SetState(wsConnected);
}

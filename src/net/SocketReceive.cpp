// TCustomWSocket: receiving, and the local and peer address queries.
#include "net/CustomWSocket.h"

#include "net/WSocketResolve.h"

using namespace winsock;

bool TCustomWSocket::ReceiveLoop(std::uint16_t Error, TWSocketOptions Options) {
    TLifeToken alive = LifeToken();
    for (;;) {
        try {
            FLastError = 0;
            const std::int64_t readBefore = FReadCount;
            const std::uint64_t platformReadsBefore = FPlatformReads;
            if (!DoDataAvailable(Error)) {
                if (!alive) return false;
                // Nobody wants the data: drop it so the notifications go on.
                char discard[1024];
                if (RawReceive(discard, sizeof discard) == SOCKET_ERROR) {
                    FLastError = WSAGetLastError();
                    if (FLastError == WSAEWOULDBLOCK) {
                        FLastError = 0;
                        break;
                    }
                }
            }
            if (!alive) return false;
            if (Options & wsoNoReceiveLoop) break;
            if (FLastError != 0) break;
            // A handler that read nothing would be offered the same bytes forever.
            if (FReadCount == readBefore && FPlatformReads == platformReadsBefore) break;
            if (FHSocket == INVALID_SOCKET) break;
            winsock::u_long waiting = 0;
            if (ioctlsocket(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) {
                FLastError = WSAGetLastError();
                break;
            }
            if (waiting == 0) break;
        } catch (...) {
            // Exceptions of data handlers end the loop and go no further.
            if (!alive) return false;
            break;
        }
    }
    return true;
}

int TCustomWSocket::Receive(void* Buffer, int BufferSize) {
    int r = RawReceive(Buffer, BufferSize);
    if (r < 0) FLastError = WSAGetLastError();
    else FReadCount += r;
    return r;
}

int TCustomWSocket::RawReceive(void* Buffer, int BufferSize) {
    ++FPlatformReads;
    return recv(FHSocket, static_cast<char*>(Buffer), BufferSize, 0);
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen) {
    int r = RawReceiveFrom(Buffer, BufferSize, From, FromLen);
    if (r < 0) FLastError = WSAGetLastError();
    else FReadCount += r;
    return r;
}

int TCustomWSocket::RawReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen) {
    ++FPlatformReads;
    return recvfrom(FHSocket, static_cast<char*>(Buffer), BufferSize, 0,
                    reinterpret_cast<sockaddr*>(&From), &FromLen);
}

int TCustomWSocket::RcvdCount() {
    if (ComponentState() & csDesigning) return -1;
    winsock::u_long waiting = 0;
    if (ioctlsocket(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) {
        ReportSocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(waiting);
}

std::string TCustomWSocket::ReceiveText() {
    int count = RcvdCount();
    if (count < 0) return {};
    if (count == 0) count = 255;
    std::string text(static_cast<size_t>(count), '\0');
    int r = Receive(text.data(), count);
    if (r <= 0) return {};
    text.resize(static_cast<size_t>(r));
    return text;
}

std::string TCustomWSocket::PeerAddr() {
    if (FState != wsConnected) return "error";
    SOCKADDR_INET peer{};
    int len = sizeof peer;
    if (getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) == SOCKET_ERROR) {
        ReportSocketError("GetPeerName");
        return "error";
    }
    return WSocketAddrText(peer);
}

std::string TCustomWSocket::PeerPort() {
    if (FState != wsConnected) return "error";
    SOCKADDR_INET peer{};
    int len = sizeof peer;
    if (getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) == SOCKET_ERROR) {
        ReportSocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(ntohs(peer.Ipv4.sin_port));
}

int TCustomWSocket::GetPeerSockAddr(sockaddr_in& Addr, int& AddrLen) {
    if (FState != wsConnected) return -1;
    return getpeername(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

int TCustomWSocket::GetLocalSockAddr(sockaddr_in& Addr, int& AddrLen) {
    return getsockname(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

int TCustomWSocket::GetPeerSockAddr(SOCKADDR_INET& Addr, int& AddrLen) {
    if (FState != wsConnected) return -1;
    return getpeername(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

int TCustomWSocket::GetLocalSockAddr(SOCKADDR_INET& Addr, int& AddrLen) {
    return getsockname(FHSocket, reinterpret_cast<sockaddr*>(&Addr), &AddrLen);
}

std::string TCustomWSocket::LocalPortText() {
    if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
    SOCKADDR_INET local{};
    int len = sizeof local;
    if (GetLocalSockAddr(local, len) != 0) return "error";
    return std::to_string(ntohs(local.Ipv4.sin_port));
}

std::string TCustomWSocket::LocalAddrText() {
    if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
    SOCKADDR_INET local{};
    int len = sizeof local;
    if (GetLocalSockAddr(local, len) != 0) return "error";
    return WSocketAddrText(local);
}

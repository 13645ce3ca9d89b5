// TCustomWSocket: the send queue.
//
// Send copies the caller's bytes into blocks of SendBlockSize and hands as
// much as the platform takes at once; the rest goes at the next write
// readiness. AllSent tells that the queue has drained; OnDataSent then fires
// from the message loop.
#include "net/CustomWSocket.h"

#include <algorithm>

using namespace winsock;

int TCustomWSocket::Send(const void* Data, int Len) {
    if (FState != wsConnected) {
        WSASetLastError(WSAENOTCONN);
        ReportSocketError("Send");
        return -1;
    }
    TLifeToken alive = LifeToken();
    FAllSent = false;
    int result = 0;
    if (Len > 0) {
        const int taken = SendUnqueued(static_cast<const char*>(Data), Len);
        if (!alive) return Len;
        QueueSendData(static_cast<const char*>(Data) + taken, Len - taken);
        result = Len;
    }
    TryToSend();
    if (!alive) return result;
    // Everything went at once: OnDataSent still comes from the loop, never from here.
    if (FAllSent && FHSocket != INVALID_SOCKET && !FDataSentPosted) {
        FDataSentPosted = true;
        platform::PostMessage(FWindowHandle, WM_SOCKET_EVENT, FHSocket,
                              WSAMAKESELECTREPLY(FD_WRITE, 0));
    }
    return result;
}

int TCustomWSocket::SendText(const std::string& Str) {
    if (Str.empty()) return 0;
    return Send(Str.data(), static_cast<int>(Str.size()));
}

int TCustomWSocket::SendTo(const sockaddr_in& Dest, int DestLen, const void* Data, int Len) {
    int r = sendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                   reinterpret_cast<const sockaddr*>(&Dest), DestLen);
    if (r > 0) DoSendData(r);
    return r;
}

int TCustomWSocket::RawSend(const void* Data, int Len) {
    int r;
    if (FType == SOCK_DGRAM)
        r = sendto(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                   reinterpret_cast<const sockaddr*>(&FSin),
                   FSin.si_family == AF_INET6 ? sizeof FSin.Ipv6 : sizeof FSin.Ipv4);
    else
        r = send(FHSocket, static_cast<const char*>(Data), Len, FSendFlags);
    if (r > 0) DoSendData(r);
    return r;
}

// With nothing queued, the caller's bytes go to the platform block by block
// straight from the caller, as TryToSend would hand them from the queue;
// returns how many it took. Errors are left to TryToSend, which meets them
// again with what is left queued.
int TCustomWSocket::SendUnqueued(const char* Data, int Len) {
    const bool queued = !SendQueue.empty() && (SendQueue.size() > 1 || !SendQueue.front()->Front().empty());
    if (queued || FInTryToSend || FHSocket == INVALID_SOCKET) return 0;
    TLifeToken alive = LifeToken();
    int taken = 0;
    while (taken < Len) {
        const int offered = std::min(SendBlockSize, Len - taken);
        const std::uint64_t generation = FQueueGeneration;
        const int r = RawSend(Data + taken, offered);
        if (!alive || generation != FQueueGeneration) return Len;  // destroyed or queue discarded
        if (r <= 0) break;
        taken += r;
        FBytesSent += static_cast<std::uint64_t>(r);
        if (r < offered || FHSocket == INVALID_SOCKET) break;
    }
    return taken;
}

void TCustomWSocket::QueueSendData(const void* Data, int Len) {
    if (Len < 1) return;
    if (SendQueue.empty()) SendQueue.push_back(std::make_unique<TBuffer>(SendBlockSize));
    TBuffer* block = SendQueue.back().get();
    const char* p = static_cast<const char*>(Data);
    for (;;) {
        int taken = block->Append(p, Len);
        if (taken >= Len) break;
        p += taken;
        Len -= taken;
        SendQueue.push_back(std::make_unique<TBuffer>(SendBlockSize));
        block = SendQueue.back().get();
    }
}

void TCustomWSocket::DiscardSendBuffer() {
    SendQueue.clear();
    ++FQueueGeneration;
}

void TCustomWSocket::TryToSend() {
    if (FHSocket == INVALID_SOCKET) return;
    // A queue that never held a block is as drained as an emptied one.
    if (SendQueue.empty()) {
        FAllSent = true;
        return;
    }
    // A handler of OnSendData may send again: the running loop carries that data.
    if (FInTryToSend) return;
    TLifeToken alive = LifeToken();
    struct TReentryGuard {
        TCustomWSocket* self;
        const TLifeToken& alive;
        ~TReentryGuard() {
            if (alive) self->FInTryToSend = false;
        }
    } guard{this, alive};
    FInTryToSend = true;

    for (;;) {
        TBuffer* block = SendQueue.front().get();
        std::span<const char> unread = block->Front();
        if (unread.empty()) {
            if (SendQueue.size() == 1) {
                FAllSent = true;
                if (FCloseLaterPending) platform::PostMessage(FWindowHandle, WM_CLOSE_LATER, 0, 0);
                return;
            }
            SendQueue.pop_front();
            continue;
        }
        const std::uint64_t generation = FQueueGeneration;
        const int offered = static_cast<int>(unread.size());
        int r = RawSend(unread.data(), offered);
        if (!alive || generation != FQueueGeneration) return;  // destroyed or queue discarded
        if (r == 0) return;
        if (r == SOCKET_ERROR) {
            int error = WSAGetLastError();
            switch (error) {
            case WSAECONNRESET:
            case WSAENOTSOCK:
            case WSAENOTCONN:
            case WSAEINVAL:
            case WSAECONNABORTED:
                // OnSessionClosed fires once, carrying the send error.
                CloseInvoked = true;
                Disconnect();
                if (!alive) return;
                DoSessionClosed(static_cast<std::uint16_t>(error));
                return;
            case WSAEWOULDBLOCK: return;  // the rest goes at the next write readiness
            default:
                WSASetLastError(error);
                ReportSocketError("TryToSend failed");
                return;
            }
        }
        block->Consume(r);
        FBytesSent += static_cast<std::uint64_t>(r);
        if (r < offered || FHSocket == INVALID_SOCKET) return;
    }
}

void TCustomWSocket::Flush() {
    PumpUntil([this] { return FHSocket == INVALID_SOCKET || FAllSent; }, [this] { TryToSend(); });
}

// TCustomWSocket: closing a connection, now or from the message loop.
#include "net/CustomWSocket.h"

using namespace winsock;

void TCustomWSocket::Disconnect() { DisconnectInternal(true, 0); }

void TCustomWSocket::Abort() {
    TLifeToken alive = LifeToken();
    AbortDnsLookup();
    if (!alive) return;
    DiscardSendBuffer();
    if (FState == wsConnected && FType == SOCK_STREAM) {
        LingerOnOff = wsLingerOff;
        ApplyLinger();
        if (!alive) return;
    }
    DisconnectInternal(false, 0);
}

void TCustomWSocket::DisconnectInternal(bool Shutdown, std::uint16_t Error) {
    TLifeToken alive = LifeToken();
    if (FHSocket == INVALID_SOCKET) {
        if (FState != wsClosed) {
            SetState(wsClosed);
            if (!alive) return;
            ResetToDefaults();
        }
        return;
    }
    if (FState == wsClosed) return;
    if (Shutdown) shutdown(FHSocket, 1);

    const SOCKET s = FHSocket;
    int error = 0;
    // A lingering close with data still unsent: the loop runs meanwhile.
    if (!PumpUntil([&] {
            if (FHSocket != s) return true;
            error = closesocket(s) == SOCKET_ERROR ? WSAGetLastError() : 0;
            return error != WSAEWOULDBLOCK;
        }) ||
        FHSocket != s)
        return;
    if (error != 0) {
        FHSocket = INVALID_SOCKET;
        if (error != WSANOTINITIALISED) {
            WSASetLastError(error);
            ReportSocketError("Disconnect (closesocket)");
            return;
        }
    }
    FHSocket = INVALID_SOCKET;
    SetState(wsClosed);
    if (!alive) return;
    if (!Destroying() && !CloseInvoked) {
        CloseInvoked = true;
        DoSessionClosed(Error);
        if (!alive) return;
    }
    // A handler that connected again owns the socket's state now.
    if (FHSocket != INVALID_SOCKET) return;
    try {
        ResetToDefaults();
    } catch (...) {
    }
}

void TCustomWSocket::DisconnectLater() {
    platform::PostMessage(FWindowHandle, WM_CLOSE_LATER, 0, 0);
}

void TCustomWSocket::HandleCloseLater() {
    // Data still queued goes out first; TryToSend posts us again once drained.
    if (FHSocket != INVALID_SOCKET && FState == wsConnected && !FAllSent) {
        if (!FCloseLaterPending) {
            FCloseLaterPending = true;
            FCloseLaterMark = FBytesSent;
            unsigned seconds = LingerTimeout > 0 ? static_cast<unsigned>(LingerTimeout)
                                                 : DefaultCloseLaterStallSeconds;
            platform::SetTimer(FWindowHandle, CloseLaterTimer, seconds * 1000u, true);
        }
        return;
    }
    Disconnect();
}

// A peer that stopped reading would hold the close back for ever.
void TCustomWSocket::HandleCloseLaterTimer() {
    if (!FCloseLaterPending) {
        platform::KillTimer(FWindowHandle, CloseLaterTimer);
        return;
    }
    if (FBytesSent != FCloseLaterMark) {
        FCloseLaterMark = FBytesSent;
        return;
    }
    DiscardSendBuffer();
    DisconnectInternal(true, WSAETIMEDOUT);
}

void TCustomWSocket::FreeLater() { platform::PostMessage(FWindowHandle, WM_FREE_LATER, 0, 0); }

void TCustomWSocket::ShutdownSocket(int How) {
    if (FHSocket != INVALID_SOCKET) shutdown(FHSocket, How);
}

void TCustomWSocket::WaitForClose() {
    TLifeToken alive = LifeToken();
    bool stop = false;
    auto closed = [&] { return stop || FHSocket == INVALID_SOCKET || FState == wsClosed; };
    PumpUntil(closed, [&] {
        PumpMessages();
        if (!alive || closed()) return;
        winsock::u_long waiting = 0;
        if (ioctlsocket(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) {
            stop = true;
            return;
        }
        if (waiting > 0) {
            DoDataAvailable(0);
            if (!alive || FHSocket == INVALID_SOCKET) return;
        }
        // A zero-length read cannot tell the peer's close from "nothing yet".
        const int closed = PeerClosed(FHSocket);
        if (closed != 0) {
            FLastError = closed == 1 ? 0 : WSAGetLastError();
            stop = true;
        }
    });
}

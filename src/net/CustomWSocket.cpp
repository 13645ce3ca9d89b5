// TCustomWSocket: construction and destruction, the hidden window and its
// messages, properties, state, events and error reporting.
#include "net/CustomWSocket.h"

#include <cstdarg>
#include <cstdio>

#include "base/Strings.h"
#include "net/WSocketErrors.h"
#include "net/WSocketLoader.h"

using namespace winsock;

namespace {
constexpr int kMaxPumpedMessages = 10000;
}  // namespace

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner) {
    CreateSocketWindow();
    MultiCastIpTTL = 1;
    TCustomWSocket::ResetToDefaults();
    WSocketAddInstance();
}

TCustomWSocket::~TCustomWSocket() {
    BeginDestroy();
    try {
        CancelPendingLookup();
    } catch (...) {
    }
    try {
        if (FState != wsClosed) Disconnect();
    } catch (...) {
    }
    // A handle left by a failed Listen or Connect must not leak.
    if (FHSocket != INVALID_SOCKET) {
        closesocket(FHSocket);
        FHSocket = INVALID_SOCKET;
    }
    DiscardSendBuffer();
    DestroySocketWindow();
    FLife->Alive = false;
    TLifeToken::Release(FLife);
    WSocketReleaseInstance();
}

void TCustomWSocket::TLifeToken::Release(TLife* Life) {
    if (--Life->Refs == 0) delete Life;
}

void TCustomWSocket::CreateSocketWindow() {
    FWindowHandle = platform::CreateHiddenWindow(
        [this](platform::HWND Wnd, platform::UINT Msg, platform::WPARAM WParam,
               platform::LPARAM LParam) { return SocketWindowProc(Wnd, Msg, WParam, LParam); });
}

// The window's procedure; the window lives exactly as long as this object.
platform::LRESULT TCustomWSocket::SocketWindowProc(platform::HWND, platform::UINT Msg,
                                                   platform::WPARAM WParam, platform::LPARAM LParam) {
    return HandleSocketMessage(Msg, WParam, LParam);
}

void TCustomWSocket::DestroySocketWindow() {
    if (FWindowHandle) platform::DestroyWindow(FWindowHandle);
    FWindowHandle = 0;
}

platform::LRESULT TCustomWSocket::HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                                      platform::LPARAM LParam) {
    // Messages dispatched by a pump that runs inside our own destructor.
    if (Destroying()) return 0;
    TLifeToken alive = LifeToken();
    try {
        switch (Msg) {
        case WM_SOCKET_EVENT: DispatchSocketEvent(WParam, LParam); break;
        case WM_HOST_BY_NAME_DONE: HandleHostByNameDone(WParam, LParam); break;
        case WM_HOST_BY_ADDR_DONE: HandleHostByAddrDone(WParam, LParam); break;
        case WM_CLOSE_LATER: HandleCloseLater(); break;
        case platform::WM_TIMER:
            if (WParam == CloseLaterTimer) HandleCloseLaterTimer();
            if (WParam == ConnectAttemptTimer) HandleConnectAttemptTimer();
            break;
        case WM_FREE_LATER: delete this; break;
        case WM_TEST_EXCEPTION: throw ESocketException("Test exception in WSocket");
        default: break;
        }
    } catch (Exception& E) {
        if (alive) HandleBgException(E);
    }
    return 0;
}

void TCustomWSocket::HandleBgException(Exception& E) {
    TLifeToken alive = LifeToken();
    bool CanClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, CanClose);
        } catch (...) {
        }
        if (!alive) return;
    }
    if (CanClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::DispatchSocketEvent(platform::WPARAM WParam, platform::LPARAM LParam) {
    if (FEventDepth >= kMaxEventNesting) {
        FHeldEvents.emplace_back(WParam, LParam);
        return;
    }
    TLifeToken alive = LifeToken();
    struct TDepthGuard {
        TCustomWSocket* self;
        const TLifeToken& alive;
        ~TDepthGuard() {
            if (alive) --self->FEventDepth;
        }
    };
    {
        TDepthGuard guard{this, alive};
        ++FEventDepth;
        HandleSocketEvent(WParam, LParam);
    }
    // Below the bound again: what was held goes now, in arrival order. A held
    // notification of an earlier connection is dropped by its handle check.
    while (alive && FEventDepth < kMaxEventNesting && !FHeldEvents.empty()) {
        const auto [w, l] = FHeldEvents.front();
        FHeldEvents.pop_front();
        TDepthGuard guard{this, alive};
        ++FEventDepth;
        HandleSocketEvent(w, l);
    }
}

// Readiness notification: the event bits in the low word, the error in the high word.
void TCustomWSocket::HandleSocketEvent(platform::WPARAM WParam, platform::LPARAM LParam) {
    SOCKET s = static_cast<SOCKET>(WParam);
    if (s != FHSocket || FPaused) return;
    unsigned events = WSAGETSELECTEVENT(LParam);
    auto error = static_cast<std::uint16_t>(WSAGETSELECTERROR(LParam));
    TLifeToken alive = LifeToken();
    // A step may close the handle; later steps then belong to a dead connection.
    auto current = [&] { return alive && FHSocket == s; };

    if ((events & FD_CONNECT) && FState != wsConnected) {
        platform::KillTimer(FWindowHandle, ConnectAttemptTimer);
        if (error != 0 && !FConnectAddrs.empty()) {
            // Another address remains: this one's failure is not told.
            WSASetLastError(error);
            ConnectNextAddress();
            int next = StartConnect();
            if (next <= 0) return;
            ConnectFailed(static_cast<std::uint16_t>(next));
            return;
        }
        SetState(wsConnected);
        if (!alive) return;
        DoSessionConnected(error);
        if (!alive) return;
        if (error != 0 && FState != wsClosed) Disconnect();
        if (!current()) return;
    }
    if (events & FD_READ) {
        if (FState != wsConnected) {
            SetState(wsConnected);
            if (!alive) return;
            DoSessionConnected(error);
            if (!current()) return;
        }
        if (!ReceiveLoop(error, ComponentOptions) || !current()) return;
    }
    if (events & FD_WRITE) {
        FDataSentPosted = false;
        TryToSend();
        if (!current()) return;
        if (FAllSent) {
            DoDataSent(error);
            if (!current()) return;
        }
    }
    if (events & FD_ACCEPT) {
        DoSessionAvailable(error);
        if (!current()) return;
    }
    if ((events & FD_CLOSE) && FState != wsConnecting) {
        // A data handler may close the connection itself; it then fired the close event.
        if (!ReceiveLoop(0, ComponentOptions & ~TWSocketOptions(wsoNoReceiveLoop)) || !current()) return;
        if (!CloseInvoked) {
            CloseInvoked = true;
            DoSessionClosed(error);
            if (!current()) return;  // closed, or connected again, by the handler
        }
        if (FState != wsClosed) Disconnect();
    }
}

void TCustomWSocket::ResetToDefaults() {
    ForgetConnection();
    FSin = SOCKADDR_INET{};
    FSin.si_family = AF_INET;
    FAddrFormat = AF_INET;
    FPortAssigned = false;
    FAddrAssigned = false;
    FAddrResolved = false;
    FPortResolved = false;
    FLocalPortResolved = false;
    FProtoResolved = false;
    FProtoAssigned = true;
    FProtoStr = "tcp";
    FProto = IPPROTO_TCP;
    FType = SOCK_STREAM;
    FLocalPortStr = "0";
    FLocalAddr = "0.0.0.0";
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    FHSocket = INVALID_SOCKET;
    SelectMask = 0;
    FState = wsClosed;
    FPaused = false;
    FReadCount = 0;
}

void TCustomWSocket::ForgetConnection() {
    // Bytes queued for a connection never go to the next one.
    DiscardSendBuffer();
    platform::KillTimer(FWindowHandle, ConnectAttemptTimer);
    FConnectAddrs.clear();
    FAllSent = true;
    ForgetConnectionEnd();
}

void TCustomWSocket::ForgetConnectionEnd() {
    if (FCloseLaterPending) platform::KillTimer(FWindowHandle, CloseLaterTimer);
    FCloseLaterPending = false;
    FDataSentPosted = false;
    CloseInvoked = false;
}

// ---- properties ----

void TCustomWSocket::SetAddr(const std::string& Value) {
    if (Value == FAddrStr && FAddrAssigned) return;
    if (FState != wsClosed) {
        RaiseError("Cannot change Addr if not closed");
        return;
    }
    FAddrStr = Trim(Value);
    FAddrAssigned = !FAddrStr.empty();
    if (FAddrAssigned) FAddrResolved = false;
}

void TCustomWSocket::SetPort(const std::string& Value) {
    if (Value == FPortStr && FPortAssigned) return;
    if (FState != wsClosed) {
        RaiseError("Cannot change Port if not closed");
        return;
    }
    FPortStr = Trim(Value);
    FPortAssigned = !FPortStr.empty();
    if (FPortAssigned) FPortResolved = false;
}

void TCustomWSocket::SetProto(const std::string& Value) {
    if (Value == FProtoStr && FProtoAssigned) return;
    if (FState != wsClosed) {
        RaiseError("Cannot change Proto if not closed");
        return;
    }
    FProtoStr = Trim(Value);
    FProtoAssigned = !FProtoStr.empty();
    if (FProtoAssigned) FProtoResolved = false;
}

void TCustomWSocket::SetLocalPort(const std::string& Value) {
    if (FState != wsClosed) {
        RaiseError("Cannot change LocalPort if not closed");
        return;
    }
    FLocalPortStr = Value;
    FLocalPortResolved = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& Value) {
    if (FState != wsClosed) {
        RaiseError("Cannot change LocalAddr if not closed");
        return;
    }
    std::string text = Value.empty() ? "0.0.0.0" : Value;
    WSocketEntryPoint();
    in6_addr addr6;
    if (inet_pton(AF_INET6, text.c_str(), &addr6) == 1) {
        char canonical[64];
        FLocalAddr = inet_ntop(AF_INET6, &addr6, canonical, sizeof canonical);
        return;
    }
    in_addr addr{inet_addr(text.c_str())};
    if (addr.s_addr == INADDR_NONE) {
        RaiseError("SetLocalAddr(): Invalid IP address");
        return;
    }
    FLocalAddr = inet_ntoa(addr);
}

TSocketSendFlags TCustomWSocket::SendFlags() {
    if (FSendFlags == 0) return wsSendNormal;
    if (FSendFlags == MSG_OOB) return wsSendUrgent;
    RaiseError("Invalid internal SendFlags");
    return wsSendNormal;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value) {
    switch (Value) {
    case wsSendNormal: FSendFlags = 0; break;
    case wsSendUrgent: FSendFlags = MSG_OOB; break;
    default: RaiseError("Invalid SendFlags"); break;
    }
}

// ---- state and events ----

void TCustomWSocket::SetState(TSocketState NewState) {
    TSocketState old = FState;
    FState = NewState;
    DoChangeState(old, NewState);
}

void TCustomWSocket::DoChangeState(TSocketState OldState, TSocketState NewState) {
    // Owners are usually half torn down when their sockets are destroyed.
    if (OnChangeState && !Destroying()) OnChangeState(this, OldState, NewState);
}

bool TCustomWSocket::DoDataAvailable(std::uint16_t Error) {
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomWSocket::DoSessionAvailable(std::uint16_t Error) {
    if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomWSocket::DoSessionConnected(std::uint16_t Error) {
    if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomWSocket::DoSessionClosed(std::uint16_t Error) {
    if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomWSocket::DoDataSent(std::uint16_t Error) {
    if (OnDataSent) OnDataSent(this, Error);
}

void TCustomWSocket::DoSendData(int BytesSent) {
    if (OnSendData) OnSendData(this, BytesSent);
}

void TCustomWSocket::DoDnsLookupDone(std::uint16_t Error) {
    if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomWSocket::DoError() {
    if (OnError) OnError(this);
}

// ---- errors ----

void TCustomWSocket::RaiseError(const std::string& Msg) {
    if (OnError) DoError();
    else throw ESocketException(Msg);
}

void TCustomWSocket::RaiseErrorFmt(const char* Fmt, ...) {
    va_list args;
    va_start(args, Fmt);
    char buf[1024];
    std::vsnprintf(buf, sizeof buf, Fmt, args);
    va_end(args);
    RaiseError(buf);
}

void TCustomWSocket::ReportSocketError(const std::string& Label) {
    int error = WSAGetLastError();
    std::string text = "Error " + std::to_string(error) + " in function " + Label + "\r\n" +
                       WSocketErrorText(error);
    if (error == WSAECONNRESET || error == WSAENOTCONN) {
        TLifeToken alive = LifeToken();
        if (FHSocket != INVALID_SOCKET) {
            closesocket(FHSocket);
            FHSocket = INVALID_SOCKET;
        }
        if (FState != wsClosed) {
            if (!CloseInvoked && !Destroying()) {
                CloseInvoked = true;
                DoSessionClosed(static_cast<std::uint16_t>(error));
                if (!alive) return;
            }
            // A handler that connected again owns the socket's state now.
            if (FHSocket == INVALID_SOCKET) {
                SetState(wsClosed);
                if (!alive) return;
                // As at every close: the next connection starts from the defaults.
                try {
                    ResetToDefaults();
                } catch (...) {
                }
            }
        }
    }
    FLastError = error;
    RaiseError(text);
}

// ---- pumping ----

void TCustomWSocket::Pause() {
    FPaused = true;
    if (FHSocket != INVALID_SOCKET) WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, 0);
}

void TCustomWSocket::Resume() {
    FPaused = false;
    if (FHSocket != INVALID_SOCKET)
        WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, SelectMask);
}

bool TCustomWSocket::PumpUntil(const std::function<bool()>& Done, const std::function<void()>& Step) {
    TLifeToken alive = LifeToken();
    while (!Done()) {
        if (!alive) return false;
        if (Step) {
            Step();
            if (!alive) return false;
        }
        PumpMessages();
        if (!alive) return false;
        if (Done()) break;
        if (!alive) return false;
        platform::AppWaitForEvents(WaitSliceMs);
        if (!alive) return false;
    }
    return static_cast<bool>(alive);
}

void TCustomWSocket::PumpMessages() {
    if (!MultiThreaded) {
        platform::AppProcessMessages();
        return;
    }
    TLifeToken alive = LifeToken();
    platform::MSG msg;
    // Bounded, so that handlers that keep posting cannot hold us here forever.
    for (int n = 0; n < kMaxPumpedMessages && platform::PeekMessage(msg); ++n) {
        if (msg.message == platform::WM_QUIT) {
            FQuitSeen = true;
            continue;
        }
        platform::DispatchMessage(msg);
        if (!alive) return;
    }
}

// TCustomWSocket: an event-driven TCP (or UDP) endpoint that never blocks the
// thread that owns it.
//
// Contract:
//  - Thread: everything runs on the thread that constructed the object. The
//    object owns a hidden window of that thread; the platform posts readiness
//    notifications and lookup replies to it and the object turns them into
//    events, each fired through its overridable Do... hook so that derived
//    layers (SOCKS, line mode) can interpose.
//  - Errors: refused operations go through ReportSocketError/RaiseError: an
//    ESocketException carrying the text, or, when OnError is set, OnError with
//    the error in LastError (the operation then returns or continues).
//  - Handlers may call any operation, including ones that pump messages, and
//    may destroy the object (directly or with FreeLater): nothing touches a
//    destroyed object afterwards, and its queued messages are dropped.
//  - Readiness notifications of one socket nest at most kMaxEventNesting
//    deep: a handler that pumps at every data event (a progress display)
//    would otherwise nest once per event and overflow the stack on a fast
//    link. A notification that arrives deeper is held, in order, and handled
//    as soon as the handlers above it return. So a handler may still wait in
//    a nested loop for more of its own socket's events, one level deep.
//  - Sending never blocks: Send queues 1,460-byte blocks; OnDataSent fires
//    from the message loop, never inside Send, when the queue has drained.
//  - Addresses of both families: Addr may be an IPv4 or IPv6 literal or a
//    name. A stream connect tries every address of a name in turn, and after
//    them the addresses given with SetFallbackAddrs: a refused or unreachable
//    one moves on at once, a silent one after ConnectAttemptMs. Moving on is
//    silent (no event, the state stays wsConnecting) and Addr becomes the
//    text of the address now tried; only the last one's outcome is reported.
//  - Default linger is on with time-out 0: Disconnect resets the connection
//    and drops data still unsent by the kernel; Abort closes gracefully.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Component.h"
#include "base/StringList.h"
#include "net/WSockBuf.h"
#include "net/WSocketTypes.h"
#include "platform/CloseTimeout.h"
#include "platform/Messages.h"
#include "platform/WinSock.h"

class TCustomWSocket : public TComponent {
public:
    explicit TCustomWSocket(TComponent* AOwner = nullptr);
    ~TCustomWSocket() override;

    // Connection.
    virtual void Connect();
    virtual void Listen();
    virtual winsock::SOCKET Accept();
    virtual void Dup(winsock::SOCKET NewHSocket);
    virtual void Disconnect();
    // Posts WM_CLOSE_LATER; the close runs from the message loop once the
    // send queue has drained. A peer that takes nothing for LingerTimeout
    // seconds (60 when it is 0) ends the wait: the queue is dropped and the
    // close reported with 10060.
    virtual void DisconnectLater();
    // Posts WM_FREE_LATER; the object deletes itself from the message loop.
    // Only for objects on the heap owned by a TComponent owner or by no one.
    virtual void FreeLater();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitForClose();
    virtual void ShutdownSocket(int How);
    void ApplyLingerOption() { ApplyLinger(); }

    // Data.
    virtual int Receive(void* Buffer, int BufferSize);
    virtual std::string ReceiveText();
    virtual int ReceiveFrom(void* Buffer, int BufferSize, winsock::sockaddr_in& From, int& FromLen);
    virtual int Send(const void* Data, int Len);
    virtual int SendTo(const winsock::sockaddr_in& Dest, int DestLen, const void* Data, int Len);
    virtual int SendText(const std::string& Str);

    // Lookups, completed through OnDnsLookupDone.
    virtual void ForwardDnsLookup(const std::string& HostName);
    virtual void ReverseDnsLookup(const std::string& HostAddr);
    virtual void AbortDnsLookup();

    // Addresses.
    virtual std::string PeerAddr();
    virtual std::string PeerPort();
    virtual int GetPeerSockAddr(winsock::sockaddr_in& Addr, int& AddrLen);
    int GetPeerSockAddr(winsock::SOCKADDR_INET& Addr, int& AddrLen);
    virtual std::string LocalPortText();
    virtual std::string LocalAddrText();
    virtual int GetLocalSockAddr(winsock::sockaddr_in& Addr, int& AddrLen);
    int GetLocalSockAddr(winsock::SOCKADDR_INET& Addr, int& AddrLen);
    // The family of the address record in use (AF_INET or AF_INET6): the
    // connected or listening one, or the one to be tried next.
    int AddrFamily() const { return FAddrFormat; }

    // Notifications and message pumping.
    virtual void Pause();
    virtual void Resume();
    virtual void PumpMessages();

    // Properties.
    const std::string& Addr() const { return FAddrStr; }
    void SetAddr(const std::string& Value);
    // Addresses (literals) a stream connect tries after Addr's; the list is
    // dropped by every close.
    void SetFallbackAddrs(const std::vector<std::string>& Addrs);
    const std::string& Port() const { return FPortStr; }
    virtual void SetPort(const std::string& Value);
    const std::string& Proto() const { return FProtoStr; }
    virtual void SetProto(const std::string& Value);
    const std::string& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const std::string& Value);
    const std::string& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const std::string& Value);
    TSocketSendFlags SendFlags();
    void SetSendFlags(TSocketSendFlags Value);
    const std::string& DnsResult() const { return FDnsResult; }
    const TStringList& DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    std::int64_t ReadCount() const { return FReadCount; }
    virtual int RcvdCount();
    int LastError() const { return FLastError; }
    bool AllSent() const { return FAllSent; }
    bool Paused() const { return FPaused; }
    winsock::SOCKET HSocket() const { return FHSocket; }
    platform::HWND WindowHandle() const { return FWindowHandle; }

    bool MultiThreaded = false;
    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    TWSocketOptions ComponentOptions = 0;
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;  // seconds, 0..65535

    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TChangeState OnChangeState;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

protected:
    // Tells whether the object still exists after a call that may have
    // destroyed it (an event handler, a message pump). A socket and its
    // tokens live on one thread, so the count needs no atomic operations: an
    // upload takes several tokens per 1,460-byte block.
    struct TLife {
        int Refs = 1;
        bool Alive = true;
    };
    class TLifeToken {
    public:
        explicit TLifeToken(TLife* Life) : FLife(Life) { ++FLife->Refs; }
        TLifeToken(const TLifeToken& Other) : TLifeToken(Other.FLife) {}
        TLifeToken& operator=(const TLifeToken&) = delete;
        ~TLifeToken() { Release(FLife); }
        explicit operator bool() const { return FLife->Alive; }
        static void Release(TLife* Life);

    private:
        TLife* FLife;
    };
    TLifeToken LifeToken() const { return TLifeToken(FLife); }

    // How long a waiting loop sleeps between pumps when no event wakes it first.
    static constexpr int WaitSliceMs = 10;
    // The one loop that waits on the message loop: each round runs Step (when
    // given), pumps, and sleeps until the next event or WaitSliceMs, until Done
    // holds (asked before each round and after each pump). False when the
    // socket was destroyed meanwhile; neither function is called after that.
    bool PumpUntil(const std::function<bool()>& Done, const std::function<void()>& Step = {});

    virtual platform::LRESULT HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                                  platform::LPARAM LParam);
    virtual void ResetToDefaults();
    virtual void DisconnectInternal(bool Shutdown, std::uint16_t Error);
    virtual bool BindLocal();
    virtual int RawSend(const void* Data, int Len);
    virtual int RawReceive(void* Buffer, int BufferSize);
    virtual int RawReceiveFrom(void* Buffer, int BufferSize, winsock::sockaddr_in& From,
                               int& FromLen);
    virtual void RaiseError(const std::string& Msg);
    void RaiseErrorFmt(const char* Fmt, ...) __attribute__((format(printf, 2, 3)));
    void ReportSocketError(const std::string& Label);
    virtual void HandleBgException(Exception& E);

    // Event hooks. DoDataAvailable returns whether a handler took the event.
    virtual bool DoDataAvailable(std::uint16_t Error);
    virtual void DoSessionAvailable(std::uint16_t Error);
    virtual void DoSessionConnected(std::uint16_t Error);
    virtual void DoSessionClosed(std::uint16_t Error);
    virtual void DoDataSent(std::uint16_t Error);
    virtual void DoSendData(int BytesSent);
    virtual void DoChangeState(TSocketState OldState, TSocketState NewState);
    virtual void DoDnsLookupDone(std::uint16_t Error);
    virtual void DoError();

    void SetState(TSocketState NewState);
    bool ApplyLinger();

    // Send queue.
    int SendUnqueued(const char* Data, int Len);
    void QueueSendData(const void* Data, int Len);
    void TryToSend();
    void DiscardSendBuffer();

    std::deque<std::unique_ptr<TBuffer>> SendQueue;
    const int SendBlockSize = 1460;
    int FSendFlags = 0;
    int FLastError = 0;
    platform::HWND FWindowHandle = 0;
    alignas(8) char LookupBuffer[winsock::MAXGETHOSTSTRUCT + 1] = {};
    winsock::HANDLE LookupHandle = 0;
    winsock::SOCKET FHSocket = winsock::INVALID_SOCKET;
    std::string FAddrStr;
    bool FAddrResolved = false;
    int FAddrFormat = winsock::AF_INET;
    bool FAddrAssigned = false;
    int FProto = winsock::IPPROTO_TCP;
    bool FProtoAssigned = true;
    bool FProtoResolved = false;
    bool FLocalPortResolved = false;
    std::string FProtoStr = "tcp";
    std::string FPortStr;
    bool FPortAssigned = false;
    bool FPortResolved = false;
    int FPortNum = 0;
    std::string FLocalPortStr = "0";
    int FLocalPortNum = 0;
    std::string FLocalAddr = "0.0.0.0";
    int FType = winsock::SOCK_STREAM;
    bool FAllSent = true;
    std::int64_t FReadCount = 0;
    bool FPaused = false;
    bool CloseInvoked = false;
    TSocketState FState = wsClosed;
    bool FQuitSeen = false;
    long SelectMask = 0;
    // The remote address record: connect, bind when listening, datagram
    // sends, and the peer's address after Accept.
    winsock::SOCKADDR_INET FSin{};
    // The addresses a stream connect has still to try, in order.
    std::vector<winsock::SOCKADDR_INET> FConnectAddrs;

private:
    void CreateSocketWindow();
    void DestroySocketWindow();
    platform::LRESULT SocketWindowProc(platform::HWND Wnd, platform::UINT Msg,
                                       platform::WPARAM WParam, platform::LPARAM LParam);
    void HandleSocketEvent(platform::WPARAM WParam, platform::LPARAM LParam);
    // Handles a readiness notification within the nesting bound.
    void DispatchSocketEvent(platform::WPARAM WParam, platform::LPARAM LParam);
    void HandleCloseLater();
    // Creates the handle for FSin's family with the options of a connect;
    // false (reported) on failure.
    bool OpenConnectHandle();
    int StartConnect();
    void HandleConnectAttemptTimer();
    void ConnectFailed(std::uint16_t Error);
    // Gives up the attempt in progress for the next address; false when none is left.
    bool ConnectNextAddress();
    void HandleCloseLaterTimer();
    // Drops what belonged to the connection that ended: the send queue, a
    // pending DisconnectLater, the close already told.
    void ForgetConnection();
    // What a connection's end leaves behind (close event told, close-later timer).
    void ForgetConnectionEnd();
    void HandleHostByNameDone(platform::WPARAM WParam, platform::LPARAM LParam);
    void HandleHostByAddrDone(platform::WPARAM WParam, platform::LPARAM LParam);
    // Runs the receive loop; false when the object was destroyed meanwhile.
    bool ReceiveLoop(std::uint16_t Error, TWSocketOptions Options);
    void CancelPendingLookup();
    bool BeginLookup(bool ArgumentValid, const char* InvalidMessage);
    void CloseFailedHandle();
    void ResolveEndpoint(bool LocalPortToo);
    bool SetOption(int Level, int Option, int Value, const char* Label);

    std::string FDnsResult;
    TStringList FDnsResultList;
    TLife* FLife = new TLife;
    // Counts platform reads, so that the receive loop sees a pass that read nothing.
    std::uint64_t FPlatformReads = 0;
    // Bumped when the queue is discarded, so a send in progress notices.
    std::uint64_t FQueueGeneration = 0;
    bool FInTryToSend = false;
    bool FDataSentPosted = false;   // a self-posted write readiness is queued
    bool FCloseLaterPending = false;  // DisconnectLater waits for the queue to drain
    static constexpr int kMaxEventNesting = 2;
    int FEventDepth = 0;  // readiness notifications being handled on the stack
    // Notifications that arrived at the nesting bound, oldest first.
    std::deque<std::pair<platform::WPARAM, platform::LPARAM>> FHeldEvents;
    // Bytes the platform took, and their count at the last stall check.
    std::uint64_t FBytesSent = 0;
    std::uint64_t FCloseLaterMark = 0;
    static constexpr platform::UINT_PTR CloseLaterTimer = 1;
    static constexpr platform::UINT_PTR ConnectAttemptTimer = 2;

public:
    // How long a connect waits for a silent address while others remain.
    static constexpr int ConnectAttemptMs = 3000;

private:
    static constexpr int DefaultCloseLaterStallSeconds = platform::kCloseStallSeconds;
};

// TCustomFtpCli: the FTP client engine. It speaks the client side of FTP over
// one control connection (and, for listings and transfers, one data
// connection) without ever blocking the thread that owns it.
//
// Contract:
//  - Thread: everything runs on the thread that constructed the engine. Its two
//    sockets and its hidden window belong to that thread's message loop.
//  - Requests: every ...Async method either refuses at once through the one
//    error path (OnError when set, else FtpException; no OnRequestDone
//    follows) or starts a request that ends with exactly one OnRequestDone.
//    OnRequestDone is always posted through the hidden window, never called
//    from inside the method that started the request. One request at a time:
//    another is refused with "FTP component not ready" while one runs.
//  - A request that ends without the final reply it waited for (connection
//    lost, no greeting, aborted, a chain step refused) ends with an error,
//    never with 0; only a QUIT whose server just closes counts as success.
//  - Chains run their steps in one fixed order (see AdvanceChain) and stop at
//    the first failure, leaving the session as it is (no QUIT).
//  - Transfers (PORT/PASV, then RETR, LIST, NLST, STOR or APPE) use the one
//    DataSocket: in active mode it listens and the server connects, in
//    passive mode it connects to the control connection's server address.
//    A transfer completes once, when both the final reply and the data
//    connection's close have arrived, in either order; a local file failure
//    or an abort asked for in OnProgress ends it with an error even when the
//    server reports success. Byte counts and offsets are 64-bit.
//  - Where the running request stands is one TRequestPhase, moved only by
//    SetPhase; a handler the engine calls out to (OnStateChange,
//    OnSessionClosed, OnProgress, ...) may start or end a request, and the
//    engine stops what it was doing when one did (RequestEpoch).
//  - The trace (OnDisplay) shows a PASS command as "> PASS ****"; the
//    password itself is sent unchanged and never traced.
//  - Needs: the socket layer's TWSocket in raw mode (the engine splits reply
//    lines itself) and the platform message loop; no windowing toolkit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpLocalFile.h"
#include "ftp/FtpRequestPhase.h"
#include "ftp/FtpTypes.h"
#include "net/WSocket.h"

class TCustomFtpCli : public TComponent {
public:
    explicit TCustomFtpCli(TComponent* AOwner = nullptr);
    ~TCustomFtpCli() override;

    // --- Configuration ---------------------------------------------------
    std::string HostName;
    std::string Port = "ftp";
    std::string LocalAddr = "0.0.0.0";
    std::string UserName;
    std::string PassWord;
    std::string HostDirName;
    std::string HostFileName;
    // Local file of a transfer; also the new name for RNTO and the raw
    // command of QuoteAsync.
    std::string LocalFileName;
    bool DisplayFileFlag = false;
    TFtpOptions Options = ftpAcceptLF;
    std::string ProxyServer;
    // Port of the FTP proxy (with ftpProxy); proxies often listen elsewhere
    // than on "ftp".
    std::string ProxyPort = "ftp";
    // Passive data connections. Set by SetConnectionType for proxies; may also
    // be set directly for a direct session.
    bool Passive = false;
    // Active mode first, as configured; when active mode cannot work (the
    // server refuses PORT, answers the transfer command with 425, or its data
    // connection has not arrived DataArrivalWaitMs after the transfer
    // command), the request runs again once in passive mode, Passive is set
    // for the rest of the session and OnPassiveFallback fires. A transfer
    // whose connection never came is abandoned with ABOR and NOOP; a server
    // that has not answered the NOOP within AbortFenceWaitMs (one still
    // stuck in its own connect to us) is left: the engine connects again,
    // logs in, goes back to the session's folder and type, and runs the
    // request there. A transfer that moved data is never run again.
    bool PassiveFallback = false;
    unsigned DataArrivalWaitMs = 4000;
    unsigned AbortFenceWaitMs = 3000;
    // Restart offset of the next transfer.
    std::int64_t ResumeAt = 0;

    bool Binary() const { return TransferType == 'I'; }
    void SetBinary(bool Value) { TransferType = Value ? 'I' : 'A'; }
    TFtpShareMode ShareMode() const;
    void SetShareMode(TFtpShareMode Value);
    TFtpConnectionType ConnectionType() const { return FConnectionType; }
    void SetConnectionType(TFtpConnectionType Value);
    // Handed to both sockets; read back from the engine's copy.
    const std::string& SocksServer() const { return FSocksServer; }
    void SetSocksServer(const std::string& Value);
    const std::string& SocksPort() const { return FSocksPort; }
    void SetSocksPort(const std::string& Value);
    const std::string& SocksUserCode() const { return FSocksUserCode; }
    void SetSocksUserCode(const std::string& Value);
    const std::string& SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const std::string& Value);

    // TLS (FtpTls.cpp). With Security set, the login and every data
    // connection go encrypted, or not at all: a server refusing AUTH TLS
    // ends the open with an error and the connection, before USER. The
    // server's certificate must be trusted (the trust store, SslCaFile),
    // match SslPinSha256 (its public key's or its own SHA-256), or
    // SslInsecure be set; data connections must show the control
    // connection's certificate and resume its session. A received data
    // connection that ends without TLS close_notify fails the transfer
    // (426) unless its byte count is the size the server announced (SIZE of
    // that file just before, or "(N bytes)" in the 150 reply).
    TFtpSecurity Security = ftpSecurityNone;
    std::string SslCaFile;
    std::string SslPinSha256;
    // A certificate other than the pinned one that the trust store accepts
    // for the host is taken (SslPinReplaced tells it), as after a renewal.
    bool SslPinRenewal = false;
    bool SslInsecure = false;
    bool SslPinReplaced() const { return ControlSocket->SslPinReplaced(); }
    // The control connection's certificate, also after a refusal.
    const TSslCertInfo& SslPeerCertificate() const { return ControlSocket->SslPeerCertificate(); }
    // The last open failed only because the certificate was not trusted (or
    // did not match the pin): asking the user and opening again may help.
    bool SslCertificateRefused() const { return FSslRefusal != 0; }
    bool SslPinMismatch() const { return FSslRefusal == SslErrPinMismatch; }
    // The last transfer failed because its data connection's certificate
    // was refused (not the control connection's).
    bool SslDataCertificateRefused() const { return FSslDataRefusal != 0; }

    // --- Status ----------------------------------------------------------
    int ReplyCode() const { return FReplyCode; }
    const std::string& LastReplyLine() const { return FLastReplyLine; }
    const std::string& ErrorMessage() const { return FErrorMessage; }
    const std::string& ReplyDirName() const { return FReplyDirName; }
    std::int64_t ReplySize() const { return FReplySize; }
    std::int64_t ByteCount() const { return FByteCount; }
    TFtpRequest RequestType() const { return FRequestType; }
    TFtpEngineState State() const { return FState; }
    TRequestPhase Phase() const { return FPhase; }
    // True while the control socket is anything but closed.
    bool Connected() const;
    // The last request failed because its data connection could not be
    // opened: PORT or PASV refused, an unusable 227 reply, a connection
    // that could not be made, or the server's 425.
    bool DataConnectionFailed() const;
    // The transfer failed on its local file (open, read or write), as opposed
    // to a server's refusal with the same code. Cleared when a transfer step
    // or a synchronous call starts.
    bool LocalFileFailed = false;

    // --- Events ----------------------------------------------------------
    TFtpDisplay OnDisplay;
    TFtpDisplay OnDisplayFile;
    TFtpCommand OnCommand;
    TNotifyEvent OnResponse;
    TFtpProgress OnProgress;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TFtpRequestDone OnRequestDone;
    TNotifyEvent OnStateChange;
    TFtpReadyToTransmit OnReadyToTransmit;
    // A request has been started again in passive mode (PassiveFallback).
    TNotifyEvent OnPassiveFallback;
    TBgExceptionEvent OnBgException;
    // Engine refusals; without it they raise FtpException.
    TFtpDisplay OnError;
    // Every move of the request phase, for tests (the trace does not show it).
    std::function<void(TObject* Sender, TRequestPhase From, TRequestPhase To)> OnPhaseChange;

    // --- Requests: one command -------------------------------------------
    virtual void OpenAsync();
    virtual void UserAsync();
    virtual void PassAsync();
    virtual void CwdAsync();
    virtual void CDupAsync();
    virtual void PwdAsync();
    virtual void TypeSetAsync();
    virtual void TypeBinaryAsync();
    virtual void TypeAsciiAsync();
    virtual void SystAsync();
    virtual void SizeAsync();
    virtual void MkdAsync();
    virtual void RmdAsync();
    virtual void DeleAsync();
    virtual void RenFromAsync();
    virtual void RenToAsync();
    virtual void QuoteAsync();
    virtual void AborAsync();
    virtual void RestAsync();
    virtual void PortAsync();
    virtual void QuitAsync();
    // QuitAsync for a program about to end, which does not wait for the
    // reply: destroying the engine then closes the connection in order
    // behind the QUIT instead of resetting it.
    void QuitAndLeave();
    // --- Requests: transfer steps ----------------------------------------
    virtual void RunRetrAsync();
    virtual void RunListAsync();
    virtual void RunNlstAsync();
    virtual void RunStorAsync();
    virtual void RunAppeAsync();
    // --- Requests: chains ------------------------------------------------
    virtual void ConnectAsync();
    virtual void ReceiveAsync();
    virtual void GetAsync();
    virtual void RestGetAsync();
    virtual void RestartGetAsync();
    virtual void PutAsync();
    virtual void RestPutAsync();
    virtual void RestartPutAsync();
    virtual void TransmitAsync();
    virtual void AppendAsync();
    virtual void TransmitAppendAsync();
    virtual void DirAsync();
    virtual void DirectoryAsync();
    virtual void LsAsync();
    virtual void ListAsync();
    virtual void SystemAsync();
    virtual void FileSizeAsync();
    virtual void MkdirAsync();
    virtual void RmdirAsync();
    virtual void DeleteAsync();
    virtual void RenAsync();
    virtual void RenameAsync();
    virtual void DoQuoteAsync();
    // --- Local ------------------------------------------------------------
    // Drops the session without sending anything; a running request ends with
    // 426.
    virtual void CancelAsync();

protected:
    using TStepProc = void (TCustomFtpCli::*)();

    void Notification(TComponent* AComponent, TOperation Operation) override;

    // Overridable operations.
    virtual void SendCommand(std::string Cmd);
    virtual void FireDisplay(const std::string& Msg);
    virtual void FireReadyToTransmit(bool& bCancel);
    virtual void FireDisplayFile(const std::string& Msg);
    // False when the owner asked to abort the transfer.
    virtual bool Progress();
    virtual platform::LRESULT EngineWindowProc(platform::UINT Msg, platform::WPARAM WParam,
                                               platform::LPARAM LParam);
    virtual void CreateEngineWindow();
    virtual void DestroyEngineWindow();
    virtual void HandleEventException(Exception& E);

    // Model (FtpModel.cpp).
    void ReportEngineError(const std::string& Msg);
    bool EnsureReady();
    void KeepFirstErrorLine();
    void TraceLastReply();
    void ReleaseLocalFile();
    void ChangeState(TFtpEngineState NewState);
    // The one way the request phase moves; a move PhaseMoveAllowed refuses
    // ends the request with a program error (false then).
    bool SetPhase(TRequestPhase To);
    // A request has started or ended and its end is not posted yet.
    bool RequestRunning() const { return FPhase != TRequestPhase::Idle && FPhase != TRequestPhase::BetweenSteps; }
    // The running request waits for the final reply to what it sent.
    bool ReplyOwed() const {
        return FPhase == TRequestPhase::ReplyOwed || FPhase == TRequestPhase::DataOpening ||
               FPhase == TRequestPhase::DataReplyOwed;
    }
    // The owed reply will not come (the connection went, the line was too
    // long, the command was not sent): the step still runs.
    void ForgetOwedReply();
    // Changes each time a request starts or ends: a handler called out to
    // started or ended one when it differs afterwards.
    unsigned RequestEpoch = 0;
    // Opens a step of the running request (or a request of its own): what
    // the reply will be read as and under which request type it ends.
    // AlwaysRename: a step that reports itself also inside a chain.
    void OpenStep(TFtpRequest RqType, TFtpStep Step, bool AlwaysRename = false);
    // "Code Class: message" for an exception that failed a step.
    static std::string ExceptionLine(int Code, const Exception& E);
    // Gives a socket the engine's SOCKS settings right before it connects: a
    // socket forgets its proxy at every close.
    void HandSocksSettings(TWSocket& Socket);

    // Commands (FtpCommands.cpp).
    // Sends Cmd as (a step of) a request; Step becomes LastStep once the
    // command really starts.
    void IssueCommand(TFtpRequest RqType, TFtpStep Step, const std::string& Cmd,
                      std::initializer_list<int> Accepted, TStepProc After);
    void QuitAfterReply();

    // Control connection and replies (FtpControl.cpp).
    void ControlDnsLookupDone(std::uint16_t Error);
    void ControlSessionConnected(std::uint16_t Error);
    void ControlDataAvailable(std::uint16_t Error);
    void ControlSessionClosed(std::uint16_t Error);
    // Acts on the line in LastReplyLine; false stops reading the buffer.
    bool HandleReplyLine();
    void CommandReplyStep();
    void ExtractReplyResults();
    // "500 <socket error text> (Winsock error #n)" as the failing reply.
    void RecordSocketFailure(std::uint16_t Error);

    // Requests and chains (FtpChains.cpp).
    void StartChain(TFtpRequest RqType, TFtpSteps Steps);
    void AdvanceChain();
    void StartNextStep();
    // Forgets a chain whose first step was refused.
    void UnwindChain();
    // Ends a step (Error 0 in a chain: the next step runs) or the request;
    // at most once per step, the request's end always posted.
    void CompleteRequest(int Error);
    // The request failed because active mode cannot work here: runs its
    // steps from the Port step on again in passive mode. False when the
    // failure is no such case (or fallback is off) and the request ends.
    bool RetryPassive();
    // The running request is a chain whose data connection may still be
    // opened the other way (PassiveFallback, active so far, no data moved).
    bool CanFallBackToPassive() const;
    // Sets Passive and tells the owner; false when its handler ended the
    // request.
    bool EnterPassive();
    // The running chain's steps from the Port step on.
    TFtpSteps StepsFromPort() const;
    // Runs Steps of the running chain afresh (a passive retry).
    void RestartChain(TFtpSteps Steps);
    // The folder a CWD step goes to: HostDirName, or the session's folder
    // when a reconnect added the step to a chain that had none.
    const std::string& CwdTarget() const;
    // Follows the session's folder and type as its commands succeed.
    void TrackSession();
    // Ends the running request with an engine failure Code and text Msg.
    void FailRequest(int Code, const std::string& Msg);

    // Data connection (FtpDataPort.cpp).
    using TDataEventProc = void (TCustomFtpCli::*)(std::uint16_t Error);
    // Active mode: the data step awaits the server's connection; takes it at
    // once when it came before the step began.
    void AwaitDataConnection();
    void DataSessionAvailable(std::uint16_t Error);
    // The server's connection came for the data step that awaits it.
    void AcceptForStep(std::uint16_t Error);
    // Accepts the server's connection into DataSocket with the given
    // handlers. False when it failed (the step has ended or waits for its
    // final reply) or came from another address than the server's: that one
    // is closed and the step awaits the next.
    bool AcceptDataConnection(TDataEventProc Closed, TDataEventProc Available, TDataEventProc Sent);
    // The accepted handle comes from the control connection's peer address.
    bool FromControlPeer(winsock::SOCKET Accepted, std::string& PeerText);
    void SetDataHandlers(TDataEventProc Closed, TDataEventProc Available, TDataEventProc Sent);
    // Closes DataSocket without any handler hearing it.
    void CloseDataQuietly();
    // IPv6 data connections (FtpExtendedPort.cpp): EPSV and EPRT (RFC 2428)
    // on an IPv6 control connection, PASV and PORT on IPv4.
    bool ControlIsIpv6() const;
    // "EPRT |2|<control connection's local address>|Port|".
    std::string EprtCommand(int Port) const;
    // After PASV on IPv4: a server that does not know it (500, 502) is asked
    // once with EPSV.
    void PasvReplied();
    // Passive mode: connects DataSocket to the port of the 227 (229) reply at the
    // control connection's address; false when the step has ended.
    bool ConnectPassiveData(TDataEventProc Connected, int FailCode);
    // Active mode: the transfer command has gone out and the server's data
    // connection has not arrived. With a passive fallback to come, the wait
    // is bounded.
    void AwaitDataArrival();
    // The bounded wait ran out: the transfer is abandoned with ABOR followed
    // by NOOP, and its request runs again passive once the NOOP is answered.
    void DataArrivalTimedOut();
    // Replies after that ABOR: the transfer command's late end, ABOR's answer
    // (whatever its code, and whether or not the server sends it) and at
    // last NOOP's 200, which is the last reply owed: every later command
    // reads its own.
    void AbortFenceReply();
    // The NOOP was not answered in time, or the server closed meanwhile.
    void AbortFenceTimedOut();
    // Drops the control connection without a word to the owner, connects and
    // logs in again, returns to the session's folder and type and runs the
    // request from its Port step on, passive.
    void ReopenForPassive();

    // TLS (FtpTls.cpp).
    // Gives the control socket its TLS settings before it connects.
    void PrepareControlTls();
    void RequestControlTls();
    void AuthTlsReply();
    void ControlHandshakeDone(std::uint16_t Error);
    // After a reply to USER or PASS: protects the data channel (PBSZ 0,
    // PROT P) once logged in, then ends the step.
    TStepProc AfterLogin() const;
    void ProtectDataChannel();
    void PbszReply();
    void ProtReply();
    // Starts TLS on the data connection just made (nothing for plain FTP).
    // Not at connect: servers begin their side only once the transfer
    // command came, and what is sent meanwhile waits in the socket.
    void StartDataTls();
    // Transfer bookkeeping (FtpTransfer.cpp).
    void BeginTransfer();
    // Ends the data step with Code (ErrorMessage already set by the caller).
    void EndDataStep(int Code);
    // A data step runs and its request has not ended.
    bool TransferRunning() const;
    // Ends the data step with Code; Line becomes LastReplyLine and the error.
    void FailDataStep(int Code, const std::string& Line);
    // A failure (local file, abort, data connection) that the server's
    // success cannot undo; the first one recorded is the step's result.
    void RecordTransferFailure(int Code, const std::string& Msg);
    // The data connection could not be opened (Code, Line as for
    // FailDataStep). When the server still owes the transfer command's final
    // reply, the step ends only once that reply has been read.
    void FailDataConnection(int Code, const std::string& Line);
    // The transfer command was sent and its final reply has not been read
    // (whether or not it can still come).
    bool TransferReplyOwed() const {
        return FPhase == TRequestPhase::DataReplyOwed || FPhase == TRequestPhase::DataUnanswered;
    }
    // Sends the data step's transfer command: from now on its reply is read
    // as the transfer's.
    void SendTransferCommand(TStepProc FirstReply, const std::string& Cmd);
    // An error the data connection reported (a reset, a time-out): the
    // transfer failed whatever the server answers.
    void DataConnectionError(int Error);
    void TestTransferCompletion();
    // The data connection closed with Error: a TLS refusal or failure goes
    // into the step's error with its reason; an end without close_notify
    // of a received stream is checked against the announced size.
    // Returns the error the close counts as.
    std::uint16_t DataCloseOutcome(std::uint16_t Error, bool Received);
    // The size the server announced for the data of this step; -1 if none.
    std::int64_t AnnouncedDataSize() const;
    // Handles a reply line while a transfer waits for its data connection.
    void IgnoreReplyStep();
    virtual void ReportTransferStats();

    // Receiving steps (FtpReceive.cpp).
    void StartReceive(TFtpRequest RqType, TFtpStep Step, const std::string& Verb);
    bool OpenReceiveFile();
    void ReceiveAccepted(std::uint16_t Error);
    void ReceiveConnected(std::uint16_t Error);
    void ReceiveDataAvailable(std::uint16_t Error);
    void ReceiveSessionClosed(std::uint16_t Error);
    void ReceiveFirstReply();
    void ReceiveSecondReply();
    void DeliverDisplayFile(const char* Data, int Len);

    // Sending steps (FtpSend.cpp).
    void StartSend(bool Append);
    void SendStorCommand();
    void SendAccepted(std::uint16_t Error);
    void SendConnected(std::uint16_t Error);
    void SendDropData(std::uint16_t Error);
    void SendNextChunk(std::uint16_t Error);
    void SendSessionClosed(std::uint16_t Error);
    void SendFirstReply();
    void SendSecondReply();
    void StartSending();
    // The pause after the last chunk is over: close once the data has gone.
    void EndOfFilePauseDone();

    platform::HWND FWindowHandle = 0;
    std::string ResolvedAddr;
    char TransferType = 'I';
    std::uint16_t ShareWord = 0x10;
    bool AppendMode = false;
    // Owned through the component tree (the engine is their owner); cleared by
    // Notification when one goes away.
    TWSocket* ControlSocket = nullptr;
    TWSocket* DataSocket = nullptr;
    std::uint32_t StartTime = 0;
    std::uint32_t StopTime = 0;
    TFtpEngineState FState = fesReady;
    int FReplyCode = 0;
    int StepResult = 0;
    TFtpStep LastStep = stepNone;
    // The running chain: its steps still to run, the steps and restart
    // offset it started with (for a passive retry), the routine that runs
    // after each step, and the reply it reports in the end.
    struct TChain {
        bool Active = false;
        TFtpSteps Pending = 0;
        TFtpSteps Steps = 0;
        std::int64_t ResumeAt = 0;
        int Result = 0;
        TStepProc Continuation = nullptr;
        // StartChain is running its first step inside the caller's own call.
        bool Starting = false;
        std::string SavedReplyText;
        int SavedReplyCode = -1;
    };
    TChain Chain;
    std::unique_ptr<TFtpLocalFile> LocalFileStream;
    TFtpRequest FRequestType = ftpNone;
    TRequestPhase FPhase = TRequestPhase::Idle;
    char ReplyBuffer[4096] = {};
    int ReplyBufferLen = 0;
    std::string FLastReplyLine;
    std::string PasvReplyText;
    std::string FErrorMessage;
    std::uint16_t DataCloseError = 0;
    std::string ReceiveVerb;
    bool ControlUp = false;
    // Where this login's commands have taken it: a path from the login
    // folder (relative) or from the root, "" for the login folder itself;
    // and the TYPE it has set (0: none yet). A reconnect returns to both.
    std::string SessionDir;
    char SessionType = 0;
    // The folder a reconnect's CWD step returns to.
    std::string ReturnDir;
    std::int64_t FByteCount = 0;
    std::int64_t FReplySize = 0;
    std::string FReplyDirName;
    TStepProc ReplyHandler = nullptr;
    TStepProc AfterReply = nullptr;
    std::array<int, 17> AcceptedCodes{};
    // Refusals reported so far; lets AdvanceChain notice a refused step.
    unsigned RefusalCount = 0;
    std::string LastRefusal;
    // Outcomes awaited by synchronous calls, innermost last. A request's end
    // fills the innermost open one, so a call whose completion handler starts
    // another request before the call looks (completions are dispatched while
    // it pumps) still returns its own request's result.
    struct TSyncOutcome {
        bool Done = false;
        bool Success = false;
    };
    std::vector<TSyncOutcome*> SyncOutcomes;

    // The data step's connection: awaited, open (for an upload: ready to
    // carry the file), closed after it was open, or given up before it was.
    enum class TDataConn { Awaited, Open, Closed, GivenUp };
    TDataConn DataConn = TDataConn::Awaited;
    bool DataConnEnded() const { return DataConn == TDataConn::Closed || DataConn == TDataConn::GivenUp; }
    // An upload's connection was opened (it may have closed since).
    bool SendConnReady() const { return DataConn == TDataConn::Open || DataConn == TDataConn::Closed; }
    // Where an upload stands: waiting for the server's 150 (or 125) to STOR
    // or APPE, told to go ahead with no chunk sent yet, reading the file,
    // the pause after its last chunk, or all of it handed to the socket and
    // the pause over.
    enum class TUpload { Waiting, GoAhead, Sending, Pausing, Sent };
    TUpload Upload = TUpload::Waiting;
    // Active mode's listening data port: nothing pending, the server's
    // connection arrived before a data step took it, or a data step awaits it.
    enum class TDataPort { Quiet, Arrived, Awaited };
    TDataPort DataPort = TDataPort::Quiet;
    // Connections to the data port from other addresses than the server's,
    // closed since the last Port step.
    int ForeignDataConnections = 0;
    // Set by a local failure; the transfer's result whatever the server says.
    int TransferError = 0;
    char UploadChunk[1460] = {};

    std::shared_ptr<TSslContext> SslCtx;
    std::uint16_t FSslRefusal = 0;
    std::uint16_t FSslDataRefusal = 0;
    // The file the last SIZE reply was for, until the next data step.
    std::string SizeReplyFile;
    // The size of the next data step's file as the SIZE reply gave it, and
    // the "(N bytes)" of its 150 reply; -1 when not given.
    std::int64_t SizeBeforeTransfer = -1;
    std::int64_t SizeIn150 = -1;
    std::int64_t TransferOffset = 0;
    // The data socket's last session belongs to this control session.
    bool DataSessionUsable = false;
    // The login's reply, shown again once PBSZ and PROT have passed.
    std::string LoginReplyLine;
    int LoginReplyCode = 0;

private:
    TFtpConnectionType FConnectionType = ftpDirect;
    std::string FSocksServer;
    std::string FSocksPort;
    std::string FSocksUserCode;
    std::string FSocksPassword;
};

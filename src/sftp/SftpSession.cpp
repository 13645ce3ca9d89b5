// TSftpClient: the SSH session over ControlSocket, the resumable steps, and
// the end of every request.
#include "sftp/SftpCli.h"

#include <cerrno>
#include <climits>
#include <mutex>

#include <libssh2.h>
#include <libssh2_sftp.h>

#include "base/Strings.h"
#include "net/WSocketErrors.h"
#include "platform/WinSock.h"
#include "sftp/SftpKeyFiles.h"
#include "sftp/SftpTypes.h"

namespace {

TSftpClient* Engine(void** Abstract) { return static_cast<TSftpClient*>(*Abstract); }

// libssh2 also talks to the SSH agent through these callbacks, on the
// agent's own socket; the SSH connection is kSftpNoSocket.
ssize_t SendCallback(libssh2_socket_t Socket, const void* Buffer, size_t Length, int, void** Abstract) {
    if (Socket != kSftpNoSocket) return AgentSend(Socket, Buffer, Length);
    return Engine(Abstract)->TransportSend(Buffer, Length);
}

ssize_t ReceiveCallback(libssh2_socket_t Socket, void* Buffer, size_t Length, int, void** Abstract) {
    if (Socket != kSftpNoSocket) return AgentReceive(Socket, Buffer, Length);
    return Engine(Abstract)->TransportReceive(Buffer, Length);
}

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { libssh2_init(0); });
}

}  // namespace

TSftpClient::TSftpClient(TComponent* AOwner) : TFtpClient(AOwner) {
    InitLibrary();
    Port = "22";
    ControlSocket->OnSessionConnected = [this](TObject*, std::uint16_t Error) {
        SocketConnected(Error);
    };
    ControlSocket->OnDataAvailable = [this](TObject*, std::uint16_t) { Resume(); };
    ControlSocket->OnDataSent = [this](TObject*, std::uint16_t) { Resume(); };
    ControlSocket->OnSessionClosed = [this](TObject*, std::uint16_t Error) {
        SocketClosed(Error);
    };
    ControlSocket->OnDnsLookupDone = [this](TObject*, std::uint16_t Error) {
        if (FState != fesLookingUp) return;
        if (Error != 0) {
            RecordSocketFailure(Error);
            EndRequest(500, FLastReplyLine);
            return;
        }
        try {
            ControlSocket->SetAddr(ControlSocket->DnsResult());
            ControlSocket->SetLocalAddr(LocalAddr);
            ControlSocket->SetProto("tcp");
            ControlSocket->SetPort(Port.empty() ? "22" : Port);
            HandSocksSettings(*ControlSocket);
            ChangeState(fesAwaitingGreeting);
            ControlSocket->Connect();
        } catch (Exception& E) {
            if (ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
            EndRequest(500, "500 " + E.Message());
        }
    };
}

TSftpClient::~TSftpClient() {
    BeginDestroy();
    FStep = nullptr;
    FAnnounced = false;  // no events from a half-destroyed engine
    DropSession();
}

long TSftpClient::TransportSend(const void* Buffer, std::size_t Length) {
    if (!FSocketUp || !ControlSocket || ControlSocket->State() != wsConnected) return -ECONNRESET;
    // Never EAGAIN: libssh2 spins on it in some error paths (a refused
    // subsystem's channel is freed in a loop), and the socket cannot drain
    // while it does. The queue stays bounded by the SSH channel's window.
    const int len = static_cast<int>(std::min<std::size_t>(Length, INT_MAX));
    if (ControlSocket->Send(Buffer, len) < 0) {
        FTransportFailed = true;
        return -ECONNRESET;
    }
    return len;
}

long TSftpClient::TransportReceive(void* Buffer, std::size_t Length) {
    if (!FSocketUp || !ControlSocket) return -ECONNRESET;
    const int len = static_cast<int>(std::min<std::size_t>(Length, INT_MAX));
    const int n = ControlSocket->Receive(Buffer, len);
    if (n > 0) return n;
    if (n < 0 && ControlSocket->LastError() == winsock::WSAEWOULDBLOCK) {
        // libssh2 waits for an answer in a loop in some error paths (a
        // refused subsystem): nothing can arrive while it spins, so after
        // this many tries within one step the connection counts as lost.
        if (++FStalledReads < kSftpMaxStalledReads) return -EAGAIN;
        FireDisplay("! The SSH library waits for the server in a loop; giving up");
    }
    FTransportFailed = true;
    return n == 0 ? 0 : -ECONNRESET;
}

bool TSftpClient::BeginRequest(TFtpRequest RqType, TNeeds Needs, TSftpStep Step) {
    if (!EnsureReady()) return false;
    if (Needs == needClosed && (FSession || Connected())) {
        ReportEngineError("FTP component already connected");
        return false;
    }
    if (Needs == needSocket && !FSession) {
        ReportEngineError("not connected");
        return false;
    }
    if (Needs == needLogin && !FSftp) {
        ReportEngineError(FSession ? "not logged in" : "not connected");
        return false;
    }
    FRequestType = RqType;
    StepResult = 0;
    FErrorMessage.clear();
    Chain.Active = false;
    Chain.Continuation = nullptr;
    SetPhase(TRequestPhase::Running);
    LocalFileFailed = false;
    ChangeState(fesAwaitingReply);
    // Insurance against a step left waiting for an event that will not come
    // (bytes libssh2 left in the socket's read-ahead).
    platform::SetTimer(FWindowHandle, SFTP_RESUME_TIMER, kSftpResumeTimerMs);
    SetStep(Step);
    Resume();
    return true;
}

void TSftpClient::SetStep(TSftpStep Step) {
    FStep = Step;
    FStepAgain = true;
}

void TSftpClient::Resume() {
    if (!FStep) return;
    if (FInStep) {
        FStepAgain = true;
        return;
    }
    FInStep = true;
    try {
        do {
            if (FCancelPending) break;
            FStepAgain = false;
            FStalledReads = 0;
            (this->*FStep)();
        } while (FStepAgain && FStep);
    } catch (...) {
        FInStep = false;
        throw;
    }
    FInStep = false;
    if (FCancelPending) {
        FCancelPending = false;
        CancelAsync();
    }
}

void TSftpClient::ResumeLater() {
    if (FResumePosted) return;
    FResumePosted = true;
    platform::PostMessage(FWindowHandle, WM_SFTP_RESUME, 0, 0);
}

platform::LRESULT TSftpClient::EngineWindowProc(platform::UINT Msg, platform::WPARAM WParam,
                                                platform::LPARAM LParam) {
    if (Msg == WM_SFTP_RESUME) {
        FResumePosted = false;
        Resume();
        return 0;
    }
    if (Msg == platform::WM_TIMER && WParam == SFTP_RESUME_TIMER) {
        Resume();
        return 0;
    }
    return TFtpClient::EngineWindowProc(Msg, WParam, LParam);
}

bool TSftpClient::Again(int Rc) const { return Rc == LIBSSH2_ERROR_EAGAIN; }

void TSftpClient::EndRequest(int Code, const std::string& Line) {
    FStep = nullptr;
    platform::KillTimer(FWindowHandle, SFTP_RESUME_TIMER);
    ReleaseLocalFile();
    FReplyCode = Code;
    FLastReplyLine = Line;
    if (Code >= 400 && FErrorMessage.empty()) FErrorMessage = Line;
    FireDisplay("< " + Line);
    if (OnResponse) OnResponse(this);
    CompleteRequest(Code >= 400 ? Code : 0);
    ChangeState(fesReady);
}

std::string TSftpClient::SessionError() const {
    if (!FSession) return "connection closed";
    char* text = nullptr;
    int len = 0;
    libssh2_session_last_error(FSession, &text, &len, 0);
    return text && len > 0 ? std::string(text, static_cast<std::size_t>(len)) : "SSH error";
}

std::string TSftpClient::SftpStatusText() const {
    if (!FSftp) return SessionError();
    switch (libssh2_sftp_last_error(FSftp)) {
        case LIBSSH2_FX_NO_SUCH_FILE: return "No such file or directory";
        case LIBSSH2_FX_PERMISSION_DENIED: return "Permission denied";
        case LIBSSH2_FX_FAILURE: return "Failure";
        case LIBSSH2_FX_NO_SUCH_PATH: return "No such file or directory";
        case LIBSSH2_FX_FILE_ALREADY_EXISTS: return "File exists";
        case LIBSSH2_FX_WRITE_PROTECT: return "Write protected";
        case LIBSSH2_FX_NO_SPACE_ON_FILESYSTEM:
        case LIBSSH2_FX_QUOTA_EXCEEDED: return "No space left on the server";
        case LIBSSH2_FX_DIR_NOT_EMPTY: return "Directory not empty";
        case LIBSSH2_FX_NOT_A_DIRECTORY: return "Not a directory";
        case LIBSSH2_FX_OP_UNSUPPORTED: return "Operation not supported";
        default: return "Failure";
    }
}

void TSftpClient::FailFromSession(int Code, const std::string& What) {
    if (!FSession) {
        EndRequest(426, "426 Connection closed");
        return;
    }
    const int err = libssh2_session_last_errno(FSession);
    if (err == LIBSSH2_ERROR_SFTP_PROTOCOL && !FTransportFailed) {
        EndRequest(Code, IntToStr(Code) + " " + What + ": " + SftpStatusText());
        return;
    }
    // Anything but the server's refusal leaves the session unusable.
    const std::string text = FTransportFailed ? "connection lost" : SessionError();
    DropSession();
    EndRequest(426, "426 " + What + ": " + text);
}

void TSftpClient::SocketConnected(std::uint16_t Error) {
    if (FState != fesAwaitingGreeting) return;
    if (Error != 0) {
        RecordSocketFailure(Error);
        if (ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
        EndRequest(500, FLastReplyLine);
        return;
    }
    FSocketUp = true;
    StartConnect();
}

void TSftpClient::SocketClosed(std::uint16_t Error) {
    const bool wasUp = FSocketUp;
    FSocketUp = false;
    FTransportFailed = true;
    if (FAnnounced) {
        FAnnounced = false;
        ControlUp = false;
        if (OnSessionClosed) OnSessionClosed(this, Error);
    }
    if (FInStep) {
        // The step that runs now (or closed the socket itself) sees it.
        FStepAgain = true;
        return;
    }
    if (!FStep) {
        // Between requests: the session is gone.
        if (wasUp) DropSession();
        return;
    }
    // Let the running step see the failure through libssh2 first.
    Resume();
    if (!FStep) return;
    DropSession();
    EndRequest(426, Error ? "426 Connection lost: " + WSocketErrorText(Error)
                          : std::string("426 Connection closed by the server"));
}

void TSftpClient::StartConnect() {
    FTransportFailed = false;
    FSession = libssh2_session_init_ex(nullptr, nullptr, nullptr, this);
    if (!FSession) {
        DropSession();
        EndRequest(500, "500 cannot start an SSH session");
        return;
    }
    libssh2_session_callback_set(FSession, LIBSSH2_CALLBACK_SEND,
                                 reinterpret_cast<void*>(&SendCallback));
    libssh2_session_callback_set(FSession, LIBSSH2_CALLBACK_RECV,
                                 reinterpret_cast<void*>(&ReceiveCallback));
    libssh2_session_set_blocking(FSession, 0);
    // The ciphers cheapest per byte first: every byte of a transfer goes
    // through them on both sides.
    for (int method : {LIBSSH2_METHOD_CRYPT_CS, LIBSSH2_METHOD_CRYPT_SC})
        libssh2_session_method_pref(FSession, method, kSftpCiphers);
    ChangeState(fesAwaitingReply);
    SetStep(&TSftpClient::StepHandshake);
    Resume();
}

void TSftpClient::CloseAgent() {
    if (!FAgent) return;
    libssh2_agent_disconnect(FAgent);
    libssh2_agent_free(FAgent);
    FAgent = nullptr;
    FAgentIdentity = nullptr;
    FAgentTrying = false;
}

void TSftpClient::DropSession() {
    FSocketUp = false;
    FLoggedIn = false;
    if (FHandle) {
        libssh2_sftp_close_handle(FHandle);
        FHandle = nullptr;
    }
    if (FSftp) {
        libssh2_sftp_shutdown(FSftp);
        FSftp = nullptr;
    }
    CloseAgent();
    if (FSession) {
        libssh2_session_free(FSession);
        FSession = nullptr;
    }
    if (ControlSocket && ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
    ReleaseLocalFile();
}

void TSftpClient::CancelAsync() {
    if (FInStep) {
        // A handler called from inside a libssh2 call (progress, a
        // passphrase question) must not free the session under it: the
        // cancel runs once the call has returned.
        FCancelPending = true;
        return;
    }
    FStep = nullptr;
    if (FState == fesLookingUp && ControlSocket) ControlSocket->AbortDnsLookup();
    DropSession();
    ControlUp = false;
    if (RequestRunning()) EndRequest(426, "426 Connection closed");
    ChangeState(fesReady);
}

std::string TSftpClient::RemotePath(const std::string& Name) const {
    if (!Name.empty() && Name[0] == '/') return Name;
    if (Name.empty() || Name == ".") return FCurrentDir.empty() ? "." : FCurrentDir;
    if (FCurrentDir.empty()) return Name;
    return FCurrentDir.back() == '/' ? FCurrentDir + Name : FCurrentDir + "/" + Name;
}

void TSftpClient::Refuse(const char* Request) {
    ReportEngineError(std::string(Request) + " is not available over SFTP");
}

void TSftpClient::QuoteAsync() { Refuse("QUOTE"); }
void TSftpClient::DoQuoteAsync() { Refuse("QUOTE"); }
void TSftpClient::AborAsync() { Refuse("ABOR"); }
void TSftpClient::RestAsync() { Refuse("REST"); }
void TSftpClient::PortAsync() { Refuse("PORT"); }
void TSftpClient::RunRetrAsync() { Refuse("RETR"); }
void TSftpClient::RunListAsync() { Refuse("LIST"); }
void TSftpClient::RunNlstAsync() { Refuse("NLST"); }
void TSftpClient::RunStorAsync() { Refuse("STOR"); }
void TSftpClient::RunAppeAsync() { Refuse("APPE"); }
void TSftpClient::ReceiveAsync() { Refuse("Receive"); }
void TSftpClient::RestartGetAsync() { Refuse("RestartGet"); }
void TSftpClient::TransmitAsync() { Refuse("Transmit"); }
void TSftpClient::RestartPutAsync() { Refuse("RestartPut"); }
void TSftpClient::TransmitAppendAsync() { Refuse("TransmitAppend"); }
void TSftpClient::DirectoryAsync() { Refuse("Directory"); }
void TSftpClient::ListAsync() { Refuse("List"); }
void TSftpClient::SystemAsync() { Refuse("System"); }

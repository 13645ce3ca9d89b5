// TCustomFtpCli: the control connection: opening it, reading reply lines and
// interpreting a command's final reply.
#include "ftp/CustomFtpCli.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/Strings.h"
#include "ftp/FtpParse.h"

namespace {

constexpr int kReplyRoom = 4095;  // one byte stays free for the terminating zero

bool StartsWithDigit(const std::string& Line) {
    return !Line.empty() && Line[0] >= '0' && Line[0] <= '9';
}

// The reply code at the front of Line; Pos ends after its digits.
int ReplyNumber(const std::string& Line, std::size_t& Pos) {
    Pos = 0;
    std::int64_t value = ParseInteger(Line, Pos);
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

bool IsContinuation(const std::string& Line, std::size_t Pos) {
    return Pos < Line.size() && Line[Pos] == '-';
}

}  // namespace

void TCustomFtpCli::OpenAsync() {
    if (!EnsureReady()) return;
    if (ControlUp) {
        ReportEngineError("FTP component already connected");
        return;
    }
    OpenStep(ftpOpenAsync, stepOpen);
    ReplyBufferLen = 0;
    StepResult = 0;
    FSslRefusal = 0;
    ResolvedAddr.clear();
    FErrorMessage.clear();
    SessionDir.clear();
    SessionType = 0;
    SetPhase(TRequestPhase::ReplyOwed);
    const unsigned epoch = RequestEpoch;
    ChangeState(fesLookingUp);
    if (RequestEpoch != epoch) return;
    try {
        ControlSocket->ForwardDnsLookup(FConnectionType == ftpProxy ? ProxyServer : HostName);
    } catch (Exception& E) {
        FailRequest(500, ExceptionLine(500, E));
    }
}

void TCustomFtpCli::RecordSocketFailure(std::uint16_t Error) {
    if (Error == SslErrUntrusted || Error == SslErrPinMismatch) FSslRefusal = Error;
    const std::string& tls = ControlSocket ? ControlSocket->SslErrorText() : std::string();
    FLastReplyLine = "500 " + (Error >= SslErrHandshake && Error <= SslErrTruncated && !tls.empty()
                                   ? tls
                                   : WSocketErrorText(Error)) +
                     " (Winsock error #" + IntToStr(Error) + ")";
    FReplyCode = 500;
    StepResult = 500;
    KeepFirstErrorLine();
}

void TCustomFtpCli::ControlDnsLookupDone(std::uint16_t Error) {
    if (FState != fesLookingUp) return;
    if (Error != 0) {
        RecordSocketFailure(Error);
        CompleteRequest(Error);
        return;
    }
    ResolvedAddr = ControlSocket->DnsResult();
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingGreeting);
    if (RequestEpoch != epoch) return;
    try {
        PrepareControlTls();
        ControlSocket->SetAddr(ResolvedAddr);
        // The name's other addresses are tried in turn when this one fails.
        const TStringList& all = ControlSocket->DnsResultList();
        std::vector<std::string> others;
        for (int i = 1; i < all.Count(); ++i) others.push_back(all[i]);
        ControlSocket->SetFallbackAddrs(others);
        ControlSocket->SetLocalAddr(LocalAddr);
        ControlSocket->SetProto("tcp");
        std::string port = FConnectionType == ftpProxy && !ProxyPort.empty() ? ProxyPort : Port;
        if (Security == ftpSecurityImplicit && SameText(port, "ftp")) port = "990";
        ControlSocket->SetPort(port);
        HandSocksSettings(*ControlSocket);
        ControlSocket->Connect();
    } catch (Exception& E) {
        FLastReplyLine = ExceptionLine(500, E);
        FReplyCode = 500;
        StepResult = 500;
        KeepFirstErrorLine();
        ForgetOwedReply();
        // The socket may be left open (wsOpened) by a connect that failed at
        // once; its close ends the request, and the next open starts afresh.
        if (ControlSocket && ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
        CompleteRequest(500);
    }
}

void TCustomFtpCli::ControlSessionConnected(std::uint16_t Error) {
    if (Error == 0) {
        ControlUp = true;  // the greeting comes through the reply reader
        if (ControlSocket->SslActive())
            FireDisplay("! Session encrypted (" + ControlSocket->SslCipherText() + ")");
        return;
    }
    RecordSocketFailure(Error);
    ForgetOwedReply();
    Chain.Continuation = nullptr;
    CompleteRequest(Error);
    if (ControlSocket && ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
    ChangeState(fesReady);
}

void TCustomFtpCli::ControlDataAvailable(std::uint16_t) {
    if (!ControlSocket) return;
    // With the buffer full this asks for 0 bytes; the 0 that comes back is
    // taken as the server's close.
    int count = ControlSocket->Receive(ReplyBuffer + ReplyBufferLen, kReplyRoom - ReplyBufferLen);
    if (count == 0) {
        ControlSocket->Disconnect();
        return;
    }
    if (count < 0) return;
    ReplyBufferLen += count;
    ReplyBuffer[ReplyBufferLen] = 0;
    while (ReplyBufferLen > 0) {
        const char* begin = ReplyBuffer;
        const char* end = begin + ReplyBufferLen;
        const char* lf = nullptr;
        if (Options & ftpAcceptLF) {
            lf = static_cast<const char*>(std::memchr(begin, '\n', ReplyBufferLen));
        } else {
            for (const char* p = begin; p + 1 < end; ++p)
                if (p[0] == '\r' && p[1] == '\n') {
                    lf = p + 1;
                    break;
                }
        }
        if (!lf) break;
        std::string line(begin, lf);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        FLastReplyLine = line;
        // The line leaves the buffer before anyone acts on it: a handler may
        // send, close or even read more.
        int used = static_cast<int>(lf + 1 - begin);
        std::memmove(ReplyBuffer, ReplyBuffer + used, ReplyBufferLen - used + 1);
        ReplyBufferLen -= used;
        if (OnResponse) OnResponse(this);
        if (!HandleReplyLine()) return;
    }
    if (ReplyBufferLen >= kReplyRoom && ControlSocket && ControlSocket->State() != wsClosed) {
        // A full buffer without a line end can never hold a whole line: close
        // now rather than wait for data that may never come.
        if (ReplyOwed()) {
            ForgetOwedReply();
            FLastReplyLine = "500 Reply line too long";
            FReplyCode = 500;
            StepResult = 500;
            KeepFirstErrorLine();
        }
        ControlSocket->Disconnect();
    }
}

bool TCustomFtpCli::HandleReplyLine() {
    std::size_t pos = 0;
    switch (FState) {
        case fesAwaitingGreeting: {
            TraceLastReply();
            if (!StartsWithDigit(FLastReplyLine)) return true;
            int code = ReplyNumber(FLastReplyLine, pos);
            FReplyCode = code;
            if (IsContinuation(FLastReplyLine, pos)) return true;
            ForgetOwedReply();
            if (code == 220) {
                const unsigned epoch = RequestEpoch;
                ChangeState(fesConnected);
                // A reconnect inside a running request (ReopenForPassive)
                // is no new session for the owner.
                const bool opening = !Chain.Active || (Chain.Steps & StepBit(stepOpen));
                if (OnSessionConnected && opening && RequestEpoch == epoch) OnSessionConnected(this, 0);
                if (RequestEpoch != epoch) return true;
                if (Security == ftpSecurityExplicit && !ControlSocket->SslActive())
                    RequestControlTls();
                else
                    CompleteRequest(0);
                return true;
            }
            KeepFirstErrorLine();
            StepResult = code >= 100 ? code : 500;
            if (ControlSocket) ControlSocket->Disconnect();
            return false;
        }
        case fesAwaitingReply: {
            if (!StartsWithDigit(FLastReplyLine)) {
                TraceLastReply();
                return true;
            }
            FReplyCode = ReplyNumber(FLastReplyLine, pos);
            if (IsContinuation(FLastReplyLine, pos)) {
                TraceLastReply();
                return true;
            }
            if (ReplyHandler)
                (this->*ReplyHandler)();
            else
                ReportEngineError("Program error: FNext is nil");
            return true;
        }
        default:
            TraceLastReply();
            return true;
    }
}

void TCustomFtpCli::CommandReplyStep() {
    TraceLastReply();
    std::size_t pos = 0;
    if (!StartsWithDigit(FLastReplyLine)) return;
    int code = ReplyNumber(FLastReplyLine, pos);
    if (IsContinuation(FLastReplyLine, pos)) return;
    FReplyCode = code;
    bool accepted = false;
    if (AcceptedCodes[0] == 0) {
        accepted = code < 500;
    } else {
        for (int i = 0; AcceptedCodes[i] != 0; ++i)
            if (AcceptedCodes[i] == code) {
                accepted = true;
                break;
            }
    }
    if (code < 100) {
        // "0 x" is no reply at all: malformed, never a success.
        StepResult = 500;
        KeepFirstErrorLine();
    } else if (accepted) {
        StepResult = 0;
    } else {
        StepResult = code;
        KeepFirstErrorLine();
    }
    if (Passive && (code == 227 || code == 229)) PasvReplyText = FLastReplyLine;
    ExtractReplyResults();
    TrackSession();
    ForgetOwedReply();
    if (AfterReply)
        (this->*AfterReply)();
    else
        CompleteRequest(StepResult);
}

void TCustomFtpCli::ExtractReplyResults() {
    if (StepResult != 0) return;
    std::size_t pos = 0;
    switch (LastStep) {
        case stepSize:
            ReplyNumber(FLastReplyLine, pos);
            FReplySize = ParseInteger(FLastReplyLine, pos);
            SizeReplyFile = HostFileName;
            break;
        case stepCwd:
        case stepMkd:
        case stepPwd:
        case stepCDup:
            ReplyNumber(FLastReplyLine, pos);
            FReplyDirName = ParseQuotedString(FLastReplyLine, pos);
            break;
        default:
            break;
    }
}

void TCustomFtpCli::TrackSession() {
    if (StepResult != 0) return;
    switch (LastStep) {
        case stepCwd:
        case stepCDup: {
            const std::string& dir = LastStep == stepCwd ? CwdTarget() : std::string("..");
            if (!dir.empty() && dir[0] == '/')
                SessionDir = dir;
            else if (SessionDir.empty())
                SessionDir = dir;
            else
                SessionDir += (SessionDir.back() == '/' ? "" : "/") + dir;
            break;
        }
        case stepPwd:
            // Only a path from the root is known to mean the same after a new login.
            if (!FReplyDirName.empty() && FReplyDirName[0] == '/') SessionDir = FReplyDirName;
            break;
        case stepTypeSet: SessionType = TransferType; break;
        default: break;
    }
}

void TCustomFtpCli::ControlSessionClosed(std::uint16_t Error) {
    const bool aborting = FState == fesAborting;
    if (!aborting && ReplyHandler == &TCustomFtpCli::AbortFenceReply && TransferRunning()) {
        // The server ended the session it had left stuck: a new one goes on,
        // from the message loop rather than from inside this close.
        platform::SetTimer(FWindowHandle, FTP_FENCE_TIMER, 1, false);
        return;
    }
    const unsigned epoch = RequestEpoch;
    if (ControlUp) {
        ControlUp = false;
        if (!aborting) ChangeState(fesNotConnected);
        if (OnSessionClosed && RequestEpoch == epoch) OnSessionClosed(this, Error);
        // The handler ended the request, or started one of its own (a
        // reconnect): this close has nothing more to end.
        if (RequestEpoch != epoch) return;
    }
    // The server has answered the transfer command: the data still coming
    // finishes the transfer when its connection closes. Busy until then.
    if (!aborting && TransferRunning() && FPhase == TRequestPhase::DataReplied) return;
    if (!aborting) ChangeState(fesBetweenSteps);
    if (RequestEpoch != epoch) return;
    if (ReplyOwed()) {
        // The connection went before the reply the request waited for: that
        // is a failure, except for a QUIT whose server simply hung up.
        ForgetOwedReply();
        if (LastStep == stepQuit) {
            StepResult = 0;
        } else if (TransferRunning() && TransferError != 0) {
            EndDataStep(TransferError);
            return;
        } else if (Error != 0) {
            RecordSocketFailure(Error);
            CompleteRequest(Error);
            return;
        } else {
            FailRequest(500, "500 Connection closed by the server");
            return;
        }
    }
    CompleteRequest(StepResult);
}

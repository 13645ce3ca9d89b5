// TCustomFtpCli: requests and chains: starting, advancing and completing
// them, the chain methods and the local abort.
#include "ftp/CustomFtpCli.h"

namespace {

// The order in which a chain's steps run, whatever order a chain lists them in.
constexpr TFtpStep kStepOrder[] = {
    stepOpen, stepUser, stepPass, stepCwd,  stepCDup,    stepTypeSet, stepPort, stepRest,
    stepGet,  stepPut,  stepAppend, stepDir, stepLs,     stepSyst,    stepMkd,  stepRmd,
    stepRenFrom, stepRenTo, stepSize, stepDele, stepPwd, stepAbor,    stepQuote, stepQuit,
};

constexpr TFtpSteps kLogin = StepBit(stepOpen) | StepBit(stepUser) | StepBit(stepPass);

// The word OnRequestDone carries: 0 only for success.
std::uint16_t ErrorWord(int Error) {
    if (Error == 0) return 0;
    return Error > 0 && Error <= 0xFFFF ? static_cast<std::uint16_t>(Error) : 500;
}

}  // namespace

void TCustomFtpCli::CompleteRequest(int Error) {
    if (!RequestRunning()) return;
    SetPhase(Chain.Active ? TRequestPhase::BetweenSteps : TRequestPhase::Idle);
    platform::KillTimer(FWindowHandle, FTP_DATA_WAIT_TIMER);
    platform::KillTimer(FWindowHandle, FTP_FENCE_TIMER);
    const std::uint16_t word = ErrorWord(Error);
    if (word == 0 && Chain.Continuation) {
        if (FState != fesAborting) ChangeState(fesBetweenSteps);
        (this->*Chain.Continuation)();
        return;
    }
    if (word != 0 && RetryPassive()) return;
    // A synchronous call reads the outcome from StepResult.
    if (word != 0 && StepResult == 0) StepResult = word;
    // The request's bookkeeping comes first and OnStateChange last: a
    // request started from that handler must find nothing left to undo.
    if (DataSocket && DataSocket->State() != wsClosed) DataSocket->Disconnect();
    if (Chain.Active && Chain.SavedReplyCode >= 0) {
        FLastReplyLine = Chain.SavedReplyText;
        FReplyCode = Chain.SavedReplyCode;
    }
    Chain.Active = false;
    Chain.Continuation = nullptr;
    Chain.Pending = 0;
    SetPhase(TRequestPhase::Idle);
    for (auto it = SyncOutcomes.rbegin(); it != SyncOutcomes.rend(); ++it) {
        if ((*it)->Done) continue;
        (*it)->Done = true;
        (*it)->Success = StepResult == 0;
        break;
    }
    platform::PostMessage(FWindowHandle, WM_FTP_REQUEST_DONE,
                          static_cast<platform::WPARAM>(FRequestType), word);
    ChangeState(fesReady);
}

bool TCustomFtpCli::CanFallBackToPassive() const {
    // Data that moved was stored by the server (an APPE would add it twice)
    // and shows that the data connection works.
    return PassiveFallback && !Passive && Chain.Active && ControlUp && FState != fesAborting &&
           (Chain.Steps & StepBit(stepPort)) && FByteCount == 0;
}

TFtpSteps TCustomFtpCli::StepsFromPort() const {
    TFtpSteps steps = 0;
    bool fromPort = false;
    for (TFtpStep step : kStepOrder) {
        fromPort = fromPort || step == stepPort;
        if (fromPort) steps |= Chain.Steps & StepBit(step);
    }
    return steps;
}

bool TCustomFtpCli::EnterPassive() {
    Passive = true;
    const unsigned epoch = RequestEpoch;
    if (OnPassiveFallback) OnPassiveFallback(this);
    // The handler may have dropped the session, or ended the request.
    return ControlUp && FState != fesAborting && RequestEpoch == epoch;
}

void TCustomFtpCli::RestartChain(TFtpSteps Steps) {
    StepResult = 0;
    Chain.Result = 0;
    Chain.Pending = Steps;
    ResumeAt = Chain.ResumeAt;
    FErrorMessage.clear();
    FLastReplyLine.clear();
    ChangeState(fesBetweenSteps);
    AdvanceChain();
}

bool TCustomFtpCli::RetryPassive() {
    if (!CanFallBackToPassive()) return false;
    // A refused PORT (or a data port that cannot listen), or a 425 to the
    // transfer command: the server cannot reach us. Other failures are the
    // request's own.
    const bool portRefused = LastStep == stepPort;
    const bool noDataConnection = LastStep != stepPort && FReplyCode == 425;
    if (!portRefused && !noDataConnection) return false;
    // The steps before the Port step (login, CWD, TYPE) have done their part.
    if (!EnterPassive()) return false;
    RestartChain(StepsFromPort());
    return true;
}

void TCustomFtpCli::ReopenForPassive() {
    platform::KillTimer(FWindowHandle, FTP_FENCE_TIMER);
    FireDisplay("! No answer after ABOR: connecting again to go on in passive mode");
    // The old session's replies are not waited for any more.
    ReplyHandler = nullptr;
    ReleaseLocalFile();
    CloseDataQuietly();
    if (!EnterPassive()) return;
    if (ControlSocket->State() != wsClosed) {
        // Its close is no loss of the session for the owner: it goes on.
        ControlUp = false;
        auto closed = std::move(ControlSocket->OnSessionClosed);
        ControlSocket->OnSessionClosed = nullptr;
        ControlSocket->Disconnect();
        ControlSocket->OnSessionClosed = std::move(closed);
    }
    ControlUp = false;
    ReturnDir = SessionDir;
    TFtpSteps steps = kLogin | StepBit(stepCwd) | StepsFromPort();
    if (SessionType != 0) {
        TransferType = SessionType;
        steps |= StepBit(stepTypeSet);
    }
    // The new session has seen nothing of the old one's replies.
    SetPhase(TRequestPhase::BetweenSteps);
    RestartChain(steps);
}

const std::string& TCustomFtpCli::CwdTarget() const {
    return Chain.Active && !(Chain.Steps & StepBit(stepCwd)) ? ReturnDir : HostDirName;
}

void TCustomFtpCli::FailRequest(int Code, const std::string& Msg) {
    if (FErrorMessage.empty()) FErrorMessage = Msg;
    FReplyCode = Code;
    StepResult = Code;
    Chain.Continuation = nullptr;
    // A request that has ended stays ended: its end was posted once.
    if (FPhase == TRequestPhase::Idle) return;
    SetPhase(TRequestPhase::Running);
    CompleteRequest(Code);
}

void TCustomFtpCli::StartChain(TFtpRequest RqType, TFtpSteps Steps) {
    if (ControlUp && (Steps & StepBit(stepOpen))) {
        ReportEngineError("FTP component already connected");
        return;
    }
    if (!EnsureReady()) return;
    Chain.SavedReplyText = FLastReplyLine;
    Chain.SavedReplyCode = -1;
    FRequestType = RqType;
    StepResult = 0;
    Chain.Pending = Steps;
    Chain.Steps = Steps;
    Chain.ResumeAt = ResumeAt;
    LastStep = stepNone;
    Chain.Result = 0;
    Chain.Active = true;
    FLastReplyLine.clear();
    FErrorMessage.clear();
    Chain.Continuation = nullptr;
    Chain.Starting = true;
    AdvanceChain();
}

void TCustomFtpCli::AdvanceChain() {
    if (FState == fesAborting) {
        Chain.Pending = 0;
        Chain.Result = 426;
        FErrorMessage = "426 Operation aborted.";
    }
    Chain.Continuation = &TCustomFtpCli::AdvanceChain;
    ExtractReplyResults();
    // A step refused inside the caller's own call is a plain refusal of the
    // whole chain; refused later, from an event, it ends the request.
    const bool first = Chain.Starting;
    Chain.Starting = false;
    const unsigned refusals = RefusalCount;
    try {
        StartNextStep();
    } catch (FtpException&) {
        if (first) {
            UnwindChain();
            throw;
        }
    }
    if (RefusalCount == refusals || !Chain.Active || RequestRunning()) return;
    if (first)
        UnwindChain();
    else
        FailRequest(500, LastRefusal);
}

void TCustomFtpCli::UnwindChain() {
    Chain.Active = false;
    Chain.Continuation = nullptr;
    Chain.Pending = 0;
    FLastReplyLine = Chain.SavedReplyText;
}

void TCustomFtpCli::StartNextStep() {
    const TFtpStep previous = LastStep;
    for (TFtpStep step : kStepOrder) {
        if (!(Chain.Pending & StepBit(step))) continue;
        Chain.Pending &= ~StepBit(step);
        switch (step) {
            case stepOpen: OpenAsync(); return;
            case stepUser: UserAsync(); return;
            case stepPass:
                // USER answered 230: no password wanted.
                if (previous == stepUser && FReplyCode != 331) continue;
                PassAsync();
                return;
            case stepCwd:
                if (CwdTarget().empty()) continue;
                CwdAsync();
                return;
            case stepCDup: CDupAsync(); return;
            case stepTypeSet: TypeSetAsync(); return;
            case stepPort: PortAsync(); return;
            case stepRest: RestAsync(); return;
            case stepGet:
                if (!(previous == stepRest && ResumeAt >= 0 && FReplyCode == 350)) ResumeAt = 0;
                RunRetrAsync();
                return;
            // Only a REST answered 350 right before keeps an offset: a stale
            // one would truncate an upload or fail a listing.
            case stepPut:
                if (!(previous == stepRest && FReplyCode == 350)) ResumeAt = 0;
                RunStorAsync();
                return;
            case stepAppend:
                ResumeAt = 0;
                RunAppeAsync();
                return;
            case stepDir:
                ResumeAt = 0;
                RunListAsync();
                return;
            case stepLs:
                ResumeAt = 0;
                RunNlstAsync();
                return;
            case stepSyst: SystAsync(); return;
            case stepMkd: MkdAsync(); return;
            case stepRmd: RmdAsync(); return;
            case stepRenFrom: RenFromAsync(); return;
            case stepRenTo: RenToAsync(); return;
            case stepSize: SizeAsync(); return;
            case stepDele: DeleAsync(); return;
            case stepPwd: PwdAsync(); return;
            case stepAbor: AborAsync(); return;
            case stepQuote: QuoteAsync(); return;
            case stepQuit:
                // The chain reports the reply of its last real step, not the 221.
                Chain.SavedReplyText = FLastReplyLine;
                Chain.SavedReplyCode = FReplyCode;
                QuitAsync();
                return;
            default:
                // A step outside the order cannot be in a chain.
                FailRequest(500, "500 Program error: unknown chain step");
                return;
        }
    }
    Chain.Pending = 0;
    Chain.Continuation = nullptr;
    SetPhase(TRequestPhase::Running);
    CompleteRequest(Chain.Result);
}

void TCustomFtpCli::CancelAsync() {
    const TFtpEngineState previous = FState;
    ChangeState(fesAborting);
    ReleaseLocalFile();
    if (RequestRunning()) {
        // Whatever closes next completes the running request with this.
        StepResult = 426;
        FErrorMessage = "426 Operation aborted.";
        ForgetOwedReply();
    }
    // A handler called by a close below may end the request and start one
    // of its own: that one is none of this cancel's business.
    const unsigned epoch = RequestEpoch;
    const auto handlerStartedOne = [&] { return RequestEpoch != epoch && RequestRunning(); };
    if (previous == fesLookingUp && ControlSocket) ControlSocket->AbortDnsLookup();
    if (ControlSocket && ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
    if (handlerStartedOne()) return;
    if (DataSocket && DataSocket->State() != wsClosed) DataSocket->Disconnect();
    if (handlerStartedOne()) return;
    ReleaseLocalFile();
    ControlUp = false;
    // A lookup that was cancelled closes nothing: end the request here.
    if (RequestRunning()) {
        Chain.Continuation = nullptr;
        CompleteRequest(426);
        if (handlerStartedOne()) return;
    }
    ChangeState(fesReady);
}

void TCustomFtpCli::ConnectAsync() { StartChain(ftpConnectAsync, kLogin); }

void TCustomFtpCli::GetAsync() { StartChain(ftpGetAsync, StepBit(stepPort) | StepBit(stepGet)); }

void TCustomFtpCli::RestGetAsync() {
    StartChain(ftpRestGetAsync, StepBit(stepPort) | StepBit(stepRest) | StepBit(stepGet));
}

void TCustomFtpCli::ReceiveAsync() {
    StartChain(ftpReceiveAsync, kLogin | StepBit(stepCwd) | StepBit(stepTypeSet) |
                                    StepBit(stepPort) | StepBit(stepGet) | StepBit(stepQuit));
}

void TCustomFtpCli::RestartGetAsync() {
    StartChain(ftpRestartGetAsync, kLogin | StepBit(stepCwd) | StepBit(stepTypeSet) |
                                       StepBit(stepPort) | StepBit(stepRest) | StepBit(stepGet) |
                                       StepBit(stepQuit));
}

void TCustomFtpCli::PutAsync() { StartChain(ftpPutAsync, StepBit(stepPort) | StepBit(stepPut)); }

void TCustomFtpCli::RestPutAsync() {
    StartChain(ftpRestPutAsync, StepBit(stepPort) | StepBit(stepRest) | StepBit(stepPut));
}

void TCustomFtpCli::TransmitAsync() {
    StartChain(ftpTransmitAsync, kLogin | StepBit(stepCwd) | StepBit(stepTypeSet) |
                                     StepBit(stepPort) | StepBit(stepPut) | StepBit(stepQuit));
}

void TCustomFtpCli::RestartPutAsync() {
    StartChain(ftpRestartPutAsync, kLogin | StepBit(stepCwd) | StepBit(stepTypeSet) |
                                       StepBit(stepPort) | StepBit(stepRest) | StepBit(stepPut) |
                                       StepBit(stepQuit));
}

void TCustomFtpCli::AppendAsync() {
    StartChain(ftpAppendAsync, StepBit(stepPort) | StepBit(stepAppend));
}

void TCustomFtpCli::TransmitAppendAsync() {
    StartChain(ftpTransmitAsync, kLogin | StepBit(stepCwd) | StepBit(stepTypeSet) |
                                     StepBit(stepPort) | StepBit(stepAppend) | StepBit(stepQuit));
}

void TCustomFtpCli::DirAsync() { StartChain(ftpDirAsync, StepBit(stepPort) | StepBit(stepDir)); }

void TCustomFtpCli::DirectoryAsync() {
    StartChain(ftpDirectoryAsync, kLogin | StepBit(stepCwd) | StepBit(stepPort) |
                                      StepBit(stepDir) | StepBit(stepQuit));
}

void TCustomFtpCli::LsAsync() { StartChain(ftpLsAsync, StepBit(stepPort) | StepBit(stepLs)); }

void TCustomFtpCli::ListAsync() {
    StartChain(ftpListAsync, kLogin | StepBit(stepCwd) | StepBit(stepPort) | StepBit(stepLs) |
                                 StepBit(stepQuit));
}

void TCustomFtpCli::SystemAsync() {
    StartChain(ftpSystemAsync, kLogin | StepBit(stepSyst) | StepBit(stepQuit));
}

void TCustomFtpCli::FileSizeAsync() {
    StartChain(ftpSizeAsync, kLogin | StepBit(stepCwd) | StepBit(stepSize) | StepBit(stepQuit));
}

void TCustomFtpCli::MkdirAsync() {
    StartChain(ftpMkdirAsync, kLogin | StepBit(stepCwd) | StepBit(stepMkd) | StepBit(stepQuit));
}

void TCustomFtpCli::RmdirAsync() {
    StartChain(ftpRmdirAsync, kLogin | StepBit(stepCwd) | StepBit(stepRmd) | StepBit(stepQuit));
}

void TCustomFtpCli::DeleteAsync() {
    StartChain(ftpDeleteAsync, kLogin | StepBit(stepCwd) | StepBit(stepDele) | StepBit(stepQuit));
}

void TCustomFtpCli::RenAsync() {
    StartChain(ftpRenAsync, StepBit(stepRenFrom) | StepBit(stepRenTo));
}

void TCustomFtpCli::RenameAsync() {
    StartChain(ftpRenameAsync, kLogin | StepBit(stepCwd) | StepBit(stepRenFrom) |
                                   StepBit(stepRenTo) | StepBit(stepQuit));
}

void TCustomFtpCli::DoQuoteAsync() {
    StartChain(ftpDoQuoteAsync, kLogin | StepBit(stepCwd) | StepBit(stepQuote) | StepBit(stepQuit));
}

// TCustomFtpCli: construction, properties, state, events and the one error
// path.
#include "ftp/CustomFtpCli.h"

#include "base/ExceptionClass.h"
#include "base/Strings.h"
#include "platform/Messages.h"

TCustomFtpCli::TCustomFtpCli(TComponent* AOwner) : TComponent(AOwner) {
    CreateEngineWindow();
    ControlSocket = new TWSocket(this);
    DataSocket = new TWSocket(this);
    ControlSocket->OnSessionConnected = [this](TObject*, std::uint16_t Error) {
        ControlSessionConnected(Error);
    };
    ControlSocket->OnDataAvailable = [this](TObject*, std::uint16_t Error) {
        ControlDataAvailable(Error);
    };
    ControlSocket->OnSessionClosed = [this](TObject*, std::uint16_t Error) {
        ControlSessionClosed(Error);
    };
    ControlSocket->OnDnsLookupDone = [this](TObject*, std::uint16_t Error) {
        ControlDnsLookupDone(Error);
    };
}

TCustomFtpCli::~TCustomFtpCli() {
    BeginDestroy();
    DestroyEngineWindow();
    ReleaseLocalFile();
    // The sockets go first, while the engine is still whole: closing them must
    // not call back into a half-destroyed engine.
    for (TWSocket* socket : {ControlSocket, DataSocket}) {
        if (!socket) continue;
        socket->OnSessionConnected = nullptr;
        socket->OnDataAvailable = nullptr;
        socket->OnSessionClosed = nullptr;
        socket->OnDnsLookupDone = nullptr;
        socket->OnSessionAvailable = nullptr;
        socket->OnDataSent = nullptr;
        delete socket;
    }
}

void TCustomFtpCli::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == ControlSocket) ControlSocket = nullptr;
    if (AComponent == DataSocket) DataSocket = nullptr;
}

TFtpShareMode TCustomFtpCli::ShareMode() const {
    switch (ShareWord) {
        case 0x00: return ftpShareCompat;
        case 0x20: return ftpShareDenyWrite;
        case 0x30: return ftpShareDenyRead;
        case 0x40: return ftpShareDenyNone;
        default: return ftpShareExclusive;
    }
}

void TCustomFtpCli::SetShareMode(TFtpShareMode Value) {
    switch (Value) {
        case ftpShareCompat: ShareWord = 0x00; break;
        case ftpShareDenyWrite: ShareWord = 0x20; break;
        case ftpShareDenyRead: ShareWord = 0x30; break;
        case ftpShareDenyNone: ShareWord = 0x40; break;
        default: ShareWord = 0x10; break;
    }
}

bool TCustomFtpCli::Connected() const {
    return ControlSocket && ControlSocket->State() != wsClosed;
}

void TCustomFtpCli::ChangeState(TFtpEngineState NewState) {
    if (FState == NewState) return;
    FState = NewState;
    if (OnStateChange) OnStateChange(this);
}

bool TCustomFtpCli::SetPhase(TRequestPhase To) {
    const TRequestPhase from = FPhase;
    if (from == To) return true;
    if (!PhaseMoveAllowed(from, To)) {
        // Going on would read replies or data as something they are not.
        SetPhase(TRequestPhase::Running);
        FailRequest(500, std::string("500 Program error: request phase ") + PhaseName(from) + " to " +
                             PhaseName(To));
        return false;
    }
    FPhase = To;
    if ((from == TRequestPhase::Idle) != (To == TRequestPhase::Idle)) ++RequestEpoch;
    if (OnPhaseChange) OnPhaseChange(this, from, To);
    return true;
}

void TCustomFtpCli::ForgetOwedReply() {
    if (FPhase == TRequestPhase::ReplyOwed)
        SetPhase(TRequestPhase::Running);
    else if (FPhase == TRequestPhase::DataReplyOwed)
        SetPhase(TRequestPhase::DataUnanswered);
    else if (FPhase == TRequestPhase::DataOpening)
        SetPhase(TRequestPhase::DataUnsent);
}

void TCustomFtpCli::OpenStep(TFtpRequest RqType, TFtpStep Step, bool AlwaysRename) {
    LastStep = Step;
    if (AlwaysRename || !Chain.Active) FRequestType = RqType;
    SetPhase(TRequestPhase::Running);
}

std::string TCustomFtpCli::ExceptionLine(int Code, const Exception& E) {
    return IntToStr(Code) + " " + ExceptionClassName(E) + ": " + E.Message();
}

void TCustomFtpCli::ReportEngineError(const std::string& Msg) {
    ++RefusalCount;
    LastRefusal = Msg;
    if (OnError) {
        std::string text = Msg;
        OnError(this, text);
        return;
    }
    throw FtpException(Msg);
}

bool TCustomFtpCli::EnsureReady() {
    if (FState == fesReady || FState == fesBetweenSteps) return true;
    ReportEngineError("FTP component not ready");
    return false;
}

void TCustomFtpCli::KeepFirstErrorLine() {
    if (FErrorMessage.empty()) FErrorMessage = FLastReplyLine;
}

void TCustomFtpCli::TraceLastReply() { FireDisplay("< " + FLastReplyLine); }

void TCustomFtpCli::ReleaseLocalFile() { LocalFileStream.reset(); }

void TCustomFtpCli::FireDisplay(const std::string& Msg) {
    if (!OnDisplay) return;
    std::string text = Msg;
    OnDisplay(this, text);
}

void TCustomFtpCli::FireDisplayFile(const std::string& Msg) {
    if (!OnDisplayFile) return;
    std::string text = Msg;
    OnDisplayFile(this, text);
}

void TCustomFtpCli::FireReadyToTransmit(bool& bCancel) {
    if (OnReadyToTransmit) OnReadyToTransmit(this, bCancel);
}

bool TCustomFtpCli::Progress() {
    bool abort = false;
    const unsigned epoch = RequestEpoch;
    if (OnProgress) OnProgress(this, FByteCount + ResumeAt, abort);
    // The handler ended this transfer (or started another): nothing to go on with.
    if (RequestEpoch != epoch) return false;
    if (!abort) return true;
    FireDisplay("! Abort requested");
    // Recorded before the close, which may complete the transfer at once.
    RecordTransferFailure(426, "426 Transfer aborted by application");
    if (DataSocket) DataSocket->Disconnect();
    return false;
}

void TCustomFtpCli::CreateEngineWindow() {
    FWindowHandle = platform::CreateHiddenWindow(
        [this](platform::HWND, platform::UINT Msg, platform::WPARAM WParam,
               platform::LPARAM LParam) -> platform::LRESULT {
            try {
                return EngineWindowProc(Msg, WParam, LParam);
            } catch (Exception& E) {
                HandleEventException(E);
            } catch (const std::exception& E) {
                Exception wrapped(E.what());
                HandleEventException(wrapped);
            }
            return 0;
        });
}

void TCustomFtpCli::DestroyEngineWindow() {
    if (FWindowHandle) platform::DestroyWindow(FWindowHandle);
    FWindowHandle = 0;
}

platform::LRESULT TCustomFtpCli::EngineWindowProc(platform::UINT Msg, platform::WPARAM WParam,
                                                  platform::LPARAM LParam) {
    if (Msg == WM_FTP_REQUEST_DONE) {
        // The request type travels with the message: a request started before
        // this message is handled must not rename the one that ended.
        if (OnRequestDone)
            OnRequestDone(this, static_cast<TFtpRequest>(WParam),
                          static_cast<std::uint16_t>(platform::LOWORD(LParam)));
    } else if (Msg == WM_FTP_SENDDATA) {
        StartSending();
    } else if (Msg == WM_FTP_UPLOAD_END) {
        EndOfFilePauseDone();
    } else if (Msg == platform::WM_TIMER && WParam == FTP_DATA_WAIT_TIMER) {
        DataArrivalTimedOut();
    } else if (Msg == platform::WM_TIMER && WParam == FTP_FENCE_TIMER) {
        AbortFenceTimedOut();
    }
    return 0;
}

void TCustomFtpCli::HandleEventException(Exception& E) {
    bool canClose = true;
    if (!OnBgException) return;
    try {
        OnBgException(this, E, canClose);
    } catch (...) {
        // A failing handler must not take the message loop down.
    }
}

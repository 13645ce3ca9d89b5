// TCustomFtpCli: what the receiving and sending steps share: starting and
// failing a data step, the completion rule and the transfer statistics.
#include "ftp/CustomFtpCli.h"

#include <memory>

#include "base/Strings.h"

void TCustomFtpCli::BeginTransfer() {
    DataConn = TDataConn::Awaited;
    Upload = TUpload::Waiting;
    FByteCount = 0;
    // A SIZE answered for this very file just before tells what RETR owes.
    SizeBeforeTransfer = SizeReplyFile == HostFileName && !HostFileName.empty() ? FReplySize : -1;
    SizeReplyFile.clear();
    SizeIn150 = -1;
    TransferOffset = ResumeAt;
    FSslDataRefusal = 0;
    DataCloseError = 0;
    TransferError = 0;
    LocalFileFailed = false;
    FErrorMessage.clear();
    // Losing the control connection before the transfer is over fails it.
    SetPhase(TRequestPhase::DataOpening);
}

void TCustomFtpCli::EndDataStep(int Code) {
    // The first failure stays the result, whatever the server said after it.
    if (TransferError != 0) Code = TransferError;
    // A reply numbered 0 (or below 100) is malformed, still a refusal.
    if (Code < 100) Code = 500;
    if (RequestRunning()) SetPhase(TRequestPhase::Running);
    ReplyHandler = nullptr;
    if (DataSocket && DataSocket->State() != wsClosed) DataSocket->Disconnect();
    ReleaseLocalFile();
    StepResult = Code;
    CompleteRequest(Code);
}

void TCustomFtpCli::FailDataStep(int Code, const std::string& Line) {
    FLastReplyLine = Line;
    FReplyCode = Code;
    KeepFirstErrorLine();
    EndDataStep(Code);
}

void TCustomFtpCli::RecordTransferFailure(int Code, const std::string& Msg) {
    if (TransferError != 0) return;
    TransferError = Code;
    FErrorMessage = Msg;
}

void TCustomFtpCli::SendTransferCommand(TStepProc FirstReply, const std::string& Cmd) {
    SetPhase(FPhase == TRequestPhase::DataUnsent ? TRequestPhase::DataUnanswered : TRequestPhase::DataReplyOwed);
    ReplyHandler = FirstReply;
    SendCommand(Cmd);
}

void TCustomFtpCli::FailDataConnection(int Code, const std::string& Line) {
    if (!TransferReplyOwed()) {
        FailDataStep(Code, Line);
        return;
    }
    // The server answers the transfer command yet (425, 426, even 226):
    // ending now would leave that reply to be read as the next command's.
    FireDisplay("! " + Line);
    RecordTransferFailure(Code, Line);
    ReleaseLocalFile();
    CloseDataQuietly();
    DataConn = DataConn == TDataConn::Open ? TDataConn::Closed : TDataConn::GivenUp;
}

void TCustomFtpCli::DataConnectionError(int Error) {
    RecordTransferFailure(426, "426 Data connection failed with error #" + IntToStr(Error));
    if (DataSocket) DataSocket->ShutdownSocket(2);
}

bool TCustomFtpCli::DataConnectionFailed() const {
    if (StepResult == 0) return false;
    return LastStep == stepPort || FReplyCode == 425 ||
           FErrorMessage.rfind("Unable to establish data connection", 0) == 0 ||
           FErrorMessage.rfind("550 Invalid passive mode reply", 0) == 0;
}

bool TCustomFtpCli::TransferRunning() const {
    // LastStep too: a request that began after an abort is no transfer.
    const bool dataStep = LastStep == stepGet || LastStep == stepDir || LastStep == stepLs ||
                          LastStep == stepPut || LastStep == stepAppend;
    const bool dataPhase = FPhase == TRequestPhase::DataOpening || FPhase == TRequestPhase::DataReplyOwed ||
                           FPhase == TRequestPhase::DataReplied || FPhase == TRequestPhase::DataUnsent ||
                           FPhase == TRequestPhase::DataUnanswered;
    return dataPhase && dataStep;
}

void TCustomFtpCli::TestTransferCompletion() {
    if (!TransferRunning() || FPhase != TRequestPhase::DataReplied || !DataConnEnded()) return;
    SetPhase(TRequestPhase::Running);
    ReportTransferStats();
    ResumeAt = 0;
    int result = DataCloseError;
    if (TransferError != 0)
        result = TransferError;
    else if (DataCloseError != 0 && FErrorMessage.empty())
        FErrorMessage = "Data connection closed with error #" + IntToStr(DataCloseError);
    StepResult = result;
    CompleteRequest(result);
}

std::int64_t TCustomFtpCli::AnnouncedDataSize() const {
    if (SizeIn150 >= 0) return SizeIn150;
    if (LastStep == stepGet && SizeBeforeTransfer >= TransferOffset) return SizeBeforeTransfer - TransferOffset;
    return -1;
}

std::uint16_t TCustomFtpCli::DataCloseOutcome(std::uint16_t Error, bool Received) {
    if (Error == SslErrTruncated) {
        // Our own close of an upload is answered as the server likes.
        if (!Received) return 0;
        const std::int64_t announced = AnnouncedDataSize();
        if (announced >= 0 && announced == FByteCount) {
            FireDisplay("! The server did not close TLS properly on the data connection (no close_notify); the " +
                        IntToStr(FByteCount) + " bytes received are the size it announced");
            return 0;
        }
        const std::string line = "426 Data connection closed without TLS close_notify after " + IntToStr(FByteCount) +
                                 " bytes" +
                                 (announced >= 0 ? " of " + IntToStr(announced) + " announced" : std::string()) +
                                 ": the data may have been cut short on the way";
        FireDisplay("! " + line.substr(4));
        RecordTransferFailure(426, line);
        // A listing cut short would be shown as if it were the folder.
        if ((LastStep == stepDir || LastStep == stepLs) && !LocalFileName.empty())
            std::unique_ptr<TFtpLocalFile>(TFtpLocalFile::Create(LocalFileName));
        return Error;
    }
    if (Error >= SslErrHandshake && Error <= SslErrProtocol) {
        if (Error == SslErrUntrusted || Error == SslErrPinMismatch) FSslDataRefusal = Error;
        const std::string why = DataSocket ? DataSocket->SslErrorText() : std::string();
        FireDisplay("! Data connection: " + why);
        RecordTransferFailure(425, "425 Data connection: " + (why.empty() ? "TLS failed" : why));
    }
    return Error;
}

void TCustomFtpCli::IgnoreReplyStep() { TraceLastReply(); }

void TCustomFtpCli::ReportTransferStats() {
    StopTime = platform::GetTickCount();
    const std::uint32_t elapsed = StopTime - StartTime;
    std::string text = IntToStr(FByteCount) + " bytes received/sent in " +
                       IntToStr(static_cast<std::int64_t>(elapsed / 1000)) + " seconds";
    if (elapsed != 0) {
        const std::int64_t rate = FByteCount <= 32767 ? FByteCount * 1000 / elapsed
                                                      : (FByteCount / elapsed) * 1000;
        text += " (" + IntToStr(rate) + " Bytes/sec)";
    }
    FireDisplay("! " + text);
}

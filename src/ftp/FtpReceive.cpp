// TCustomFtpCli: the receiving steps RETR, LIST and NLST: the local file or
// OnDisplayFile, the data connection and the two final replies.
#include "ftp/CustomFtpCli.h"

#include "base/Strings.h"

namespace {
constexpr int kReceiveBlock = 4096;
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The "(N bytes)" many servers put in the 150 reply; -1 without one.
std::int64_t SizeInReply(const std::string& Line) {
    const std::size_t end = Line.rfind(" bytes)");
    if (end == std::string::npos) return -1;
    const std::size_t open = Line.rfind('(', end);
    if (open == std::string::npos || open + 1 == end) return -1;
    const std::string digits = Line.substr(open + 1, end - open - 1);
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(digits);
}
}  // namespace

void TCustomFtpCli::RunRetrAsync() { StartReceive(ftpGetAsync, stepGet, "RETR"); }
void TCustomFtpCli::RunListAsync() { StartReceive(ftpDirAsync, stepDir, "LIST"); }
void TCustomFtpCli::RunNlstAsync() { StartReceive(ftpLsAsync, stepLs, "NLST"); }

void TCustomFtpCli::StartReceive(TFtpRequest RqType, TFtpStep Step, const std::string& Verb) {
    if (!ControlUp) {
        ReportEngineError(Verb + ": not connected");
        return;
    }
    if (LocalFileName.empty() && !DisplayFileFlag) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    // Starting here while another request runs would break that request.
    if (!EnsureReady()) return;
    OpenStep(RqType, Step);
    ReceiveVerb = Verb;
    BeginTransfer();
    if (!DisplayFileFlag && !OpenReceiveFile()) return;
    if (Passive) {
        if (!ConnectPassiveData(&TCustomFtpCli::ReceiveConnected, 550)) return;
    } else {
        AwaitDataConnection();
    }
    // The connection may have failed already, inside Connect or Accept.
    if (!TransferRunning()) return;
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingReply);
    if (RequestEpoch != epoch) return;
    SendTransferCommand(&TCustomFtpCli::ReceiveFirstReply,
                        HostFileName.empty() ? ReceiveVerb : ReceiveVerb + " " + HostFileName);
    if (TransferRunning()) AwaitDataArrival();
}

bool TCustomFtpCli::OpenReceiveFile() {
    ReleaseLocalFile();
    if (ResumeAt > 0)
        LocalFileStream.reset(TFtpLocalFile::OpenForWriteAt(LocalFileName, ResumeAt));
    else
        LocalFileStream.reset(TFtpLocalFile::Create(LocalFileName));
    if (LocalFileStream) return true;
    LocalFileFailed = true;
    FailDataStep(550, "Unable to open local file " + LocalFileName);
    return false;
}

void TCustomFtpCli::ReceiveAccepted(std::uint16_t) {
    if (!TransferRunning()) return;
    if (!AcceptDataConnection(&TCustomFtpCli::ReceiveSessionClosed, &TCustomFtpCli::ReceiveDataAvailable,
                              nullptr))
        return;
    StartTime = platform::GetTickCount();
}

void TCustomFtpCli::ReceiveConnected(std::uint16_t Error) {
    if (!TransferRunning()) return;
    SetDataHandlers(&TCustomFtpCli::ReceiveSessionClosed, &TCustomFtpCli::ReceiveDataAvailable,
                    nullptr);
    StartTime = platform::GetTickCount();
    if (Error != 0)
        FailDataConnection(550, "Unable to establish data connection, error #" + IntToStr(Error));
}

void TCustomFtpCli::ReceiveDataAvailable(std::uint16_t) {
    char block[kReceiveBlock];
    if (!TransferRunning()) {
        // Left over from a step that ended: drop it.
        DataSocket->Receive(block, sizeof block);
        return;
    }
    if (!Progress()) return;
    const int count = DataSocket->Receive(block, sizeof block);
    if (count == 0) return;
    if (count < 0) {
        if (DataSocket->State() == wsConnected &&
            DataSocket->LastError() != winsock::WSAEWOULDBLOCK) {
            FireDisplay("! Data: Receive error " + IntToStr(DataSocket->LastError()));
            DataConnectionError(DataSocket->LastError());
        }
        return;
    }
    FByteCount += count;
    if (LocalFileStream && !LocalFileStream->Write(block, count)) {
        FireDisplay("! Error writing local file");
        LocalFileFailed = true;
        RecordTransferFailure(550, "550 Error writing local file " + LocalFileName);
        ReleaseLocalFile();
        DataSocket->ShutdownSocket(2);
        return;
    }
    if (DisplayFileFlag) DeliverDisplayFile(block, count);
}

void TCustomFtpCli::DeliverDisplayFile(const char* Data, int Len) {
    // A line split between two blocks arrives as two strings; blank lines
    // vanish except at the very start of a block.
    int pos = 0;
    do {
        const int start = pos;
        while (pos < Len && !IsLineEnd(Data[pos])) ++pos;
        FireDisplayFile(std::string(Data + start, Data + pos));
        while (pos < Len && IsLineEnd(Data[pos])) ++pos;
    } while (pos < Len);
}

void TCustomFtpCli::ReceiveSessionClosed(std::uint16_t Error) {
    // The last gathered bytes reach the file now; failing that, the transfer
    // failed as any local write does.
    if (LocalFileStream && !LocalFileStream->Flush() && TransferRunning()) {
        FireDisplay("! Error writing local file");
        LocalFileFailed = true;
        RecordTransferFailure(550, "550 Error writing local file " + LocalFileName);
    }
    ReleaseLocalFile();
    if (!TransferRunning()) return;
    DataConn = TDataConn::Closed;
    DataCloseError = DataCloseOutcome(Error, true);
    TestTransferCompletion();
}

void TCustomFtpCli::ReceiveFirstReply() {
    TraceLastReply();
    const int code = FReplyCode;
    if (code == 125 || (code >= 150 && code <= 159)) {
        SizeIn150 = SizeInReply(FLastReplyLine);
        ReplyHandler = &TCustomFtpCli::ReceiveSecondReply;
        return;
    }
    KeepFirstErrorLine();
    ResumeAt = 0;
    FailDataStep(code, FLastReplyLine);
}

void TCustomFtpCli::ReceiveSecondReply() {
    TraceLastReply();
    const int code = FReplyCode;
    if (code == 125 || code == 226 || code == 250) {
        SetPhase(TRequestPhase::DataReplied);
        ReplyHandler = &TCustomFtpCli::IgnoreReplyStep;
        TestTransferCompletion();
        return;
    }
    KeepFirstErrorLine();
    FireDisplay("! RETR/LIST/NLST Failed");
    FailDataStep(code, FLastReplyLine);
}

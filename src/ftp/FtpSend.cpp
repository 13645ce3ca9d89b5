// TCustomFtpCli: the sending steps STOR and APPE: the local file, 1,460-byte
// chunks paced by the socket's OnDataSent, the pause and delayed close at
// the end of the file, and the two final replies.
#include "ftp/CustomFtpCli.h"

#include "base/Strings.h"

namespace {
constexpr int kDropBlock = 2048;
// Between the last chunk and the close of the data connection: no wait. The
// close is an orderly shutdown that the kernel sends after every byte, so a
// wait only delays the server's 226 (by a tenth of a second per upload).
// A posted message still runs the close from the loop, after the messages
// queued; one left over from an upload that ended otherwise finds no pause.
}  // namespace

void TCustomFtpCli::RunStorAsync() { StartSend(false); }
void TCustomFtpCli::RunAppeAsync() { StartSend(true); }

void TCustomFtpCli::StartSend(bool Append) {
    if (!ControlUp) {
        ReportEngineError("STOR/APPE: not connected");
        return;
    }
    if (LocalFileName.empty()) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    // Starting here while another request runs would break that request.
    if (!EnsureReady()) return;
    AppendMode = Append;
    // Also inside a chain: uploads are reported as what they are.
    OpenStep(Append ? ftpAppendAsync : ftpPutAsync, Append ? stepAppend : stepPut, true);
    BeginTransfer();
    // The statistics' clock starts once data moves.
    StartTime = 0;
    bool cancel = false;
    const unsigned epoch = RequestEpoch;
    FireReadyToTransmit(cancel);
    if (RequestEpoch != epoch) return;
    if (cancel) {
        FErrorMessage = "426 Transmit cancelled by application";
        FReplyCode = 426;
        FireDisplay("! " + FErrorMessage);
        EndDataStep(426);
        return;
    }
    ReleaseLocalFile();
    LocalFileStream.reset(TFtpLocalFile::OpenForReadAt(LocalFileName, ResumeAt > 0 ? ResumeAt : 0));
    if (!LocalFileStream) {
        LocalFileFailed = true;
        FErrorMessage = "426 Unable to open local file " + LocalFileName;
        FReplyCode = 426;
        FireDisplay("! " + FErrorMessage);
        EndDataStep(426);
        return;
    }
    if (Passive) {
        // Busy until the command has gone out and been answered: a
        // synchronous call must not take the wait for the connection as the
        // end of the request.
        ChangeState(fesAwaitingReply);
        if (RequestEpoch != epoch) return;
        ReplyHandler = &TCustomFtpCli::IgnoreReplyStep;
        ConnectPassiveData(&TCustomFtpCli::SendConnected, 426);
        return;
    }
    AwaitDataConnection();
    if (TransferRunning()) SendStorCommand();
    if (TransferRunning()) AwaitDataArrival();
}

void TCustomFtpCli::SendStorCommand() {
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingReply);
    if (RequestEpoch != epoch) return;
    SendTransferCommand(&TCustomFtpCli::SendFirstReply, (AppendMode ? "APPE " : "STOR ") + HostFileName);
}

void TCustomFtpCli::SendConnected(std::uint16_t Error) {
    if (!TransferRunning()) return;
    SetDataHandlers(&TCustomFtpCli::SendSessionClosed, &TCustomFtpCli::SendDropData, nullptr);
    DataConn = TDataConn::Open;
    StartTime = platform::GetTickCount();
    if (Error != 0) {
        FailDataConnection(550, "Unable to establish data connection, error #" + IntToStr(Error));
        return;
    }
    SendStorCommand();
}

void TCustomFtpCli::SendAccepted(std::uint16_t) {
    if (!TransferRunning()) return;
    if (!AcceptDataConnection(&TCustomFtpCli::SendSessionClosed, &TCustomFtpCli::SendDropData,
                              &TCustomFtpCli::SendNextChunk))
        return;
    int size = 0;
    int len = sizeof size;
    if (winsock::getsockopt(DataSocket->HSocket(), winsock::SOL_SOCKET, winsock::SO_SNDBUF,
                            reinterpret_cast<char*>(&size), &len) == winsock::SOCKET_ERROR) {
        FailDataConnection(550, "550 winsock.getsockopt(SO_SNDBUF) failed");
        return;
    }
    // No close may cut off data still in flight: a lingering close resets the
    // connection when its time runs out. The end of the upload is an orderly
    // close instead (EndOfFilePauseDone).
    DataSocket->LingerOnOff = wsLingerOff;
    DataSocket->LingerTimeout = 10;
    DataSocket->ApplyLingerOption();
    DataConn = TDataConn::Open;
    if (Upload == TUpload::GoAhead) platform::PostMessage(FWindowHandle, WM_FTP_SENDDATA, 0, 0);
}

void TCustomFtpCli::SendDropData(std::uint16_t) {
    char block[kDropBlock];
    if (DataSocket->Receive(block, sizeof block) >= 0 || !TransferRunning()) return;
    const int error = DataSocket->LastError();
    if (error != winsock::WSAEWOULDBLOCK && DataSocket->State() == wsConnected) {
        FireDisplay("! Data: Receive error " + IntToStr(error));
        DataConnectionError(error);
    }
}

void TCustomFtpCli::StartSending() {
    if (!TransferRunning()) return;
    StartTime = platform::GetTickCount();
    SendNextChunk(0);
}

void TCustomFtpCli::SendNextChunk(std::uint16_t Error) {
    if (!LocalFileStream || !TransferRunning()) return;
    if (!Progress()) return;
    // The progress handler may run messages of its own, in which a nested
    // call can stop the upload and release the file: nothing is left to send.
    if (!LocalFileStream || !TransferRunning()) return;
    if (Error != 0) {
        FireDisplay("! Error #" + IntToStr(Error) + " sending data");
        RecordTransferFailure(426, "426 Error #" + IntToStr(Error) + " sending data");
        DataSocket->Disconnect();
        return;
    }
    if ((Upload != TUpload::GoAhead && Upload != TUpload::Sending) || !SendConnReady()) return;
    const int count = LocalFileStream->Read(UploadChunk, sizeof UploadChunk);
    if (count < 0) {
        FireDisplay("! Error reading file");
        LocalFileFailed = true;
        RecordTransferFailure(426, "426 Error reading local file " + LocalFileName);
        DataSocket->Disconnect();
        return;
    }
    if (count == 0 && LocalFileStream->ChangedWhileRead()) {
        // What went out mixes versions of the file: the server's 226 would
        // call a copy that matches neither of them complete.
        const std::string line = "550 Local file " + LocalFileName +
                                 " changed while it was being sent; the upload is incomplete";
        FireDisplay("! " + line.substr(4));
        LocalFileFailed = true;
        RecordTransferFailure(550, line);
        DataSocket->Disconnect();
        return;
    }
    if (count == 0) {
        Upload = TUpload::Pausing;
        platform::PostMessage(FWindowHandle, WM_FTP_UPLOAD_END, 0, 0);
        return;
    }
    FByteCount += count;
    Upload = TUpload::Sending;
    try {
        DataSocket->Send(UploadChunk, count);
    } catch (Exception& E) {
        const std::string line = ExceptionLine(426, E);
        FireDisplay("! " + line.substr(4));
        RecordTransferFailure(426, line);
        DataSocket->Disconnect();
    }
}

void TCustomFtpCli::EndOfFilePauseDone() {
    if (Upload != TUpload::Pausing) return;
    Upload = TUpload::Sent;
    // The last chunk has left the socket layer (the end of the file is read
    // only on OnDataSent). Only the sending side closes: the kernel hands
    // over every byte before the FIN, and the server closes its side once it
    // has read them all; that close, or a reset, ends the data side.
    if (TransferRunning() && DataSocket->State() == wsConnected) DataSocket->ShutdownSocket(1);
}

void TCustomFtpCli::SendSessionClosed(std::uint16_t Error) {
    ReleaseLocalFile();
    if (Upload == TUpload::Pausing) Upload = TUpload::Sent;
    if (!TransferRunning()) return;
    // The server's 226 cannot make a file whole that was not all sent.
    if (Upload != TUpload::Sent)
        RecordTransferFailure(426, "426 Data connection closed before the whole file was sent");
    DataConn = TDataConn::Closed;
    DataCloseError = DataCloseOutcome(Error, false);
    TestTransferCompletion();
}

void TCustomFtpCli::SendFirstReply() {
    TraceLastReply();
    const int code = FReplyCode;
    if (code == 150 || code == 125) {
        Upload = TUpload::GoAhead;
        ReplyHandler = &TCustomFtpCli::SendSecondReply;
        if (Passive) {
            DataSocket->OnDataSent = [this](TObject*, std::uint16_t Error) {
                SendNextChunk(Error);
            };
            SendNextChunk(0);
        } else if (SendConnReady()) {
            platform::PostMessage(FWindowHandle, WM_FTP_SENDDATA, 0, 0);
        }
        return;
    }
    KeepFirstErrorLine();
    ResumeAt = 0;
    FailDataStep(code, FLastReplyLine);
}

void TCustomFtpCli::SendSecondReply() {
    TraceLastReply();
    const int code = FReplyCode;
    if (code == 226 || code == 250) {
        SetPhase(TRequestPhase::DataReplied);
        ReplyHandler = &TCustomFtpCli::IgnoreReplyStep;
        // The server has read the whole file: its own close of the data
        // connection need not be awaited any more.
        if (Upload == TUpload::Sent && DataSocket->State() == wsConnected)
            DataSocket->Disconnect();
        TestTransferCompletion();
        return;
    }
    KeepFirstErrorLine();
    FireDisplay("! STOR Failed");
    FailDataStep(code, FLastReplyLine);
}

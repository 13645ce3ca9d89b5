// TCustomFtpCli: sending commands and the single-command requests.
#include "ftp/CustomFtpCli.h"

#include <filesystem>
#include <system_error>

#include "base/Strings.h"
#include "ftp/FtpUrl.h"

namespace {

// Size of the local file of that name, 0 for a folder, -1 when there is none.
std::int64_t LocalFileSize(const std::string& Name) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(Name, error);
    if (error) return -1;
    auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return -1;
    if (!std::filesystem::is_regular_file(status)) return 0;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

void TCustomFtpCli::SendCommand(std::string Cmd) {
    if (OnCommand) OnCommand(this, Cmd);
    // A line break would end the command early and send the rest as a command
    // of its own (a hostile name taken from a listing, say): never sent.
    if (Cmd.find_first_of("\r\n") != std::string::npos) {
        const std::string line = "500 Command not sent: it contains a line break";
        FireDisplay("! " + line.substr(4));
        ForgetOwedReply();
        if (TransferRunning()) FailDataStep(500, line);
        else FailRequest(500, line);
        return;
    }
    // The trace goes to logs and terminals: it never shows the password. What
    // is sent stays unchanged.
    FireDisplay(Cmd.compare(0, 5, "PASS ") == 0 ? "> PASS ****" : "> " + Cmd);
    if (ControlSocket && ControlSocket->State() == wsConnected) ControlSocket->SendText(Cmd + "\r\n");
}

void TCustomFtpCli::IssueCommand(TFtpRequest RqType, TFtpStep Step, const std::string& Cmd,
                                 std::initializer_list<int> Accepted, TStepProc After) {
    const bool unchecked = Cmd == "ABOR" || Cmd == "STAT" || Cmd == "QUIT";
    if (!unchecked) {
        if (!EnsureReady()) return;
        if (!ControlUp) {
            ReportEngineError("FTP component not connected");
            return;
        }
    }
    // Only a command that really starts may change what the running request's
    // reply will be read as.
    OpenStep(RqType, Step);
    size_t n = 0;
    for (int code : Accepted)
        if (n + 1 < AcceptedCodes.size()) AcceptedCodes[n++] = code;
    AcceptedCodes[n] = 0;
    ReplyHandler = &TCustomFtpCli::CommandReplyStep;
    AfterReply = After;
    FErrorMessage.clear();
    SetPhase(TRequestPhase::ReplyOwed);
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingReply);
    if (RequestEpoch != epoch) return;
    const bool wire = ControlSocket && ControlSocket->State() == wsConnected;
    SendCommand(Cmd);
    if (wire || RequestEpoch != epoch) return;
    // The unchecked commands may go out with no connection at all; no reply
    // can come then, so the request ends here rather than never.
    ForgetOwedReply();
    if (Cmd == "QUIT") {
        StepResult = 0;
        // A socket opened but never connected is closed too; its close
        // completes the request.
        if (ControlSocket && ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
        CompleteRequest(0);
    } else {
        FailRequest(500, "500 FTP component not connected");
    }
}

void TCustomFtpCli::UserAsync() {
    if (UserName.empty()) {
        ReportEngineError("UserName emtpy");
        return;
    }
    std::string cmd = "USER " + UserName;
    if (FConnectionType == ftpProxy) {
        // Appended piecewise: GCC 12 warns (-Wrestrict) of a literal added to a temporary.
        cmd += '@';
        cmd += HostForPort(HostName);
        if (!SameText(Port, "ftp") && !SameText(Port, "21")) cmd += ":" + Port;
    }
    IssueCommand(ftpUserAsync, stepUser, cmd, {331, 230}, AfterLogin());
}

void TCustomFtpCli::PassAsync() {
    if (PassWord.empty()) {
        ReportEngineError("Password emtpy");
        return;
    }
    IssueCommand(ftpPassAsync, stepPass, "PASS " + PassWord, {230}, AfterLogin());
}

void TCustomFtpCli::CwdAsync() {
    if (CwdTarget().empty()) {
        ReportEngineError("HostDirName emtpy");
        return;
    }
    IssueCommand(ftpCwdAsync, stepCwd, "CWD " + CwdTarget(), {200, 250, 257}, nullptr);
}

void TCustomFtpCli::CDupAsync() { IssueCommand(ftpCDupAsync, stepCDup, "CDUP", {250}, nullptr); }

void TCustomFtpCli::PwdAsync() { IssueCommand(ftpPwdAsync, stepPwd, "PWD", {250, 257}, nullptr); }

void TCustomFtpCli::TypeSetAsync() {
    IssueCommand(ftpTypeSetAsync, stepTypeSet, std::string("TYPE ") + TransferType, {200},
                 nullptr);
}

void TCustomFtpCli::TypeBinaryAsync() {
    SetBinary(true);
    TypeSetAsync();
}

void TCustomFtpCli::TypeAsciiAsync() {
    SetBinary(false);
    TypeSetAsync();
}

void TCustomFtpCli::SystAsync() { IssueCommand(ftpSystAsync, stepSyst, "SYST", {215}, nullptr); }

void TCustomFtpCli::SizeAsync() {
    const unsigned refusals = RefusalCount;
    const std::int64_t previous = FReplySize;
    FReplySize = 0;
    IssueCommand(ftpSizeAsync, stepSize, "SIZE " + HostFileName, {213}, nullptr);
    if (RefusalCount != refusals) FReplySize = previous;
}

void TCustomFtpCli::MkdAsync() {
    IssueCommand(ftpMkdAsync, stepMkd, "MKD " + HostFileName, {250, 257}, nullptr);
}

void TCustomFtpCli::RmdAsync() {
    IssueCommand(ftpRmdAsync, stepRmd, "RMD " + HostFileName, {250, 257}, nullptr);
}

void TCustomFtpCli::DeleAsync() {
    IssueCommand(ftpDeleAsync, stepDele, "DELE " + HostFileName, {250, 257}, nullptr);
}

void TCustomFtpCli::RenFromAsync() {
    IssueCommand(ftpRenFromAsync, stepRenFrom, "RNFR " + HostFileName, {350}, nullptr);
}

void TCustomFtpCli::RenToAsync() {
    IssueCommand(ftpRenToAsync, stepRenTo, "RNTO " + LocalFileName, {200, 250, 257}, nullptr);
}

void TCustomFtpCli::QuoteAsync() {
    IssueCommand(ftpQuoteAsync, stepQuote, LocalFileName, {}, nullptr);
}

void TCustomFtpCli::AborAsync() { IssueCommand(ftpAborAsync, stepAbor, "ABOR", {}, nullptr); }

void TCustomFtpCli::RestAsync() {
    // A REST that sends nothing still ends a request: it must not end one
    // that is running, nor run without a session.
    if (!EnsureReady()) return;
    if (!ControlUp) {
        ReportEngineError("FTP component not connected");
        return;
    }
    if (FRequestType != ftpRestPutAsync && FRequestType != ftpRestartPutAsync &&
        !(Options & ftpNoAutoResumeAt))
        ResumeAt = LocalFileSize(LocalFileName);
    if (ResumeAt > 0) {
        IssueCommand(ftpRestAsync, stepRest, "REST " + IntToStr(ResumeAt), {}, nullptr);
        return;
    }
    OpenStep(ftpRestAsync, stepRest);
    ReplyHandler = &TCustomFtpCli::CommandReplyStep;
    AfterReply = nullptr;
    CompleteRequest(0);
}

void TCustomFtpCli::QuitAsync() {
    ReleaseLocalFile();
    IssueCommand(ftpQuitAsync, stepQuit, "QUIT", {221}, &TCustomFtpCli::QuitAfterReply);
}

void TCustomFtpCli::QuitAndLeave() {
    if (ControlSocket) {
        ControlSocket->LingerOnOff = wsLingerOff;
        ControlSocket->ApplyLingerOption();
    }
    QuitAsync();
}

void TCustomFtpCli::QuitAfterReply() {
    // The close completes the request (ControlSessionClosed).
    if (ControlSocket) ControlSocket->Disconnect();
}

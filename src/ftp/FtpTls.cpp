// TCustomFtpCli: FTP over TLS: the settings handed to both sockets, AUTH TLS
// after the greeting, PBSZ and PROT after the login.
#include "ftp/CustomFtpCli.h"

void TCustomFtpCli::PrepareControlTls() {
    ControlSocket->SslEnable = Security == ftpSecurityImplicit;
    ControlSocket->OnSslHandshakeDone = nullptr;
    if (Security == ftpSecurityNone) return;
    // A fresh context per session: the CA file may have changed meanwhile.
    SslCtx = std::make_shared<TSslContext>(SslCaFile);
    ControlSocket->SslContext = SslCtx;
    ControlSocket->SslHostName = FConnectionType == ftpProxy ? ProxyServer : HostName;
    ControlSocket->SslPinSha256 = SslPinSha256;
    ControlSocket->SslPinRenewal = SslPinRenewal;
    ControlSocket->SslInsecure = SslInsecure;
    ControlSocket->SslResumeSession.reset();
    DataSessionUsable = false;
}

void TCustomFtpCli::RequestControlTls() {
    SetPhase(TRequestPhase::ReplyOwed);
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingReply);
    if (RequestEpoch != epoch) return;
    ReplyHandler = &TCustomFtpCli::AuthTlsReply;
    SendCommand("AUTH TLS");
}

void TCustomFtpCli::AuthTlsReply() {
    TraceLastReply();
    if (FReplyCode != 234) {
        // Whatever follows would carry the password in clear.
        ForgetOwedReply();
        const std::string line = FLastReplyLine;
        FailRequest(FReplyCode >= 400 ? FReplyCode : 534,
                    "534 The server refused TLS (" + line + "): not logging in without it");
        FireDisplay("! " + FErrorMessage.substr(4));
        if (ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
        return;
    }
    if (ReplyBufferLen > 0) {
        // Clear text behind the 234 would be taken as the first protected
        // replies: whoever sent it is not to be trusted with the session.
        ForgetOwedReply();
        ReplyBufferLen = 0;
        ReplyBuffer[0] = 0;
        FailRequest(500, "500 The server sent data after its 234 reply, before TLS began: not logging in");
        FireDisplay("! " + FErrorMessage.substr(4));
        if (ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
        return;
    }
    ControlSocket->OnSslHandshakeDone = [this](TObject*, std::uint16_t Error) {
        ControlHandshakeDone(Error);
    };
    try {
        ControlSocket->StartSsl();
    } catch (Exception& E) {
        ForgetOwedReply();
        FailRequest(500, "500 " + E.Message());
        if (ControlSocket->State() != wsClosed) ControlSocket->Disconnect();
    }
}

void TCustomFtpCli::ControlHandshakeDone(std::uint16_t Error) {
    ControlSocket->OnSslHandshakeDone = nullptr;
    ForgetOwedReply();
    if (Error != 0) {
        // The socket closes itself next; that close finds the request ended.
        RecordSocketFailure(Error);
        FireDisplay("! " + ControlSocket->SslErrorText());
        CompleteRequest(Error);
        return;
    }
    FireDisplay("! Session encrypted (" + ControlSocket->SslCipherText() + ")");
    ChangeState(fesConnected);
    CompleteRequest(0);
}

TCustomFtpCli::TStepProc TCustomFtpCli::AfterLogin() const {
    return Security == ftpSecurityNone ? nullptr : &TCustomFtpCli::ProtectDataChannel;
}

void TCustomFtpCli::ProtectDataChannel() {
    // Refused, or a password still to come: the step ends as it would.
    if (StepResult != 0 || FReplyCode != 230) {
        CompleteRequest(StepResult);
        return;
    }
    LoginReplyLine = FLastReplyLine;
    LoginReplyCode = FReplyCode;
    SetPhase(TRequestPhase::ReplyOwed);
    const unsigned epoch = RequestEpoch;
    ChangeState(fesAwaitingReply);
    if (RequestEpoch != epoch) return;
    ReplyHandler = &TCustomFtpCli::PbszReply;
    SendCommand("PBSZ 0");
}

void TCustomFtpCli::PbszReply() {
    TraceLastReply();
    if (FReplyCode != 200) {
        ForgetOwedReply();
        FailRequest(FReplyCode >= 400 ? FReplyCode : 500, FLastReplyLine);
        return;
    }
    ReplyHandler = &TCustomFtpCli::ProtReply;
    SendCommand("PROT P");
}

void TCustomFtpCli::ProtReply() {
    TraceLastReply();
    ForgetOwedReply();
    if (FReplyCode != 200) {
        FailRequest(FReplyCode >= 400 ? FReplyCode : 500, FLastReplyLine);
        return;
    }
    FLastReplyLine = LoginReplyLine;
    FReplyCode = LoginReplyCode;
    StepResult = 0;
    CompleteRequest(0);
}

void TCustomFtpCli::StartDataTls() {
    if (Security == ftpSecurityNone) return;
    DataSocket->SslContext = SslCtx;
    DataSocket->SslHostName = ControlSocket->SslHostName;
    // The data connection must come from the server the user trusted.
    DataSocket->SslPinSha256 = ControlSocket->SslPeerCertificate().Sha256;
    DataSocket->SslPinRenewal = false;
    DataSocket->SslInsecure = false;
    // A TLS 1.3 server takes each of its sessions back once used: the
    // ticket the last data connection got serves the next one.
    const TSslSession& last = DataSocket->SslSession();
    DataSocket->SslResumeSession = DataSessionUsable && last ? last : ControlSocket->SslSession();
    DataSessionUsable = true;
    // The server connected in active mode, yet the client side of TLS is ours.
    DataSocket->StartSsl();
}

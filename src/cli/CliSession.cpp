// The session of a tarnftp run: engine set-up, open and login, running
// requests and reporting their failures.
#include "cli/CliSession.h"

#include <cstdio>
#include <exception>

#include "cli/Interrupt.h"
#include "ftp/FtpUrl.h"
#include "platform/Messages.h"
#include "sftp/SftpCli.h"

TCliSession::TCliSession(const TCliOptions& Options, TCredentials Credentials)
    : FOptions(Options), FCredentials(std::move(Credentials)) {
    if (FOptions.Sftp) {
        auto sftp = std::make_unique<TSftpClient>();
        sftp->HostKeyPin = FOptions.HostKeyPin;
        sftp->AcceptNewHostKey = FOptions.AcceptNewHostKey;
        sftp->OnPassphrase = [](TObject*, const std::string& KeyFile, std::string& Passphrase) {
            return PromptSecret("Passphrase for " + KeyFile + ": ", Passphrase);
        };
        FEngine = std::move(sftp);
    } else {
        FEngine = std::make_unique<TCliFtpClient>();
    }
    Configure();
}

void TCliSession::Configure() {
    FEngine->HostName = FOptions.Host;
    FEngine->Port = FOptions.Port;
    FEngine->Timeout = FOptions.TimeoutSeconds;
    FEngine->SetBinary(!FOptions.Ascii);
    switch (FOptions.Proxy) {
        case TProxyKind::None: break;
        case TProxyKind::Ftp:
            FEngine->SetConnectionType(ftpProxy);
            FEngine->ProxyServer = FOptions.ProxyHost;
            FEngine->ProxyPort = FOptions.ProxyPort.empty() ? "ftp" : FOptions.ProxyPort;
            break;
        case TProxyKind::Socks4:
        case TProxyKind::Socks4A:
        case TProxyKind::Socks5:
            FEngine->SetConnectionType(FOptions.Proxy == TProxyKind::Socks4    ? ftpSocks4
                                      : FOptions.Proxy == TProxyKind::Socks4A ? ftpSocks4A
                                                                              : ftpSocks5);
            FEngine->SetSocksServer(FOptions.ProxyHost);
            FEngine->SetSocksPort(FOptions.ProxyPort);
            FEngine->SetSocksUserCode(FOptions.SocksUser);
            FEngine->SetSocksPassword(FOptions.SocksPassword);
            break;
    }
    // After the connection type, which turns passive mode on for proxies.
    FEngine->Security = FOptions.Security;
    FEngine->SslCaFile = FOptions.CaFile;
    FEngine->SslPinSha256 = FOptions.PinSha256;
    FEngine->SslInsecure = FOptions.Insecure;
    if (FOptions.Insecure)
        std::fprintf(stderr, "tarnftp: warning: --insecure: the server's certificate is not "
                             "checked; anyone on the way can read and change the session\n");
    FEngine->Passive = FOptions.Passive;
    FEngine->PassiveFallback = FOptions.PassiveFallback;
    if (!FOptions.Quiet)
        FEngine->OnPassiveFallback = [](TObject*) {
            std::fprintf(stderr, "Active mode failed; using passive mode for this session.\n");
        };
    FEngine->OnError = [this](TObject*, std::string& Msg) { FRefusal = Msg; };
    if (FOptions.Verbose)
        FEngine->OnDisplay = [](TObject*, std::string& Msg) {
            std::fprintf(stderr, "%s\n", Msg.c_str());
        };
    FEngine->OnResponse = [this](TObject*) {
        if (OnReplyLine) OnReplyLine(FEngine->LastReplyLine());
    };
    FEngine->OnProgress = [this](TObject*, std::int64_t Count, bool&) {
        FLastActivity = platform::GetTickCount64();
        if (OnTransferProgress) OnTransferProgress(Count);
    };
    FEngine->OnRequestDone = [this](TObject*, TFtpRequest, std::uint16_t Error) {
        // Synchronous calls' ends arrive here too, none after Start's own.
        if (!FPending) return;
        const std::function<void(bool)> done = std::move(FPending);
        FPending = nullptr;
        done(Conclude(Error == 0 && !Interrupted(), FPendingKind));
    };
}

bool TCliSession::Call(TCliFtpClient::TRequestMethod Method, TExitStatus Kind) {
    FRefusal.clear();
    FExpired = false;
    // A Ctrl-C between the steps of a chain may let the request end well.
    return Conclude(!Interrupted() && FEngine->RunSync(Method) && !Interrupted(), Kind);
}

bool TCliSession::Start(TCliFtpClient::TRequestMethod Method, TExitStatus Kind, std::function<void(bool)> Done) {
    FRefusal.clear();
    FExpired = false;
    FEngine->TimedOut = false;
    FEngine->LocalFileFailed = false;
    if (Interrupted()) return Conclude(false, Kind);
    // The ends of the synchronous calls before are posted already: handled
    // now, none of them can pass for this request's.
    platform::AppProcessMessages();
    bool started = false;
    try {
        started = FEngine->StartRequest(Method);
    } catch (const std::exception& e) {
        FRefusal = e.what();
    }
    // Refused (a session the server closed just now, say): no end will come.
    if (!started) return Conclude(false, Kind);
    FPending = std::move(Done);
    FPendingKind = Kind;
    FLastActivity = platform::GetTickCount64();
    return true;
}

void TCliSession::CheckStarted() {
    if (!FPending || FEngine->State() == fesAborting) return;
    const std::uint64_t limit = static_cast<std::uint64_t>(FOptions.TimeoutSeconds) * 1000;
    const bool expired = limit > 0 && platform::GetTickCount64() - FLastActivity > limit;
    if (!expired && !Interrupted()) return;
    FExpired = expired;
    FEngine->CancelAsync();
}

bool TCliSession::Conclude(bool Ok, TExitStatus Kind) {
    if (Ok) return true;
    if (Interrupted()) {
        FLastKind = TExitStatus::Interrupted;
        FLastReason = "interrupted";
    } else if (FEngine->TimedOut || FExpired) {
        FLastKind = TExitStatus::Timeout;
        FLastReason = "no answer within " + std::to_string(FOptions.TimeoutSeconds) + " seconds";
    } else if (FEngine->LocalFileFailed) {
        FLastKind = TExitStatus::LocalFile;
        FLastReason = FEngine->ErrorMessage();
    } else {
        // A refused certificate, the control connection's or a data connection's.
        const bool certificate = FEngine->SslCertificateRefused() || FEngine->SslDataCertificateRefused();
        FLastKind = certificate ? TExitStatus::Certificate : Kind;
        FLastReason = !FRefusal.empty()              ? FRefusal
                      : !FEngine->ErrorMessage().empty() ? FEngine->ErrorMessage()
                                                        : FEngine->LastReplyLine();
    }
    return false;
}

void TCliSession::ReportFailure(const std::string& What) { Report(FLastKind, What, FLastReason); }

void TCliSession::Report(TExitStatus Kind, const std::string& What, const std::string& Reason) {
    std::fprintf(stderr, "tarnftp: %s: %s\n", What.c_str(), Reason.c_str());
    if (FResult == TExitStatus::Success) FResult = Kind;
}

bool TCliSession::Usable() { return !Interrupted() && FEngine->Connected(); }

void TCliSession::Notice(const std::string& Text) {
    if (!FOptions.Quiet) std::fprintf(stderr, "%s\n", Text.c_str());
}

bool TCliSession::Open() {
    std::string where = HostForPort(FOptions.Host) + ":" + FOptions.Port;
    if (!Call(&TCustomFtpCli::OpenAsync, TExitStatus::Connect)) {
        if (auto* sftp = dynamic_cast<TSftpClient*>(FEngine.get()); sftp && sftp->HostKeyRefused())
            FLastKind = TExitStatus::Certificate;
        ReportFailure("cannot connect to " + where);
        return false;
    }
    FEngine->UserName = FCredentials.User;
    if (!Call(&TCustomFtpCli::UserAsync, TExitStatus::Login)) {
        ReportFailure("login as " + FCredentials.User + " refused");
        return false;
    }
    // USER answered 230: no password wanted.
    if (FEngine->ReplyCode() != 230) {
        FEngine->PassWord = FCredentials.Password;
        if (!Call(&TCustomFtpCli::PassAsync, TExitStatus::Login)) {
            ReportFailure("login as " + FCredentials.User + " refused");
            return false;
        }
    }
    if (!FOptions.StartDir.empty()) {
        FEngine->HostDirName = FOptions.StartDir;
        if (!Call(&TCustomFtpCli::CwdAsync, TExitStatus::Refused)) {
            ReportFailure("cd " + FOptions.StartDir);
            return false;
        }
    }
    return true;
}

void TCliSession::Close() {
    if (!Usable()) return;
    // The run's outcome is already known: QUIT goes out and the connection
    // closes behind it (the engine's destruction), without waiting for the
    // goodbye. A server may say it only once it has put away the file just
    // stored: vsftpd on ext4 closes an upload of 512 MiB in 0.2-0.3 s.
    FEngine->QuitAndLeave();
}

// TSftpClient: the SFTP engine. It offers the requests of the FTP engine that
// a session needs (open and log in, PWD, CWD, CDUP, listings, GET and PUT
// with resume, MKD, RMD, RNFR/RNTO, DELE, SIZE, SYST, QUIT) over SSH, so the
// window and tarnftp drive either engine the same way.
//
// Contract:
//  - Thread: everything runs on the thread that constructed the engine, on its
//    platform message loop; nothing blocks. libssh2 runs in non-blocking mode
//    and its network I/O goes through ControlSocket (a TWSocket, so SOCKS 4,
//    4A and 5 work as for FTP): its send and receive callbacks read and write
//    that socket, a would-block becomes EAGAIN, and the libssh2 call that
//    returned EAGAIN runs again when the socket reports data, room to send,
//    or a close.
//  - Requests: as TCustomFtpCli's: one at a time ("FTP component not ready"
//    otherwise), each refused at once through the one error path or ended by
//    exactly one posted OnRequestDone; the synchronous calls of TFtpClient
//    work unchanged. Results use the FTP reply codes where one fits (257 for
//    PWD and MKD, 213 for SIZE, 250, 550, 530 for a refused log-in, 426 for a
//    lost connection or an abort) and the engine's own, written the same way,
//    where none does: 551 the host key is not trusted, 552 it changed.
//  - Host keys are checked against KnownHostsFile (OpenSSH's format, hashed
//    and "[host]:port" entries) before anything is sent that depends on the
//    server: an unknown key is refused unless it is HostKeyPin's or
//    AcceptNewHostKey is set (then appended to the file); a changed key is
//    always refused. The caller may ask the user and open again (TrustHostKey).
//  - OnSessionConnected fires once the host key is trusted, OnSessionClosed
//    when that session's connection closes (our QUIT included), as for FTP.
//  - Log-in (PassAsync, or the last step of ConnectAsync) tries what the
//    server offers: public keys (the SSH agent, then the key files), then the
//    password, then keyboard-interactive answered with the password.
//    OnPassphrase is asked for an encrypted key file. The password is never
//    traced. The exchanges with the SSH agent (a local socket) are the one
//    wait: libssh2 1.10 cannot resume them after a would-block.
//  - Listings are written to LocalFileName as Unix long-listing lines built
//    from the entries' attributes (the server's own line is not used), one
//    per entry, names with a "/" or a line end left out.
//  - Transfers keep many reads or writes outstanding (libssh2 pipelines a
//    large buffer) and report OnProgress per block; a download writes
//    LocalFileName as TCustomFtpCli does (resume at ResumeAt), an upload
//    with ResumeAt > 0 continues the remote file at that offset.
//  - Paths: HostDirName and HostFileName are taken relative to the current
//    remote folder unless they start with "/".
//  - Needs: libssh2 (linked by this library), the socket layer, the platform
//    message loop; no windowing toolkit. Built on TFtpClient for its request
//    bookkeeping, synchronous calls and events.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "ftp/FtpCli.h"
#include "sftp/SftpHostKeys.h"

struct _LIBSSH2_SESSION;
struct _LIBSSH2_SFTP;
struct _LIBSSH2_SFTP_HANDLE;
struct _LIBSSH2_AGENT;

// Asks for the passphrase of KeyFile; false: the user declined (the key is
// skipped).
using TSftpPassphraseEvent =
    std::function<bool(TObject* Sender, const std::string& KeyFile, std::string& Passphrase)>;

class TSftpClient : public TFtpClient {
public:
    explicit TSftpClient(TComponent* AOwner = nullptr);
    ~TSftpClient() override;

    // --- Configuration (besides HostName, Port, UserName, PassWord) -------
    // "" means ~/.ssh/known_hosts.
    std::string KnownHostsFile;
    // An unknown key with this fingerprint ("SHA256:..." as OpenSSH shows
    // it) is accepted for this session without being stored.
    std::string HostKeyPin;
    // An unknown key is accepted and appended to KnownHostsFile.
    bool AcceptNewHostKey = false;
    // Folder of the key files id_ed25519, id_ecdsa and id_rsa ("" means
    // ~/.ssh) and whether the SSH agent (SSH_AUTH_SOCK) is asked.
    std::string KeyFolder;
    bool UseAgent = true;
    TSftpPassphraseEvent OnPassphrase;

    // --- Host key of the last open ----------------------------------------
    const TSftpHostKey& HostKey() const { return FHostKey; }
    // The last open failed only because the host key is unknown (551) or
    // changed (552).
    bool HostKeyRefused() const { return FHostKeyRefusal != 0; }
    bool HostKeyChanged() const { return FHostKeyRefusal == 552; }
    // After an unknown-key refusal: trust the key shown in HostKey() for the
    // next open only, and with Always store it in KnownHostsFile. False with
    // ErrorMessage set when the file cannot be written.
    bool TrustHostKey(bool Always);

    // --- Requests ----------------------------------------------------------
    void OpenAsync() override;
    void UserAsync() override;
    void PassAsync() override;
    void ConnectAsync() override;
    void CwdAsync() override;
    void CDupAsync() override;
    void PwdAsync() override;
    void TypeSetAsync() override;
    void TypeBinaryAsync() override;
    void TypeAsciiAsync() override;
    void SystAsync() override;
    void SizeAsync() override;
    void FileSizeAsync() override;
    void MkdAsync() override;
    void MkdirAsync() override;
    void RmdAsync() override;
    void RmdirAsync() override;
    void DeleAsync() override;
    void DeleteAsync() override;
    void RenFromAsync() override;
    void RenToAsync() override;
    void RenAsync() override;
    void RenameAsync() override;
    void DirAsync() override;
    void LsAsync() override;
    void GetAsync() override;
    void RestGetAsync() override;
    void PutAsync() override;
    void RestPutAsync() override;
    void AppendAsync() override;
    void QuitAsync() override;
    void CancelAsync() override;
    // FTP-only requests: refused.
    void QuoteAsync() override;
    void DoQuoteAsync() override;
    void AborAsync() override;
    void RestAsync() override;
    void PortAsync() override;
    void RunRetrAsync() override;
    void RunListAsync() override;
    void RunNlstAsync() override;
    void RunStorAsync() override;
    void RunAppeAsync() override;
    void ReceiveAsync() override;
    void RestartGetAsync() override;
    void TransmitAsync() override;
    void RestartPutAsync() override;
    void TransmitAppendAsync() override;
    void DirectoryAsync() override;
    void ListAsync() override;
    void SystemAsync() override;

    // The remote folder requests are relative to.
    const std::string& CurrentDir() const { return FCurrentDir; }

    // Transport (SftpSession.cpp); public for libssh2's callbacks only.
    long TransportSend(const void* Buffer, std::size_t Length);
    long TransportReceive(void* Buffer, std::size_t Length);

protected:
    using TSftpStep = void (TSftpClient::*)();

    platform::LRESULT EngineWindowProc(platform::UINT Msg, platform::WPARAM WParam,
                                       platform::LPARAM LParam) override;

    // Session plumbing (SftpSession.cpp).
    // Starts request RqType whose first libssh2 step is Step; false (after a
    // refusal) when another runs or the session is not in the state Needs.
    enum TNeeds { needNothing, needClosed, needSocket, needLogin };
    bool BeginRequest(TFtpRequest RqType, TNeeds Needs, TSftpStep Step);
    // Runs the current step now, and again whenever the socket reports.
    void Resume();
    // Comes back soon to the current step without waiting for the socket:
    // a busy transfer lets the loop's other work through.
    void ResumeLater();
    void SetStep(TSftpStep Step);
    // The result of a libssh2 call: true when it must be called again later.
    bool Again(int Rc) const;
    // Ends the request with Code and the reply line Line (traced with "< ").
    void EndRequest(int Code, const std::string& Line);
    // Ends the request with libssh2's last error after a failed call.
    void FailFromSession(int Code, const std::string& What);
    // Drops the SSH session and closes the connection, sending nothing.
    void DropSession();
    void SocketConnected(std::uint16_t Error);
    void SocketClosed(std::uint16_t Error);
    std::string SessionError() const;
    std::string SftpStatusText() const;
    // Path of Name relative to the current folder.
    std::string RemotePath(const std::string& Name) const;

    // Connecting and logging in (SftpConnect.cpp).
    void StartConnect();
    void StepHandshake();
    void StepUserList();
    void StepAuthAgent();
    void StepAuthKeyFile();
    void StepAuthPassword();
    void StepAuthKeyboard();
    void EndAuthAttempt(int rc);
    bool LogInCut(int Rc) const;
    void StepSftpInit();
    void StepHomeDir();
    void ResetAuthState();
    void NextAuthMethod();
    void CloseAgent();
    bool CheckHostKey();
    void AuthFailed();

    // Folder and name requests (SftpCommands.cpp).
    void StepCwd();
    void StepStatDir();
    void StepMkdir();
    void StepRmdir();
    void StepUnlink();
    void EndPathRequest(int rc, const char* Reply);
    void StepRename();
    void StepSize();
    void StepQuit();
    void Refuse(const char* Request);

    // Listings and transfers (SftpTransfers.cpp).
    void StartTransfer(TFtpRequest RqType, TSftpStep OpenStep);
    void StepOpenDir();
    void StepReadDir();
    void StepOpenRead();
    void StepRead();
    void StepOpenWrite();
    void StepWrite();
    void StepCloseHandle();
    // Ends a transfer with Code: closes the remote handle first when it is
    // open and the session still works.
    void EndTransfer(int Code, const std::string& Line);
    void FinishTransfer();
    bool OpenLocalForDownload();
    // Moves what is not acknowledged to the front and reads more of the
    // local file behind it; false when the file cannot be read.
    bool FillUploadBuffer();
    void StartMoving(const char* Verb, TSftpStep Next);

    _LIBSSH2_SESSION* FSession = nullptr;
    _LIBSSH2_SFTP* FSftp = nullptr;
    _LIBSSH2_SFTP_HANDLE* FHandle = nullptr;
    _LIBSSH2_AGENT* FAgent = nullptr;
    TSftpStep FStep = nullptr;
    bool FInStep = false;
    bool FCancelPending = false;
    bool FStepAgain = false;
    bool FResumePosted = false;
    bool FSocketUp = false;
    // OnSessionConnected has fired: the close fires OnSessionClosed.
    bool FAnnounced = false;
    // The connection failed or ended under libssh2: an end of file it
    // reports now is no real end.
    bool FTransportFailed = false;
    // Receives that found nothing within the running step.
    int FStalledReads = 0;
    bool FLoggedIn = false;
    // The open (OpenAsync alone or within ConnectAsync) still has to log in.
    bool FConnectChain = false;
    std::string FCurrentDir;
    std::string FRenameFrom;
    std::string FTargetPath;
    std::string FRenameTo;
    TSftpHostKey FHostKey;
    int FHostKeyRefusal = 0;
    std::string FTrustedOnce;  // fingerprint trusted for the next opens
    // Authentication state.
    std::string FAuthMethods;
    int FKeyIndex = 0;
    std::string FKeyFile;
    std::string FPassphrase;
    bool FPassphraseAsked = false;
    // The agent's key being tried (or last tried).
    void* FAgentIdentity = nullptr;
    bool FAgentDone = false;
    bool FAgentTrying = false;
    bool FTriedPassword = false;
    bool FTriedKeyboard = false;
    // Transfer state.
    std::unique_ptr<char[]> FBuffer;
    std::size_t FBufferLen = 0;
    std::size_t FBufferPos = 0;
    bool FLocalEof = false;
    bool FNamesOnly = false;
    bool FAppending = false;
    std::int64_t FResumeOffset = 0;
    std::time_t FListingNow = 0;
    int FTransferCode = 0;
    std::string FTransferLine;
};

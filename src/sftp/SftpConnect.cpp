// TSftpClient: opening the SSH session, checking the host key, logging in
// and starting the SFTP subsystem.
#include "sftp/SftpCli.h"

#include <cstdlib>
#include <cstring>

#include <libssh2.h>
#include <libssh2_sftp.h>

#include "sftp/SftpKeyFiles.h"
#include "sftp/SftpTypes.h"

namespace {

// Answers every keyboard-interactive prompt with the password.
void KeyboardCallback(const char*, int, const char*, int, int NumPrompts,
                      const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                      LIBSSH2_USERAUTH_KBDINT_RESPONSE* Responses, void** Abstract) {
    const std::string& password = static_cast<TSftpClient*>(*Abstract)->PassWord;
    for (int i = 0; i < NumPrompts; ++i) {
        // libssh2 frees the answers with free().
        Responses[i].text = static_cast<char*>(std::malloc(password.size() + 1));
        if (!Responses[i].text) {
            Responses[i].length = 0;
            continue;
        }
        std::memcpy(Responses[i].text, password.c_str(), password.size() + 1);
        Responses[i].length = static_cast<unsigned>(password.size());
    }
}

// The pin as typed, without the "SHA256:" prefix and base64 padding.
std::string PinBody(std::string Pin) {
    if (Pin.rfind("SHA256:", 0) == 0) Pin.erase(0, 7);
    while (!Pin.empty() && Pin.back() == '=') Pin.pop_back();
    return Pin;
}

}  // namespace

// A failed attempt that is no refusal. libssh2 reports a connection that
// ends during an attempt as a refusal at times: the transport's own record
// is checked as well.
bool TSftpClient::LogInCut(int Rc) const {
    return FTransportFailed || Rc == LIBSSH2_ERROR_SOCKET_SEND || Rc == LIBSSH2_ERROR_SOCKET_RECV ||
           Rc == LIBSSH2_ERROR_SOCKET_DISCONNECT || Rc == LIBSSH2_ERROR_SOCKET_TIMEOUT ||
           Rc == LIBSSH2_ERROR_TIMEOUT;
}

void TSftpClient::OpenAsync() {
    FConnectChain = false;
    if (!BeginRequest(ftpOpenAsync, needClosed, nullptr)) return;
    FHostKeyRefusal = 0;
    FCurrentDir.clear();
    ChangeState(fesLookingUp);
    try {
        ControlSocket->ForwardDnsLookup(HostName);
    } catch (Exception& E) {
        EndRequest(500, "500 " + E.Message());
    }
}

void TSftpClient::ConnectAsync() {
    OpenAsync();
    if (FRequestType == ftpOpenAsync && RequestRunning()) {
        FRequestType = ftpConnectAsync;
        FConnectChain = true;
    }
}

void TSftpClient::UserAsync() { BeginRequest(ftpUserAsync, needSocket, &TSftpClient::StepUserList); }

void TSftpClient::PassAsync() {
    if (!FSession) {
        ReportEngineError("not connected");
        return;
    }
    if (!BeginRequest(ftpPassAsync, needSocket, nullptr)) return;
    FStepAgain = false;
    ResetAuthState();
    NextAuthMethod();
    Resume();
}

bool TSftpClient::TrustHostKey(bool Always) {
    if (FHostKeyRefusal != 551) return false;
    if (Always) {
        LIBSSH2_SESSION* session = libssh2_session_init();
        std::string error;
        const int port = std::atoi(Port.c_str());
        const bool ok = session && AddKnownHost(session, KnownHostsFile, HostName,
                                                port > 0 ? port : 22, FHostKey, error);
        if (session) libssh2_session_free(session);
        if (!ok) {
            FErrorMessage = error;
            return false;
        }
    }
    FTrustedOnce = FHostKey.Fingerprint;
    return true;
}

void TSftpClient::StepHandshake() {
    // Our socket handles are no descriptors of the system: libssh2 would
    // switch whatever descriptor has that number (standard output, say) to
    // non-blocking. It gets a number no descriptor has; its I/O goes
    // through the callbacks.
    const int rc = libssh2_session_handshake(FSession, kSftpNoSocket);
    if (Again(rc)) return;
    if (rc != 0) {
        const std::string text = SessionError();
        DropSession();
        EndRequest(500, "500 SSH handshake failed: " + text);
        return;
    }
    if (!CheckHostKey()) return;
    const char* cipher = libssh2_session_methods(FSession, LIBSSH2_METHOD_CRYPT_SC);
    const char* mac = libssh2_session_methods(FSession, LIBSSH2_METHOD_MAC_SC);
    FireDisplay(std::string("Encrypted with ") + (cipher ? cipher : "?") + ", " + (mac ? mac : "?"));
    FAnnounced = true;
    if (OnSessionConnected) OnSessionConnected(this, 0);
    const char* banner = libssh2_session_banner_get(FSession);
    const std::string greeting = "220 " + std::string(banner ? banner : "SSH server");
    if (!FConnectChain) {
        EndRequest(220, greeting);
        return;
    }
    FireDisplay("< " + greeting);
    SetStep(&TSftpClient::StepUserList);
}

bool TSftpClient::CheckHostKey() {
    if (!ReadHostKey(FSession, FHostKey)) {
        DropSession();
        EndRequest(500, "500 The server sent no host key");
        return false;
    }
    const int port = std::atoi(Port.c_str());
    const TKnownHostResult known =
        CheckKnownHost(FSession, KnownHostsFile, HostName, port > 0 ? port : 22, FHostKey);
    const std::string file = KnownHostsPath(KnownHostsFile);
    FireDisplay("Host key " + FHostKey.Type + " " + FHostKey.Fingerprint);
    if (known == TKnownHostResult::Match) return true;
    if (known == TKnownHostResult::Mismatch) {
        FHostKeyRefusal = 552;
        DropSession();
        EndRequest(552, "552 The host key of " + HostName + " has changed: the server shows " +
                            FHostKey.Type + " " + FHostKey.Fingerprint + ", " + file + " holds " +
                            (FHostKey.KnownFingerprint.empty() ? std::string("another key")
                                                               : FHostKey.KnownFingerprint) +
                            ". Remove the old key from " + file + " if the change is expected.");
        return false;
    }
    const std::string body = PinBody(FHostKey.Fingerprint);
    // Trusted once means for the one connection that follows the question.
    const bool trustedOnce = !FTrustedOnce.empty() && PinBody(FTrustedOnce) == body;
    FTrustedOnce.clear();
    if (trustedOnce || (!HostKeyPin.empty() && PinBody(HostKeyPin) == body)) return true;
    if (AcceptNewHostKey && known == TKnownHostResult::NotFound) {
        std::string error;
        if (AddKnownHost(FSession, KnownHostsFile, HostName, port > 0 ? port : 22, FHostKey,
                         error)) {
            FireDisplay("Added the host key of " + HostName + " to " + file);
            return true;
        }
        FireDisplay("! " + error);
    }
    FHostKeyRefusal = 551;
    DropSession();
    EndRequest(551, "551 The host key of " + HostName + " is not known: " + FHostKey.Type + " " +
                        FHostKey.Fingerprint);
    return false;
}

void TSftpClient::StepUserList() {
    char* list = libssh2_userauth_list(FSession, UserName.data(),
                                       static_cast<unsigned>(UserName.size()));
    if (!list) {
        if (libssh2_userauth_authenticated(FSession)) {
            SetStep(&TSftpClient::StepSftpInit);
            return;
        }
        const int err = libssh2_session_last_errno(FSession);
        if (Again(err)) return;
        FailFromSession(530, "user");
        return;
    }
    FAuthMethods = list;
    FireDisplay("Authentication methods: " + FAuthMethods);
    if (!FConnectChain) {
        EndRequest(331, "331 Authentication methods: " + FAuthMethods);
        return;
    }
    ResetAuthState();
    FStep = nullptr;
    NextAuthMethod();
}

void TSftpClient::ResetAuthState() {
    FKeyIndex = 0;
    FPassphrase.clear();
    FPassphraseAsked = false;
    FAgentDone = false;
    FAgentTrying = false;
    FAgentIdentity = nullptr;
    FTriedPassword = false;
    FTriedKeyboard = false;
}

void TSftpClient::NextAuthMethod() {
    const auto offered = [this](const char* Method) {
        return ("," + FAuthMethods + ",").find("," + std::string(Method) + ",") != std::string::npos;
    };
    if (offered("publickey")) {
        if (UseAgent && !FAgentDone && std::getenv("SSH_AUTH_SOCK")) {
            // The agent is a local socket: its few exchanges are quick.
            FAgentDone = true;
            FAgent = libssh2_agent_init(FSession);
            if (FAgent && libssh2_agent_connect(FAgent) == 0 &&
                libssh2_agent_list_identities(FAgent) == 0) {
                FireDisplay("Trying the keys of the SSH agent");
                SetStep(&TSftpClient::StepAuthAgent);
                return;
            }
            CloseAgent();
        }
        const std::vector<std::string> keys = ExistingKeyFiles(KeyFolder);
        if (FKeyIndex < static_cast<int>(keys.size())) {
            FKeyFile = keys[static_cast<std::size_t>(FKeyIndex)];
            FireDisplay("Trying key " + FKeyFile);
            SetStep(&TSftpClient::StepAuthKeyFile);
            return;
        }
    }
    if (offered("password") && !FTriedPassword && !PassWord.empty()) {
        FTriedPassword = true;
        FireDisplay("> password ****");
        SetStep(&TSftpClient::StepAuthPassword);
        return;
    }
    if (offered("keyboard-interactive") && !FTriedKeyboard && !PassWord.empty()) {
        FTriedKeyboard = true;
        FireDisplay("> keyboard-interactive ****");
        SetStep(&TSftpClient::StepAuthKeyboard);
        return;
    }
    AuthFailed();
}

void TSftpClient::AuthFailed() {
    EndRequest(530, "530 Login incorrect (the server offers " + FAuthMethods + ")");
}

void TSftpClient::StepAuthAgent() {
    auto* identity = static_cast<libssh2_agent_publickey*>(FAgentIdentity);
    if (!FAgentTrying) {
        libssh2_agent_publickey* next = nullptr;
        if (libssh2_agent_get_identity(FAgent, &next, identity) != 0) {
            // Every key of the agent was refused: on to the key files.
            CloseAgent();
            SetStep(nullptr);
            NextAuthMethod();
            return;
        }
        FAgentIdentity = identity = next;
        FAgentTrying = true;
    }
    const int rc = libssh2_agent_userauth(FAgent, UserName.c_str(), identity);
    if (Again(rc)) return;
    FAgentTrying = false;
    if (rc == 0) {
        CloseAgent();
        FireDisplay("Logged in with a key of the SSH agent");
        SetStep(&TSftpClient::StepSftpInit);
        return;
    }
    if (LogInCut(rc)) {
        FailFromSession(530, "login");
        return;
    }
    FStepAgain = true;
}

void TSftpClient::StepAuthKeyFile() {
    const int rc = libssh2_userauth_publickey_fromfile_ex(
        FSession, UserName.c_str(), static_cast<unsigned>(UserName.size()), nullptr,
        FKeyFile.c_str(), FPassphrase.empty() ? nullptr : FPassphrase.c_str());
    if (Again(rc)) return;
    if (rc == 0) {
        FPassphrase.clear();
        FireDisplay("Logged in with key " + FKeyFile);
        SetStep(&TSftpClient::StepSftpInit);
        return;
    }
    if (LogInCut(rc)) {
        FailFromSession(530, "login");
        return;
    }
    if (!FPassphraseAsked && OnPassphrase && KeyFileEncrypted(FKeyFile)) {
        FPassphraseAsked = true;
        std::string passphrase;
        if (OnPassphrase(this, FKeyFile, passphrase) && !passphrase.empty()) {
            FPassphrase = std::move(passphrase);
            FStepAgain = true;
            return;
        }
    }
    FPassphrase.clear();
    FPassphraseAsked = false;
    ++FKeyIndex;
    SetStep(nullptr);
    NextAuthMethod();
}

// A password or keyboard-interactive attempt that ended: on to the SFTP
// start, or to the next method the server offers; a broken transport ends
// the log-in.
void TSftpClient::EndAuthAttempt(int rc) {
    if (rc == 0) {
        SetStep(&TSftpClient::StepSftpInit);
        return;
    }
    if (LogInCut(rc)) {
        FailFromSession(530, "login");
        return;
    }
    SetStep(nullptr);
    NextAuthMethod();
}

void TSftpClient::StepAuthPassword() {
    const int rc = libssh2_userauth_password_ex(
        FSession, UserName.c_str(), static_cast<unsigned>(UserName.size()), PassWord.c_str(),
        static_cast<unsigned>(PassWord.size()), nullptr);
    if (Again(rc)) return;
    EndAuthAttempt(rc);
}

void TSftpClient::StepAuthKeyboard() {
    const int rc = libssh2_userauth_keyboard_interactive_ex(
        FSession, UserName.c_str(), static_cast<unsigned>(UserName.size()), &KeyboardCallback);
    if (Again(rc)) return;
    EndAuthAttempt(rc);
}

void TSftpClient::StepSftpInit() {
    FSftp = libssh2_sftp_init(FSession);
    if (!FSftp) {
        if (Again(libssh2_session_last_errno(FSession))) return;
        const std::string text = SessionError();
        DropSession();
        EndRequest(500, "500 The server refused the SFTP subsystem: " + text);
        return;
    }
    FLoggedIn = true;
    ControlUp = true;
    SetStep(&TSftpClient::StepHomeDir);
}

void TSftpClient::StepHomeDir() {
    char path[4096];
    const int rc = libssh2_sftp_realpath(FSftp, ".", path, sizeof path - 1);
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(530, "home folder");
        return;
    }
    FCurrentDir.assign(path, static_cast<std::size_t>(rc));
    EndRequest(230, "230 Logged in as " + UserName);
}

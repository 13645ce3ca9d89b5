// TCustomSslWSocket: the TLS client over memory buffers. Cipher text comes
// from the layer below (the platform or the SOCKS leftover) and leaves
// through the core's send queue; plain text is what the layers above see.
#include "net/SslWSocket.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "net/WSocketResolve.h"
#include "platform/HostAddress.h"

using namespace winsock;

namespace {

// The most plain text one TLS record carries.
constexpr std::size_t kRecordPlain = 16 * 1024;
constexpr int kCipherBlock = 16384;
// One notification reads at most this much cipher text; the receive loop
// comes back for the rest.
constexpr int kPullLimit = 256 * 1024;

// The resolver's reading of a host that is a number in any form it takes
// ("127.1", "2130706433", "0177.0.0.1"); nothing for a name.
std::optional<platform::TIpAddress> NumericHost(const std::string& Host) {
    if (const auto strict = platform::ParseIpAddress(Host)) return strict;
    const winsock::u_long number = inet_addr(Host.c_str());
    if (number == INADDR_NONE) return std::nullopt;
    in_addr address{};
    address.s_addr = number;
    return platform::ParseIpAddress(inet_ntoa(address));
}
}  // namespace

TCustomSslWSocket::~TCustomSslWSocket() {
    // The core's destructor closes without this layer.
    SendCloseNotifyNow();
    FreeSsl();
}

void TCustomSslWSocket::FreeSsl() {
    if (FSsl) SSL_free(FSsl);  // frees both memory buffers
    FSsl = nullptr;
    FReadBio = nullptr;
    FWriteBio = nullptr;
    FContextInUse.reset();
}

void TCustomSslWSocket::ResetToDefaults() {
    TCustomSocksWSocket::ResetToDefaults();
    FreeSsl();
    FSslPhase = sslOff;
    FConnectPending = false;
    FPeerEnded = false;
    FTruncated = false;
    FRawError = 0;
    FShutdownPending = false;
    FPlain.clear();
    FPlainHead = 0;
    FHeldPlain.clear();
}

// ---- starting ----

void TCustomSslWSocket::DoSessionConnected(std::uint16_t Error) {
    // The SOCKS negotiation comes first; it calls here again once it is done.
    if (SocksPhase() == socksGreeting || !SslEnable || Error != 0 || FSslPhase != sslOff) {
        TCustomSocksWSocket::DoSessionConnected(Error);
        return;
    }
    FConnectPending = true;
    StartSsl();
}

void TCustomSslWSocket::StartSsl() {
    if (FState != wsConnected || FHSocket == INVALID_SOCKET) {
        RaiseError("Can't start TLS if not connected");
        return;
    }
    if (FSslPhase != sslOff) {
        RaiseError("TLS already started");
        return;
    }
    FSslError.clear();
    FPeerCert = {};
    FSession.reset();
    FPinReplaced = false;
    FExpectedName.clear();
    FVerifyErrors.clear();
    try {
        FContextInUse = SslContext ? SslContext : std::make_shared<TSslContext>();
    } catch (const Exception& E) {
        FSslPhase = sslHandshaking;
        FailSsl(SslErrHandshake, E.Message());
        return;
    }
    SSL_CTX* ctx = FContextInUse->Handle();
    SSL_CTX_sess_set_new_cb(ctx, &TCustomSslWSocket::NewSessionCallback);
    FSsl = SSL_new(ctx);
    BIO* readBio = BIO_new(BIO_s_mem());
    BIO* writeBio = BIO_new(BIO_s_mem());
    if (!FSsl || !readBio || !writeBio) {
        BIO_free(readBio);
        BIO_free(writeBio);
        FSslPhase = sslHandshaking;
        FailSsl(SslErrHandshake, "TLS: out of memory");
        return;
    }
    SSL_set_bio(FSsl, readBio, writeBio);
    FReadBio = readBio;
    FWriteBio = writeBio;
    SSL_set_app_data(FSsl, this);
    SSL_set_connect_state(FSsl);
    FSslPhase = sslHandshaking;
    if (!SetExpectedIdentity()) {
        FailSsl(SslErrUntrusted, "TLS certificate not trusted: cannot check that it is for " +
                                     (SslHostName.empty() ? FAddrStr : SslHostName));
        return;
    }
    // The handshake always completes; CheckTrust decides afterwards, so
    // that the refusal can describe the certificate and every problem.
    SSL_set_verify(FSsl, SSL_VERIFY_NONE, &TCustomSslWSocket::VerifyCallback);
    if (SslResumeSession) SSL_set_session(FSsl, SslResumeSession.get());
    ContinueHandshake();
}

bool TCustomSslWSocket::SetExpectedIdentity() {
    const std::string host = SslHostName.empty() ? FAddrStr : SslHostName;
    X509_VERIFY_PARAM* param = SSL_get0_param(FSsl);
    if (auto address = NumericHost(host)) {
        // Direct: the address the connection really went to; through a
        // proxy, the one it was asked for.
        if (SocksServer().empty()) {
            SOCKADDR_INET peer{};
            int len = sizeof peer;
            if (GetPeerSockAddr(peer, len) != 0) return false;
            address = platform::ParseIpAddress(WSocketAddrText(peer));
            if (!address) return false;
        }
        FExpectedName = "IP:" + platform::FormatIpAddress(*address);
        return X509_VERIFY_PARAM_set1_ip(param, address->Bytes.data(), address->Size) == 1;
    }
    if (host.empty()) return false;
    FExpectedName = "DNS:" + host;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set_tlsext_host_name(FSsl, host.c_str()) == 1 &&
           X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) == 1;
}

int TCustomSslWSocket::VerifyCallback(int Ok, X509_STORE_CTX* Ctx) {
    if (Ok) return 1;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(Ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self = ssl ? static_cast<TCustomSslWSocket*>(SSL_get_app_data(ssl)) : nullptr;
    if (self) {
        const std::string reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(Ctx));
        auto& errors = self->FVerifyErrors;
        if (std::find(errors.begin(), errors.end(), reason) == errors.end()) errors.push_back(reason);
    }
    return 1;
}

int TCustomSslWSocket::NewSessionCallback(SSL* Ssl, SSL_SESSION* Session) {
    auto* self = static_cast<TCustomSslWSocket*>(SSL_get_app_data(Ssl));
    if (!self) return 0;
    self->FSession = TSslSession(Session, SSL_SESSION_free);
    return 1;  // the reference is ours now
}

void TCustomSslWSocket::ContinueHandshake() {
    TLifeToken alive = LifeToken();
    ERR_clear_error();
    const int r = SSL_do_handshake(FSsl);
    const int error = r == 1 ? SSL_ERROR_NONE : SSL_get_error(FSsl, r);
    PushCipherText();
    if (!alive || FSslPhase != sslHandshaking) return;
    if (r == 1) {
        FinishHandshake(CheckTrust());
        return;
    }
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        if (FPeerEnded || FRawError != 0)
            FailSsl(SslErrHandshake, "TLS handshake failed: the server closed the connection");
        return;
    }
    FailSsl(SslErrHandshake, "TLS handshake failed: " + SslErrorQueueText());
}

std::uint16_t TCustomSslWSocket::CheckTrust() {
    X509* cert = SSL_get1_peer_certificate(FSsl);
    FPeerCert = SslDescribeCertificate(cert);
    X509_free(cert);
    FPeerCert.ExpectedName = FExpectedName;
    if (FPeerCert.Empty()) {
        FSslError = "TLS certificate not trusted: the server sent no certificate";
        return SslErrUntrusted;
    }
    // Part of the description whatever decides below. A resumed session
    // verifies nothing anew: its stored result stands.
    const long result = SSL_get_verify_result(FSsl);
    FPeerCert.VerifyErrors = FVerifyErrors;
    if (result != X509_V_OK && FPeerCert.VerifyErrors.empty())
        FPeerCert.VerifyErrors.push_back(X509_verify_cert_error_string(result));
    const bool trusted = FPeerCert.VerifyErrors.empty();
    if (!SslPinSha256.empty()) {
        if (SslSameFingerprint(SslPinSha256, FPeerCert.PublicKeySha256) ||
            SslSameFingerprint(SslPinSha256, FPeerCert.Sha256))
            return 0;
        if (SslPinRenewal && trusted) {
            FPinReplaced = true;
            return 0;
        }
        FSslError = "TLS certificate changed: it does not match the trusted fingerprint " + SslPinSha256 + " (" +
                    FPeerCert.Describe() + ")";
        return SslErrPinMismatch;
    }
    if (SslInsecure || trusted) return 0;
    FSslError = "TLS certificate not trusted: " + FPeerCert.VerifyErrorText() + " (" + FPeerCert.Describe() + ")";
    return SslErrUntrusted;
}

void TCustomSslWSocket::FinishHandshake(std::uint16_t Error) {
    if (Error != 0) {
        FailSsl(Error, FSslError);
        return;
    }
    TLifeToken alive = LifeToken();
    FSslPhase = sslRunning;
    DoSslHandshakeDone(0);
    if (!alive || FSslPhase != sslRunning) return;
    if (FConnectPending) {
        FConnectPending = false;
        TCustomSocksWSocket::DoSessionConnected(0);
        if (!alive || FSslPhase != sslRunning) return;
    }
    WriteHeldPlain();
}

void TCustomSslWSocket::FailSsl(std::uint16_t Error, const std::string& Text) {
    FSslError = Text;
    TLifeToken alive = LifeToken();
    // A broken session can say nothing more; a refused peer gets close_notify.
    if (Error == SslErrHandshake || Error == SslErrProtocol) {
        const bool handshaking = FSslPhase == sslHandshaking;
        FSslPhase = sslClosed;
        if (handshaking) DoSslHandshakeDone(Error);
    } else {
        DoSslHandshakeDone(Error);
    }
    if (!alive) return;
    if (FConnectPending) {
        FConnectPending = false;
        TCustomSocksWSocket::DoSessionConnected(Error);
        if (!alive) return;
    }
    DisconnectInternal(true, Error);
}

void TCustomSslWSocket::DoSslHandshakeDone(std::uint16_t Error) {
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, Error);
}

// ---- receiving ----

void TCustomSslWSocket::PullCipherText() {
    char block[kCipherBlock];
    for (int total = 0; total < kPullLimit;) {
        const int n = TCustomSocksWSocket::RawReceive(block, sizeof block);
        if (n > 0) {
            BIO_write(FReadBio, block, n);
            total += n;
            continue;
        }
        if (n == 0) {
            FPeerEnded = true;
            // OpenSSL then reads the end of the stream instead of waiting.
            BIO_set_mem_eof_return(FReadBio, 0);
        } else if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
            FRawError = error;
            BIO_set_mem_eof_return(FReadBio, 0);
        }
        break;
    }
}

bool TCustomSslWSocket::Decrypt() {
    // OpenSSL reads nothing more after an end without close_notify.
    if (FTruncated) return FSslPhase == sslRunning;
    char block[kCipherBlock];
    TLifeToken alive = LifeToken();
    for (;;) {
        ERR_clear_error();
        const int r = SSL_read(FSsl, block, sizeof block);
        if (r > 0) {
            if (FPlainHead == FPlain.size()) {
                FPlain.clear();
                FPlainHead = 0;
            }
            FPlain.append(block, static_cast<size_t>(r));
            continue;
        }
        const int error = SSL_get_error(FSsl, r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) break;
        if (error == SSL_ERROR_ZERO_RETURN) {
            // Servers may wait for the answering close_notify before they
            // close (and report the transfer).
            FPeerEnded = true;
            SendCloseNotify();
            break;
        }
        const bool unexpectedEof =
            error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
        if ((error == SSL_ERROR_SYSCALL || unexpectedEof) && FRawError != 0) break;  // told by Receive
        if (unexpectedEof) {
            // What was decrypted is handed out; the close event tells that
            // the end may have been forged.
            ERR_clear_error();
            FPeerEnded = true;
            FTruncated = true;
            FSslError = "TLS: the server closed the connection without close_notify";
            break;
        }
        FailSsl(SslErrProtocol, "TLS error: " + SslErrorQueueText());
        return false;
    }
    // Reading may have produced a reply (a key update) to send.
    PushCipherText();
    return alive && FSslPhase == sslRunning;
}

bool TCustomSslWSocket::DoDataAvailable(std::uint16_t Error) {
    if (FSslPhase == sslOff || FSslPhase == sslClosed || SocksPhase() != socksIdle || Error != 0)
        return TCustomSocksWSocket::DoDataAvailable(Error);
    TLifeToken alive = LifeToken();
    PullCipherText();
    if (FSslPhase == sslHandshaking) {
        ContinueHandshake();
        if (!alive || FSslPhase != sslRunning) return true;
    }
    if (!Decrypt()) return true;
    // Offered until read: the platform will not announce these bytes again.
    // RcvdCount also counts what a layer above holds.
    for (;;) {
        const int before = RcvdCount();
        if (!alive || FSslPhase != sslRunning) return true;
        if (before <= 0 && !FPeerEnded && FRawError == 0) return true;
        const bool handled = TCustomSocksWSocket::DoDataAvailable(0);
        if (!alive) return true;
        if (!handled) {
            FPlain.clear();
            FPlainHead = 0;
            return true;
        }
        const int after = RcvdCount();
        if (!alive || after <= 0 || after == before || FHSocket == INVALID_SOCKET) return true;
    }
}

int TCustomSslWSocket::RcvdCount() {
    if (FSslPhase == sslOff) return TCustomSocksWSocket::RcvdCount();
    if (FSslPhase == sslRunning && FPlainHead == FPlain.size()) {
        PullCipherText();
        if (!Decrypt()) return 0;
    }
    return static_cast<int>(FPlain.size() - FPlainHead);
}

int TCustomSslWSocket::RawReceive(void* Buffer, int BufferSize) {
    if (FSslPhase == sslOff) return TCustomSocksWSocket::RawReceive(Buffer, BufferSize);
    const std::size_t unread = FPlain.size() - FPlainHead;
    if (unread > 0) {
        const int n = static_cast<int>(std::min<std::size_t>(unread, std::max(BufferSize, 0)));
        std::memcpy(Buffer, FPlain.data() + FPlainHead, static_cast<size_t>(n));
        FPlainHead += static_cast<size_t>(n);
        return n;
    }
    if (FRawError != 0) {
        WSASetLastError(FRawError);
        return SOCKET_ERROR;
    }
    if (FPeerEnded) return 0;
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
}

// ---- sending ----

void TCustomSslWSocket::PushCipherText() {
    char block[kCipherBlock];
    TLifeToken alive = LifeToken();
    while (FWriteBio && BIO_ctrl_pending(FWriteBio) > 0) {
        const int n = BIO_read(FWriteBio, block, sizeof block);
        if (n <= 0) return;
        if (FState != wsConnected) continue;  // the connection is gone: drop it
        TCustomSocksWSocket::Send(block, n);
        if (!alive) return;
    }
}

// A handler sending small blocks (an upload's 1,460 bytes) gets them gathered
// into full records while the loop dispatches: a record costs the peer a
// decryption and often a read of its own, so 16 KiB records are many times
// cheaper to take than one per block. The rest is written once the queue has
// run dry, and before anything that must follow it.
int TCustomSslWSocket::Send(const void* Data, int Len) {
    if (FSslPhase == sslClosed) {
        // TLS failed: nothing goes out in clear on a connection that had it.
        WSASetLastError(WSAENOTCONN);
        return SOCKET_ERROR;
    }
    if (FSslPhase == sslOff || FState != wsConnected) return TCustomSocksWSocket::Send(Data, Len);
    if (Len <= 0) return TCustomSocksWSocket::Send(Data, 0);
    FHeldPlain.append(static_cast<const char*>(Data), static_cast<size_t>(Len));
    if (FSslPhase == sslHandshaking) return Len;
    if (FHeldPlain.size() >= kRecordPlain || !platform::Dispatching()) {
        if (!WriteHeldPlain()) return -1;
    } else if (!FWriteHeldPosted) {
        FWriteHeldPosted = platform::PostIdleMessage(FWindowHandle, WM_TLS_WRITE_HELD, 0, 0);
        // No loop of this thread owns the window: nothing would write them later.
        if (!FWriteHeldPosted && !WriteHeldPlain()) return -1;
    }
    // Taken: OnDataSent follows as for bytes handed to the platform.
    TCustomSocksWSocket::Send(nullptr, 0);
    return Len;
}

bool TCustomSslWSocket::WriteHeldPlain() {
    if (FHeldPlain.empty() || FSslPhase != sslRunning || FState != wsConnected) return true;
    std::string plain;
    plain.swap(FHeldPlain);
    ERR_clear_error();
    if (SSL_write(FSsl, plain.data(), static_cast<int>(plain.size())) <= 0) {
        FailSsl(SslErrProtocol, "TLS error while sending: " + SslErrorQueueText());
        return false;
    }
    PushCipherText();
    return true;
}

platform::LRESULT TCustomSslWSocket::HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                                         platform::LPARAM LParam) {
    if (Msg != WM_TLS_WRITE_HELD) return TCustomSocksWSocket::HandleSocketMessage(Msg, WParam, LParam);
    FWriteHeldPosted = false;
    WriteHeldPlain();
    return 0;
}

void TCustomSslWSocket::DoDataSent(std::uint16_t Error) {
    // The handshake's own bytes are nobody else's business.
    if (FSslPhase == sslHandshaking) return;
    if (FShutdownPending && FAllSent) {
        FShutdownPending = false;
        TCustomSocksWSocket::ShutdownSocket(1);
    }
    TCustomSocksWSocket::DoDataSent(Error);
}

// ---- closing ----

void TCustomSslWSocket::DoSessionClosed(std::uint16_t Error) {
    TCustomSocksWSocket::DoSessionClosed(Error == 0 && FTruncated ? SslErrTruncated : Error);
}

void TCustomSslWSocket::SendCloseNotify() {
    if (!FSsl || (SSL_get_shutdown(FSsl) & SSL_SENT_SHUTDOWN)) return;
    ERR_clear_error();
    SSL_shutdown(FSsl);
    ERR_clear_error();
}

void TCustomSslWSocket::ShutdownSocket(int How) {
    if (FSslPhase != sslRunning || How == 0 || FState != wsConnected) {
        TCustomSocksWSocket::ShutdownSocket(How);
        return;
    }
    TLifeToken alive = LifeToken();
    if (!WriteHeldPlain() || !alive) return;
    SendCloseNotify();
    PushCipherText();
    if (!alive) return;
    // The close_notify goes before the end of the stream.
    if (How == 1 && !FAllSent) FShutdownPending = true;
    else TCustomSocksWSocket::ShutdownSocket(How);
}

void TCustomSslWSocket::SendCloseNotifyNow() {
    if (FSslPhase != sslRunning || FHSocket == INVALID_SOCKET || FState != wsConnected) return;
    TLifeToken alive = LifeToken();
    if (!WriteHeldPlain() || !alive) return;
    SendCloseNotify();
    // Only behind an empty queue: half a record already queued would be cut
    // anyway, and the alert must not land inside it.
    char block[kCipherBlock];
    while (FWriteBio && BIO_ctrl_pending(FWriteBio) > 0) {
        const int n = BIO_read(FWriteBio, block, sizeof block);
        if (n <= 0) break;
        if (FAllSent) TCustomSocksWSocket::RawSend(block, n);
    }
}

void TCustomSslWSocket::DisconnectInternal(bool Shutdown, std::uint16_t Error) {
    SendCloseNotifyNow();
    if (FSslPhase != sslOff) FSslPhase = sslClosed;
    TCustomSocksWSocket::DisconnectInternal(Shutdown, Error);
}

// ---- state ----


std::string TCustomSslWSocket::SslCipherText() const {
    if (!FSsl || FSslPhase != sslRunning) return {};
    return std::string(SSL_get_version(FSsl)) + " " + SSL_get_cipher_name(FSsl);
}

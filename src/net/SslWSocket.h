// TCustomSslWSocket: TLS (client side) over the connection, on OpenSSL with
// memory buffers, so it stays driven by the socket's own notifications.
//
// Contract:
//  - Without TLS started the class adds nothing: bytes pass unchanged.
//  - SslEnable set before Connect: the handshake starts as soon as the
//    connection (or the SOCKS negotiation) is up, and OnSessionConnected fires
//    only when it has ended: 0 when the peer is trusted, else a TLS error code
//    (below), after which the connection closes with the same code.
//  - StartSsl on a connected socket (after an accept, or after the peer
//    agreed to TLS on a clear connection) starts the handshake there;
//    OnSslHandshakeDone tells its end in every case, also for SslEnable.
//  - Bytes sent before the handshake ended are held and go once it has.
//    OnDataSent tells that the encrypted bytes have left the send queue.
//  - Receive/RcvdCount give decrypted bytes only; Receive returns 0 once the
//    peer has ended TLS (close_notify) or closed and everything was read. A
//    peer that closed without close_notify may have been cut short by anyone
//    on the way: its close event carries SslErrTruncated instead of 0 (a
//    reset keeps the platform's error).
//  - Identity: the certificate must name the address actually connected to
//    when the host (SslHostName, Addr when empty) is a number in any form
//    the resolver takes ("127.1" included), else the host name, exactly or
//    by a whole-label wildcard, never by the subject's CN. A check that
//    cannot be set up refuses the connection (20102) before a byte is sent.
//  - Trust, checked once the handshake ends (renegotiation is refused): a
//    pinned SslPinSha256 (public key or whole certificate) must match;
//    when it does not, SslPinRenewal accepts a certificate the trust store
//    accepts for the host (SslPinReplaced tells it). Otherwise SslInsecure
//    accepts anything; otherwise the chain must verify against the context's
//    trust store and name the host. A refusal reports 20102 (untrusted) or
//    20103 (pin mismatch) with SslErrorText giving the reasons, subject and
//    fingerprints; SslPeerCertificate describes the certificate seen, every
//    verification problem and the name expected.
//  - Once TLS has started nothing is ever sent in clear: after a TLS failure
//    Send refuses (WSAENOTCONN).
//  - SslResumeSession set before the handshake resumes that session (a data
//    connection resuming its control connection's); SslSession is the
//    latest session the peer offered on this connection.
//  - Every close while TLS runs sends close_notify first (best effort when
//    the close is immediate); ShutdownSocket(1) sends it, waits for the send
//    queue to drain, then shuts the sending side.
//  - Failures during the session (a corrupt record, an alert) close the
//    connection with 20104; SslErrorText tells why.
//  - Thread: the socket's own thread, inside its notifications.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/SocksWSocket.h"
#include "net/SslContext.h"

struct ssl_st;
struct bio_st;
struct x509_store_ctx_st;

enum TSslPhase : std::uint8_t { sslOff, sslHandshaking, sslRunning, sslClosed };

// Error words of TLS failures (OnSessionConnected, OnSslHandshakeDone, OnSessionClosed).
constexpr std::uint16_t SslErrHandshake = 20101;
constexpr std::uint16_t SslErrUntrusted = 20102;
constexpr std::uint16_t SslErrPinMismatch = 20103;
constexpr std::uint16_t SslErrProtocol = 20104;
// The close event of a connection whose peer closed without close_notify.
constexpr std::uint16_t SslErrTruncated = 20105;

class TCustomSslWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomSslWSocket(TComponent* AOwner = nullptr) : TCustomSocksWSocket(AOwner) {}
    ~TCustomSslWSocket() override;

    void StartSsl();
    int Send(const void* Data, int Len) override;
    int RcvdCount() override;
    void ShutdownSocket(int How) override;

    TSslPhase SslPhase() const { return FSslPhase; }
    // A handshake or a running session: the bytes on the wire are encrypted.
    bool SslActive() const { return FSslPhase == sslHandshaking || FSslPhase == sslRunning; }
    // "TLSv1.3 TLS_AES_256_GCM_SHA384", empty before the handshake ended.
    std::string SslCipherText() const;
    const TSslSession& SslSession() const { return FSession; }
    const TSslCertInfo& SslPeerCertificate() const { return FPeerCert; }
    const std::string& SslErrorText() const { return FSslError; }
    // The pin did not match, and SslPinRenewal accepted the certificate.
    bool SslPinReplaced() const { return FPinReplaced; }

    bool SslEnable = false;
    std::shared_ptr<TSslContext> SslContext;  // created with defaults when empty
    std::string SslHostName;
    std::string SslPinSha256;
    bool SslPinRenewal = false;
    bool SslInsecure = false;
    TSslSession SslResumeSession;

    TSessionConnected OnSslHandshakeDone;

protected:
    void ResetToDefaults() override;
    void DoSessionConnected(std::uint16_t Error) override;
    bool DoDataAvailable(std::uint16_t Error) override;
    void DoDataSent(std::uint16_t Error) override;
    void DoSessionClosed(std::uint16_t Error) override;
    void DisconnectInternal(bool Shutdown, std::uint16_t Error) override;
    int RawReceive(void* Buffer, int BufferSize) override;
    platform::LRESULT HandleSocketMessage(platform::UINT Msg, platform::WPARAM WParam,
                                          platform::LPARAM LParam) override;
    virtual void DoSslHandshakeDone(std::uint16_t Error);

private:
    // Reads what the layer below holds into OpenSSL, noting its end or error.
    void PullCipherText();
    // Moves OpenSSL's output to the send queue.
    void PushCipherText();
    // Decrypts what OpenSSL can into FPlain; false after a failure.
    bool Decrypt();
    // Tells OpenSSL what the certificate must name (see the contract);
    // false when that cannot be set up.
    bool SetExpectedIdentity();
    void ContinueHandshake();
    // The handshake ended: applies the trust rules; 0 or the refusal's code.
    std::uint16_t CheckTrust();
    void FinishHandshake(std::uint16_t Error);
    // Ends the session with Error (text in FSslError) and closes.
    void FailSsl(std::uint16_t Error, const std::string& Text);
    // Writes the held plain text as records; false when TLS failed.
    bool WriteHeldPlain();
    // Puts close_notify into OpenSSL's output.
    void SendCloseNotify();
    // Sends it straight to the platform, before an immediate close.
    void SendCloseNotifyNow();
    void FreeSsl();
    static int NewSessionCallback(ssl_st* Ssl, ssl_session_st* Session);
    // Notes every verification problem and lets the handshake go on.
    static int VerifyCallback(int Ok, x509_store_ctx_st* Ctx);

    ssl_st* FSsl = nullptr;
    bio_st* FReadBio = nullptr;   // owned by FSsl
    bio_st* FWriteBio = nullptr;  // owned by FSsl
    std::shared_ptr<TSslContext> FContextInUse;
    TSslPhase FSslPhase = sslOff;
    bool FConnectPending = false;     // OnSessionConnected waits for the handshake
    bool FPeerEnded = false;          // close_notify or the platform's end of stream
    bool FTruncated = false;          // that end came without close_notify
    bool FPinReplaced = false;
    std::string FExpectedName;        // the host name or address the certificate must name
    std::vector<std::string> FVerifyErrors;
    int FRawError = 0;                // the platform's receive error, told after the plain text
    bool FShutdownPending = false;    // ShutdownSocket(1) waits for the queue to drain
    std::string FPlain;               // decrypted, not yet read
    std::size_t FPlainHead = 0;
    // Plain text not yet in records: sent before the handshake ended, or
    // small blocks sent while the loop dispatches (see Send).
    std::string FHeldPlain;
    bool FWriteHeldPosted = false;
    TSslSession FSession;
    TSslCertInfo FPeerCert;
    std::string FSslError;
};

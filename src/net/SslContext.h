// TSslContext: the client-side TLS settings shared by the sockets of one
// session (the control connection and its data connections), so that a data
// connection can resume the control connection's session.
//
// Contract:
//  - Trust: the system's trust store, plus CaFile when given. Construction
//    throws ESocketException with OpenSSL's reason when CaFile cannot be
//    loaded.
//  - Renegotiation is refused: the trust check runs once, at the handshake.
//  - Sessions are kept per socket (TCustomSslWSocket::SslSession); the
//    context only enables the client cache that hands them out.
//  - Thread: any, but one context is used from one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct ssl_ctx_st;
struct ssl_session_st;
struct x509_st;

// A TLS session to resume on another connection; shared, freed with its last user.
using TSslSession = std::shared_ptr<ssl_session_st>;

// What the user is shown about a peer's certificate.
struct TSslCertInfo {
    std::string Subject;
    std::string Issuer;
    std::string NotBefore;
    std::string NotAfter;
    std::string Sha256;  // of the whole certificate: upper-case hex pairs separated by ':'
    // Of its SubjectPublicKeyInfo, as Sha256: what a pin holds, since a
    // renewed certificate usually keeps its key.
    std::string PublicKeySha256;
    // The names it is for, from its subjectAltName: "DNS:ftp.example.org",
    // "IP:127.0.0.1".
    std::vector<std::string> Names;
    // What it was checked against: the host name or the address.
    std::string ExpectedName;
    // Every reason the trust store or the identity check refuses it
    // ("self-signed certificate", "hostname mismatch"), each once; empty
    // when they accept it or nothing was checked.
    std::vector<std::string> VerifyErrors;

    bool Empty() const { return Sha256.empty(); }
    // The reasons joined by "; ".
    std::string VerifyErrorText() const;
    // The names joined by ", " ("none" without any).
    std::string NamesText() const;
    // "subject ..., issuer ..., SHA-256 ..., public key SHA-256 ..." for error texts and logs.
    std::string Describe() const;
};

class TSslContext {
public:
    explicit TSslContext(const std::string& CaFile = {});
    ~TSslContext();
    TSslContext(const TSslContext&) = delete;
    TSslContext& operator=(const TSslContext&) = delete;

    ssl_ctx_st* Handle() const { return FCtx; }

private:
    ssl_ctx_st* FCtx = nullptr;
};

TSslCertInfo SslDescribeCertificate(x509_st* Cert);
// Text as a SHA-256 fingerprint: 64 hex digits, ':' allowed between them;
// the digits in upper case without separators, empty for anything else.
std::string SslSha256Hex(const std::string& Text);
// Fingerprints compare without regard to case and ':' separators.
bool SslSameFingerprint(const std::string& A, const std::string& B);
// OpenSSL's queued error reasons, oldest first, joined by "; "; the queue is emptied.
std::string SslErrorQueueText();

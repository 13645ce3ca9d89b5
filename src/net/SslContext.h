// TSslContext: the client-side TLS settings shared by the sockets of one
// session (the control connection and its data connections), so that a data
// connection can resume the control connection's session.
//
// Contract:
//  - Trust: the system's trust store, plus CaFile when given. Construction
//    throws ESocketException with OpenSSL's reason when CaFile cannot be
//    loaded.
//  - Sessions are kept per socket (TCustomSslWSocket::SslSession); the
//    context only enables the client cache that hands them out.
//  - Thread: any, but one context is used from one thread at a time.
#pragma once

#include <memory>
#include <string>

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
    std::string Sha256;  // upper-case hex pairs separated by ':'
    // Why the trust store or the host name refuses it ("self-signed
    // certificate"); empty when they accept it or nothing was checked.
    std::string VerifyError;

    bool Empty() const { return Sha256.empty(); }
    // "subject ..., issuer ..., SHA-256 ..." for error texts and logs.
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
// Fingerprints compare without regard to case and ':' separators.
bool SslSameFingerprint(const std::string& A, const std::string& B);
// OpenSSL's queued error reasons, oldest first, joined by "; "; the queue is emptied.
std::string SslErrorQueueText();

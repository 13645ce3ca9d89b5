#include "net/SslContext.h"

#include <cctype>
#include <cstdio>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "net/WSocketTypes.h"

namespace {

std::string NameText(X509_NAME* Name) {
    if (!Name) return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    X509_NAME_print_ex(bio, Name, 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(len > 0 ? len : 0));
    BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME* Time) {
    if (!Time) return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    ASN1_TIME_print(bio, Time);
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(len > 0 ? len : 0));
    BIO_free(bio);
    return text;
}

std::string Normalized(const std::string& Fingerprint) {
    std::string out;
    for (char c : Fingerprint)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (c != ':' && c != ' ')
            return {};  // not a fingerprint at all: matches nothing
    return out;
}

}  // namespace

std::string TSslCertInfo::Describe() const {
    return "subject " + Subject + ", issuer " + Issuer + ", SHA-256 " + Sha256;
}

TSslContext::TSslContext(const std::string& CaFile) {
    FCtx = SSL_CTX_new(TLS_client_method());
    if (!FCtx) throw ESocketException("TLS: cannot create a context: " + SslErrorQueueText());
    SSL_CTX_set_min_proto_version(FCtx, TLS1_2_VERSION);
    // Sessions are handed to the socket by the new-session callback; the
    // context keeps none of its own.
    SSL_CTX_set_session_cache_mode(FCtx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_set_default_verify_paths(FCtx);
    if (!CaFile.empty() && SSL_CTX_load_verify_locations(FCtx, CaFile.c_str(), nullptr) != 1) {
        const std::string reason = SslErrorQueueText();
        SSL_CTX_free(FCtx);
        FCtx = nullptr;
        throw ESocketException("TLS: cannot load the CA file " + CaFile + ": " + reason);
    }
}

TSslContext::~TSslContext() { SSL_CTX_free(FCtx); }

TSslCertInfo SslDescribeCertificate(X509* Cert) {
    TSslCertInfo info;
    if (!Cert) return info;
    info.Subject = NameText(X509_get_subject_name(Cert));
    info.Issuer = NameText(X509_get_issuer_name(Cert));
    info.NotBefore = TimeText(X509_get0_notBefore(Cert));
    info.NotAfter = TimeText(X509_get0_notAfter(Cert));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (X509_digest(Cert, EVP_sha256(), digest, &len) == 1) {
        for (unsigned int i = 0; i < len; ++i) {
            char pair[4];
            std::snprintf(pair, sizeof pair, i + 1 < len ? "%02X:" : "%02X", digest[i]);
            info.Sha256 += pair;
        }
    }
    return info;
}

bool SslSameFingerprint(const std::string& A, const std::string& B) {
    const std::string a = Normalized(A);
    return !a.empty() && a == Normalized(B);
}

std::string SslErrorQueueText() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        const char* reason = ERR_reason_error_string(code);
        if (!text.empty()) text += "; ";
        text += reason ? reason : buf;
    }
    return text.empty() ? "unknown TLS error" : text;
}

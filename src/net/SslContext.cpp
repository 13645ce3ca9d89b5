#include "net/SslContext.h"

#include <cctype>
#include <cstdio>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

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

std::string HexPairs(const unsigned char* Digest, unsigned Len) {
    std::string text;
    for (unsigned i = 0; i < Len; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i + 1 < Len ? "%02X:" : "%02X", Digest[i]);
        text += pair;
    }
    return text;
}

std::string PublicKeyFingerprint(X509* Cert) {
    unsigned char* der = nullptr;
    const int len = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(Cert), &der);
    if (len <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLen = 0;
    const bool ok = EVP_Digest(der, static_cast<size_t>(len), digest, &digestLen, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    return ok ? HexPairs(digest, digestLen) : std::string();
}

std::string AddressText(const ASN1_OCTET_STRING* Ip) {
    const unsigned char* b = ASN1_STRING_get0_data(Ip);
    const int len = ASN1_STRING_length(Ip);
    char text[64] = {};
    if (len == 4) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    } else if (len == 16) {
        std::string groups;
        for (int i = 0; i < 16; i += 2) {
            char group[8];
            std::snprintf(group, sizeof group, i ? ":%x" : "%x", (b[i] << 8) | b[i + 1]);
            groups += group;
        }
        return groups;
    } else {
        return "?";
    }
    return text;
}

std::vector<std::string> AltNames(X509* Cert) {
    std::vector<std::string> names;
    auto* general = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(Cert, NID_subject_alt_name, nullptr, nullptr));
    if (!general) return names;
    for (int i = 0; i < sk_GENERAL_NAME_num(general); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(general, i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING* dns = name->d.dNSName;
            names.push_back("DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                                                 static_cast<size_t>(ASN1_STRING_length(dns))));
        } else if (name->type == GEN_IPADD) {
            names.push_back("IP:" + AddressText(name->d.iPAddress));
        }
    }
    GENERAL_NAMES_free(general);
    return names;
}

std::string Joined(const std::vector<std::string>& Parts, const char* Separator) {
    std::string text;
    for (const std::string& part : Parts) text += (text.empty() ? "" : Separator) + part;
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
    return "subject " + Subject + ", issuer " + Issuer + ", SHA-256 " + Sha256 + ", public key SHA-256 " +
           PublicKeySha256;
}

std::string TSslCertInfo::VerifyErrorText() const { return Joined(VerifyErrors, "; "); }

std::string TSslCertInfo::NamesText() const { return Names.empty() ? "none" : Joined(Names, ", "); }

TSslContext::TSslContext(const std::string& CaFile) {
    FCtx = SSL_CTX_new(TLS_client_method());
    if (!FCtx) throw ESocketException("TLS: cannot create a context: " + SslErrorQueueText());
    SSL_CTX_set_min_proto_version(FCtx, TLS1_2_VERSION);
    // The peer is checked once, at the handshake; a renegotiation could
    // change it behind that check.
    SSL_CTX_set_options(FCtx, SSL_OP_NO_RENEGOTIATION);
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
    if (X509_digest(Cert, EVP_sha256(), digest, &len) == 1) info.Sha256 = HexPairs(digest, len);
    info.PublicKeySha256 = PublicKeyFingerprint(Cert);
    info.Names = AltNames(Cert);
    return info;
}

std::string SslSha256Hex(const std::string& Text) {
    std::string hex;
    for (const char c : Text) {
        if (c == ':') continue;
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return {};
        hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return hex.size() == 64 ? hex : std::string();
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

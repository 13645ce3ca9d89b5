// Throwaway certificates for TLS test servers, made with the openssl program
// (package openssl): RSA 2048, valid two days. Make: self-signed, for the
// name given and for 127.0.0.1 and ::1; Renew: the same with another's key (a
// routine renewal); MakeCa and MakeSigned: a CA and a certificate it signs
// for the subjectAltName given ("DNS:evil.example").
//
// Usage:
//     peers::TlsCert cert;
//     ASSERT_TRUE(cert.Make(dir, "tarn-test")) << cert.Error();
//     ... cert.CertFile(), cert.KeyFile(), cert.Sha256() ...
#pragma once

#include <string>
#include <vector>

#include "peers/PeerSupport.h"

namespace peers {

class TlsCert {
public:
    // Writes <name>.crt and <name>.key into dir (readable by the servers).
    bool Make(const TempDir& dir, const std::string& name);
    bool Renew(const TempDir& dir, const std::string& name, const TlsCert& old);
    bool MakeCa(const TempDir& dir, const std::string& name);
    bool MakeSigned(const TempDir& dir, const std::string& name, const TlsCert& ca, const std::string& altNames);

    const std::string& CertFile() const { return cert_; }
    const std::string& KeyFile() const { return key_; }
    // As `openssl x509 -fingerprint -sha256` prints it: "AB:CD:...".
    const std::string& Sha256() const { return sha256_; }
    // Of the SubjectPublicKeyInfo, in the same form.
    const std::string& PublicKeySha256() const { return publicKeySha256_; }
    const std::string& Error() const { return error_; }

private:
    bool Begin(const TempDir& dir, const std::string& name);
    bool Run(const std::vector<std::string>& argv);
    bool Finish();

    std::string cert_, key_, sha256_, publicKeySha256_, error_;
};

}  // namespace peers

namespace peers {

// vsftpd configuration lines for TLS with this certificate: logins and data
// only over TLS, data connections resuming the control session (vsftpd's
// default), and implicit TLS when asked.
std::vector<std::string> VsftpdTlsConfig(const TlsCert& cert, bool implicit);

}  // namespace peers

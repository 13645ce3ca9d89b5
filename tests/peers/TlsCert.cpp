#include "peers/TlsCert.h"

#include <sys/stat.h>

namespace peers {

bool TlsCert::Make(const TempDir& dir, const std::string& name) {
    const std::string program = "/usr/bin/openssl";
    if (!ProgramExists(program)) {
        error_ = "program not found: " + program + " (package openssl, see scripts/setup)";
        return false;
    }
    cert_ = dir.File(name + ".crt");
    key_ = dir.File(name + ".key");
    CommandResult made = RunCommand({program, "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                     "-keyout", key_, "-out", cert_, "-days", "2", "-subj",
                                     "/CN=" + name, "-addext",
                                     "subjectAltName=DNS:" + name + ",IP:127.0.0.1,IP:::1"});
    if (made.ExitCode != 0) {
        error_ = "openssl req failed: " + made.Output;
        return false;
    }
    // The servers may run as another user.
    chmod(key_.c_str(), 0644);
    CommandResult print = RunCommand({program, "x509", "-in", cert_, "-noout", "-fingerprint",
                                      "-sha256"});
    const size_t at = print.Output.find('=');
    if (print.ExitCode != 0 || at == std::string::npos) {
        error_ = "openssl x509 failed: " + print.Output;
        return false;
    }
    sha256_ = print.Output.substr(at + 1);
    while (!sha256_.empty() && (sha256_.back() == '\n' || sha256_.back() == '\r')) sha256_.pop_back();
    return true;
}

std::vector<std::string> VsftpdTlsConfig(const TlsCert& cert, bool implicit) {
    return {"ssl_enable=YES",
            "rsa_cert_file=" + cert.CertFile(),
            "rsa_private_key_file=" + cert.KeyFile(),
            "force_local_logins_ssl=YES",
            "force_local_data_ssl=YES",
            "require_ssl_reuse=YES",
            "ssl_ciphers=HIGH",
            std::string("implicit_ssl=") + (implicit ? "YES" : "NO")};
}

}  // namespace peers

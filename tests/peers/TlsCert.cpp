#include "peers/TlsCert.h"

#include <cctype>

#include <sys/stat.h>

namespace peers {

namespace {

const std::string kOpenssl = "/usr/bin/openssl";

// The text after '=' of openssl's "name=value" output, line end dropped.
std::string ValueOf(const std::string& output) {
    const size_t at = output.rfind('=');
    if (at == std::string::npos) return {};
    std::string value = output.substr(at + 1);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' ')) value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    return value;
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool TlsCert::Run(const std::vector<std::string>& argv) {
    const CommandResult r = RunCommand(argv);
    if (r.ExitCode == 0) return true;
    error_ = "openssl " + argv[1] + " failed: " + r.Output;
    return false;
}

bool TlsCert::Begin(const TempDir& dir, const std::string& name) {
    if (!ProgramExists(kOpenssl)) {
        error_ = "program not found: " + kOpenssl + " (package openssl, see scripts/setup)";
        return false;
    }
    cert_ = dir.File(name + ".crt");
    key_ = dir.File(name + ".key");
    return true;
}

bool TlsCert::Make(const TempDir& dir, const std::string& name) {
    return Begin(dir, name) &&
           Run({kOpenssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key_, "-out", cert_, "-days",
                "2", "-subj", "/CN=" + name, "-addext", "subjectAltName=DNS:" + name + ",IP:127.0.0.1,IP:::1"}) &&
           Finish();
}

bool TlsCert::Renew(const TempDir& dir, const std::string& name, const TlsCert& old) {
    return Begin(dir, name) && Run({kOpenssl, "pkey", "-in", old.KeyFile(), "-out", key_}) &&
           Run({kOpenssl, "req", "-x509", "-key", key_, "-out", cert_, "-days", "3", "-subj", "/CN=" + name,
                "-addext", "subjectAltName=DNS:" + name + ",IP:127.0.0.1"}) &&
           Finish();
}

bool TlsCert::MakeCa(const TempDir& dir, const std::string& name) {
    return Begin(dir, name) &&
           Run({kOpenssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key_, "-out", cert_, "-days",
                "2", "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                "keyUsage=critical,keyCertSign,cRLSign"}) &&
           Finish();
}

bool TlsCert::MakeSigned(const TempDir& dir, const std::string& name, const TlsCert& ca,
                         const std::string& altNames) {
    const std::string request = dir.File(name + ".csr");
    const std::string extensions = dir.File(name + ".ext");
    return Begin(dir, name) &&
           WriteTextFile(extensions, "subjectAltName=" + altNames + "\nbasicConstraints=CA:FALSE\n") &&
           Run({kOpenssl, "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key_, "-out", request, "-subj",
                "/CN=" + name}) &&
           Run({kOpenssl, "x509", "-req", "-in", request, "-CA", ca.CertFile(), "-CAkey", ca.KeyFile(),
                "-CAcreateserial", "-days", "2", "-extfile", extensions, "-out", cert_}) &&
           Finish();
}

bool TlsCert::Finish() {
    // The servers may run as another user.
    chmod(key_.c_str(), 0644);
    CommandResult print = RunCommand({kOpenssl, "x509", "-in", cert_, "-noout", "-fingerprint", "-sha256"});
    sha256_ = ValueOf(print.Output);
    const std::string pem = cert_ + ".pub", der = cert_ + ".pub.der";
    if (print.ExitCode != 0 || sha256_.empty() ||
        !Run({kOpenssl, "x509", "-in", cert_, "-noout", "-pubkey", "-out", pem}) ||
        !Run({kOpenssl, "pkey", "-pubin", "-in", pem, "-outform", "DER", "-out", der})) {
        if (error_.empty()) error_ = "openssl x509 failed: " + print.Output;
        return false;
    }
    CommandResult digest = RunCommand({kOpenssl, "dgst", "-sha256", "-c", der});
    publicKeySha256_ = UpperCase(ValueOf(digest.Output));
    if (digest.ExitCode != 0 || publicKeySha256_.size() != 95) {
        error_ = "openssl dgst failed: " + digest.Output;
        return false;
    }
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

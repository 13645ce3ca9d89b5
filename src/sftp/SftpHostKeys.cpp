// Host keys: fingerprints and the known_hosts file, through libssh2's
// knownhost functions (which read hashed entries and "[host]:port").
#include "sftp/SftpHostKeys.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libssh2.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

namespace {

std::string Base64(const unsigned char* Data, std::size_t Len) {
    std::vector<unsigned char> out(4 * ((Len + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(out.data(), Data, static_cast<int>(Len));
    return std::string(reinterpret_cast<char*>(out.data()), n > 0 ? n : 0);
}

// Decodes base64 as known_hosts stores keys; false when it is not base64.
bool Unbase64(const std::string& Text, std::string& Out) {
    if (Text.empty() || Text.size() % 4 != 0) return false;
    std::vector<unsigned char> out(Text.size() / 4 * 3 + 1);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(Text.data()),
                                  static_cast<int>(Text.size()));
    if (n < 0) return false;
    std::size_t len = static_cast<std::size_t>(n);
    // EVP_DecodeBlock counts the padding as data.
    for (std::size_t i = Text.size(); i > 0 && Text[i - 1] == '='; --i) --len;
    Out.assign(reinterpret_cast<char*>(out.data()), len);
    return true;
}

const char* TypeName(int LibType) {
    switch (LibType) {
        case LIBSSH2_HOSTKEY_TYPE_RSA: return "ssh-rsa";
        case LIBSSH2_HOSTKEY_TYPE_DSS: return "ssh-dss";
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return "ecdsa-sha2-nistp256";
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return "ecdsa-sha2-nistp384";
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return "ecdsa-sha2-nistp521";
        case LIBSSH2_HOSTKEY_TYPE_ED25519: return "ssh-ed25519";
        default: return "unknown";
    }
}

int KnownHostKeyBits(int LibType) {
    switch (LibType) {
        case LIBSSH2_HOSTKEY_TYPE_RSA: return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
        case LIBSSH2_HOSTKEY_TYPE_DSS: return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
        case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
        case LIBSSH2_HOSTKEY_TYPE_ED25519: return LIBSSH2_KNOWNHOST_KEY_ED25519;
        default: return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
}

// The host as known_hosts names it.
std::string HostEntryName(const std::string& Host, int Port) {
    if (Port == 22) return Host;
    return "[" + Host + "]:" + std::to_string(Port);
}

// Owns a knownhost collection for one check.
struct TKnownHosts {
    explicit TKnownHosts(LIBSSH2_SESSION* Session) : Hosts(libssh2_knownhost_init(Session)) {}
    ~TKnownHosts() {
        if (Hosts) libssh2_knownhost_free(Hosts);
    }
    TKnownHosts(const TKnownHosts&) = delete;
    TKnownHosts& operator=(const TKnownHosts&) = delete;
    LIBSSH2_KNOWNHOSTS* Hosts;
};

}  // namespace

std::string SshFingerprint(const std::string& Data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(Data.data()), Data.size(), digest);
    std::string text = Base64(digest, sizeof digest);
    while (!text.empty() && text.back() == '=') text.pop_back();
    return "SHA256:" + text;
}

std::string KnownHostsPath(const std::string& File) {
    if (!File.empty()) return File;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.ssh/known_hosts";
}

bool ReadHostKey(LIBSSH2_SESSION* Session, TSftpHostKey& Key) {
    std::size_t len = 0;
    int type = 0;
    const char* blob = libssh2_session_hostkey(Session, &len, &type);
    if (!blob || len == 0) return false;
    Key.Blob.assign(blob, len);
    Key.LibType = type;
    Key.Type = TypeName(type);
    Key.Fingerprint = SshFingerprint(Key.Blob);
    Key.KnownFingerprint.clear();
    return true;
}

TKnownHostResult CheckKnownHost(LIBSSH2_SESSION* Session, const std::string& File,
                                const std::string& Host, int Port, TSftpHostKey& Key) {
    TKnownHosts known(Session);
    if (!known.Hosts) return TKnownHostResult::Failure;
    const std::string path = KnownHostsPath(File);
    // Line by line: a line libssh2 cannot read (a key type it does not know,
    // a marker) is passed over, as OpenSSH does, instead of failing the file.
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        libssh2_knownhost_readline(known.Hosts, line.data(), line.size(),
                                   LIBSSH2_KNOWNHOST_FILE_OPENSSH);
    }
    libssh2_knownhost* entry = nullptr;
    const int rc = libssh2_knownhost_checkp(
        known.Hosts, Host.c_str(), Port, Key.Blob.data(), Key.Blob.size(),
        LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | KnownHostKeyBits(Key.LibType),
        &entry);
    switch (rc) {
        case LIBSSH2_KNOWNHOST_CHECK_MATCH: return TKnownHostResult::Match;
        case LIBSSH2_KNOWNHOST_CHECK_MISMATCH: {
            std::string stored;
            if (entry && entry->key && Unbase64(entry->key, stored))
                Key.KnownFingerprint = SshFingerprint(stored);
            return TKnownHostResult::Mismatch;
        }
        case LIBSSH2_KNOWNHOST_CHECK_NOTFOUND: return TKnownHostResult::NotFound;
        default: return TKnownHostResult::Failure;
    }
}

bool AddKnownHost(LIBSSH2_SESSION* Session, const std::string& File, const std::string& Host,
                  int Port, const TSftpHostKey& Key, std::string& Error) {
    TKnownHosts known(Session);
    libssh2_knownhost* entry = nullptr;
    const std::string name = HostEntryName(Host, Port);
    if (!known.Hosts ||
        libssh2_knownhost_addc(known.Hosts, name.c_str(), nullptr, Key.Blob.data(),
                               Key.Blob.size(), nullptr, 0,
                               LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW |
                                   KnownHostKeyBits(Key.LibType),
                               &entry) != 0) {
        Error = "cannot record the host key of " + name;
        return false;
    }
    std::vector<char> line(16384);
    std::size_t len = 0;
    if (libssh2_knownhost_writeline(known.Hosts, entry, line.data(), line.size(), &len,
                                    LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0) {
        Error = "cannot record the host key of " + name;
        return false;
    }
    const std::string path = KnownHostsPath(File);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(path.substr(0, slash).c_str(), 0700);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        Error = path + ": " + std::strerror(errno);
        return false;
    }
    // A last line without its line end would be joined to ours.
    std::string text(line.data(), len);
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') text.insert(0, "\n");
    }
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int err = errno;
    if (close(fd) != 0 || !ok) {
        Error = path + ": " + std::strerror(ok ? errno : err);
        return false;
    }
    return true;
}

// The server's host key and OpenSSH's known_hosts file: how a key is shown
// (its type and SHA-256 fingerprint, "SHA256:" and unpadded base64, as
// OpenSSH prints it), how it is checked against the file (plain, hashed and
// "[host]:port" entries) and how a trusted key is added (one line appended;
// the rest of the file is left as it is).
#pragma once

#include <string>

struct _LIBSSH2_SESSION;

struct TSftpHostKey {
    std::string Type;         // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    std::string Fingerprint;  // "SHA256:..."
    // With a changed key: the fingerprint known_hosts holds for the host.
    std::string KnownFingerprint;
    std::string Blob;  // the key as the server sent it
    int LibType = 0;   // libssh2's LIBSSH2_HOSTKEY_TYPE_*
};

enum class TKnownHostResult { Match, Mismatch, NotFound, Failure };

// "SHA256:" and the unpadded base64 of the SHA-256 of Data.
std::string SshFingerprint(const std::string& Data);
// ~/.ssh/known_hosts when File is empty.
std::string KnownHostsPath(const std::string& File);
// Reads the session's host key into Key; false when it has none.
bool ReadHostKey(_LIBSSH2_SESSION* Session, TSftpHostKey& Key);
// Looks the key up for Host and Port; a missing file is NotFound.
TKnownHostResult CheckKnownHost(_LIBSSH2_SESSION* Session, const std::string& File,
                                const std::string& Host, int Port, TSftpHostKey& Key);
// Appends the key for Host and Port ("[host]:port" unless port 22), making
// the file (0600) and its folder (0700) when missing. False with Error.
bool AddKnownHost(_LIBSSH2_SESSION* Session, const std::string& File, const std::string& Host,
                  int Port, const TSftpHostKey& Key, std::string& Error);

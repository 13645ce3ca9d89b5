// TTrustedCertificates: the server certificates the user chose to trust
// always, kept in "TarnFtpCerts.txt" in the per-user folder.
//
// Format: one "host:port FINGERPRINT" line per server, the host in lower
// case, the port always written as a number, the SHA-256 fingerprint as 64
// upper-case hex digits: of the server's public key (its SubjectPublicKeyInfo,
// which a renewed certificate usually keeps), or, in lines written by
// earlier versions, of the whole certificate; both are read, only the first
// is written. Lines of any other form are ignored on reading and kept as
// they stand on writing.
//
// Contract:
//  - Every call reads the file anew; nothing is cached.
//  - Store replaces the file whole (never half-written) with mode 0600, also
//    when it had another mode: it tells whom the user trusts.
//  - Without a Path (no per-user folder) nothing is stored or found.
//  - A file that exists but cannot be read is no empty store: Fingerprint
//    says so, and pins must not silently go.
//  - Single-threaded use.
#pragma once

#include <optional>
#include <string>

#include "transfer/ServerLines.h"

class TTrustedCertificates {
public:
    std::string Path;

    // The fingerprint stored for server as hex pairs ("AB:CD:..."), the form
    // the certificate's description uses; empty when none is. Nothing, with
    // the reason in why, when the file exists but cannot be read.
    std::optional<std::string> Fingerprint(const std::string& server, std::string& why) const;
    // Stores sha256 (hex, any case, ':' separators or none) for server in
    // place of any stored before. False, with the reason in why, when the
    // file cannot be read or written or sha256 is no SHA-256 fingerprint.
    bool Store(const std::string& server, const std::string& sha256, std::string& why) const;
};

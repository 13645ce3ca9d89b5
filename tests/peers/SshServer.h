// OpenSSH's sshd on 127.0.0.1 as an SFTP server for the tests: a throwaway
// system user with a password and an authorized key, "Subsystem sftp
// internal-sftp", password and key log-in, its own ed25519 host key.
//
// Usage:
//     peers::SshServer ssh;
//     ASSERT_TRUE(ssh.Start()) << ssh.Error();
//     WriteTextFile(knownHosts, ssh.KnownHostsLine());
//     ... connect to 127.0.0.1:ssh.Port() as ssh.User() / ssh.Password() ...
//
// The destructor stops sshd (by PID), removes the user and the folder.
#pragma once

#include <string>

#include "peers/PeerSupport.h"

namespace peers {

class SshServer {
public:
    struct Options {
        bool Sftp = true;  // false: no sftp subsystem (a refused subsystem)
        // Keyboard-interactive through PAM (sshd's own service).
        bool KeyboardInteractive = false;
        bool Password = true;  // the "password" method
    };
    SshServer() : SshServer(Options{}) {}
    explicit SshServer(Options options) : options_(options) {}
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    bool Start();
    void Stop();

    int Port() const { return port_; }
    const std::string& User() const { return user_.Name(); }
    const std::string& Password() const { return user_.Password(); }
    const std::string& Home() const { return user_.Home(); }
    const std::string& Error() const { return error_; }
    const TempDir& Dir() const { return dir_; }
    // The private key sshd accepts for User() (no passphrase).
    std::string ClientKey() const { return dir_.File("client_key"); }
    // "SHA256:..." of the host key, as ssh-keygen -l shows it.
    const std::string& HostFingerprint() const { return fingerprint_; }
    // A known_hosts line for "[127.0.0.1]:Port()" with the host key.
    std::string KnownHostsLine() const;
    // The same host with another key: what a changed server looks like.
    std::string OtherKnownHostsLine() const;
    std::string LogPath() const { return sshd_.LogPath(); }

    // Writes a file below Home() (folders made), owned by the user.
    bool PutFile(const std::string& relativePath, const std::string& content);
    // Cuts every open session: kills sshd's per-connection children.
    void CutSessions();

private:
    bool Fail(const std::string& why);

    Options options_;
    TempDir dir_;
    ThrowawayUser user_;
    PeerProcess sshd_;
    std::string error_, fingerprint_;
    int port_ = 0;
};

}  // namespace peers

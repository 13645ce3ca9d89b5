// Real proxies on 127.0.0.1 for the tests: dante (SOCKS 4 and 5, optionally
// with a system user's password), microsocks (SOCKS 5 with its own user and
// password), OpenSSH dynamic forwarding (SOCKS 4, 4A and 5, no
// authentication) and ftp-proxy (an FTP proxy taking "USER user@host:port").
//
// Usage:
//     peers::DanteProxy socks;
//     ASSERT_TRUE(socks.Start()) << socks.Error();
//     ... connect through 127.0.0.1:socks.Port() ...
//
// Each proxy gets a run folder and a free port; the destructor stops every
// process it started (by PID) and removes the users and folders it made.
// Start() returns false with Error() saying why; a missing program names its
// package.
#pragma once

#include <string>

#include "peers/PeerSupport.h"

namespace peers {

// What every proxy fixture shares.
class ProxyPeer {
public:
    virtual ~ProxyPeer() = default;
    virtual bool Start() = 0;
    virtual void Stop() = 0;

    int Port() const { return port_; }
    const std::string& Error() const { return error_; }
    const TempDir& Dir() const { return dir_; }

protected:
    bool Fail(const std::string& why);
    // Waits for `port` and fails with the tail of `process`'s output if it
    // does not open.
    bool WaitReady(PeerProcess& process, int port);

    TempDir dir_;
    std::string error_;
    int port_ = 0;
};

class DanteProxy : public ProxyPeer {
public:
    struct Options {
        // SOCKS 5 user/password checked against a throwaway system user
        // (SOCKS 4 is then refused). Without it: SOCKS 4 and 5, no auth.
        bool UserAuth = false;
        // The address outgoing connections come from; "127.0.0.2" shows a
        // data connection really went through the proxy.
        std::string External = "127.0.0.1";
    };

    DanteProxy() : DanteProxy(Options{}) {}
    explicit DanteProxy(Options options) : options_(std::move(options)) {}
    ~DanteProxy() override;

    bool Start() override;
    void Stop() override;

    // Set with UserAuth only.
    const std::string& User() const { return user_.Name(); }
    const std::string& Password() const { return user_.Password(); }
    std::string LogPath() const { return dir_.File("danted.log"); }
    std::string Log() const { return ReadTextFile(LogPath()); }

private:
    Options options_;
    ThrowawayUser user_;
    PeerProcess process_;
};

class MicrosocksProxy : public ProxyPeer {
public:
    struct Options {
        // Both empty: no authentication.
        std::string User;
        std::string Password;
    };

    MicrosocksProxy() : MicrosocksProxy(Options{}) {}
    explicit MicrosocksProxy(Options options) : options_(std::move(options)) {}
    ~MicrosocksProxy() override;

    bool Start() override;
    void Stop() override;

    const std::string& User() const { return options_.User; }
    const std::string& Password() const { return options_.Password; }
    std::string LogPath() const { return process_.LogPath(); }

private:
    Options options_;
    PeerProcess process_;
};

// A throwaway sshd on 127.0.0.1 and `ssh -N -D` logged in to it with a
// throwaway key; Port() is the SOCKS port of the ssh client.
class SshSocksProxy : public ProxyPeer {
public:
    SshSocksProxy() = default;
    ~SshSocksProxy() override;

    bool Start() override;
    void Stop() override;

    int SshdPort() const { return sshdPort_; }
    std::string SshdLogPath() const { return sshd_.LogPath(); }
    std::string SshLogPath() const { return ssh_.LogPath(); }

private:
    ThrowawayUser user_;
    PeerProcess sshd_;
    PeerProcess ssh_;  // declared after sshd_: destroyed (stopped) first
    int sshdPort_ = 0;
};

// ftp-proxy in front of an FTP server on 127.0.0.1. It answers with its own
// greeting; "USER name@127.0.0.1:port" picks the server, plain "USER name"
// goes to the default one given here.
class FtpProxyServer : public ProxyPeer {
public:
    explicit FtpProxyServer(int defaultServerPort) : serverPort_(defaultServerPort) {}
    ~FtpProxyServer() override;

    bool Start() override;
    void Stop() override;

    std::string LogPath() const { return dir_.File("log/ftp-proxy.log"); }
    std::string Log() const { return ReadTextFile(LogPath()); }

private:
    int serverPort_;
    PeerProcess process_;
};

}  // namespace peers

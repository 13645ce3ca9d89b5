// Real FTP servers on 127.0.0.1 (or ::1 alone) for the tests: vsftpd (a system user logs in
// through PAM) and a pyftpdlib server whose misbehaviour a "mode" selects.
//
// Usage:
//     peers::VsftpdServer ftp;
//     ASSERT_TRUE(ftp.Start()) << ftp.Error();
//     ftp.PutFile("dir/a.txt", "hello");
//     ... connect to 127.0.0.1:ftp.Port() as ftp.User() / ftp.Password() ...
//     EXPECT_EQ(ftp.Commands(), (std::vector<std::string>{"USER " + ftp.User(), ...}));
//
// Each server gets a run folder, a throwaway system user whose home holds
// the served files, a free control port and a passive port range of its own.
// The destructor stops the server, removes the user and the folder. Start()
// returns false with Error() saying why (a missing program names its
// package); the test decides whether that fails or skips it.
#pragma once

#include <string>
#include <vector>

#include "peers/PeerSupport.h"

namespace peers {

// What both servers share: folder, user, port, files, command record.
class FtpServerPeer {
public:
    virtual ~FtpServerPeer() = default;

    // Creates the user and starts the server. A server that exits before it
    // answers (most often a port taken since it was picked) is started again
    // on new ports, up to three times.
    bool Start();
    virtual void Stop() = 0;

    int Port() const { return port_; }
    int PassiveMinPort() const { return passiveMin_; }
    int PassiveMaxPort() const { return passiveMax_; }
    const std::string& User() const { return user_.Name(); }
    const std::string& Password() const { return user_.Password(); }
    // The user's home: the folder the server shows as "/" or the login folder.
    const std::string& Home() const { return user_.Home(); }
    const std::string& Error() const { return error_; }
    const TempDir& Dir() const { return dir_; }

    // Writes a file below Home() (creating folders), owned by the user.
    bool PutFile(const std::string& relativePath, const std::string& content);
    bool MakeFolder(const std::string& relativePath);
    // Reads a file below Home() (what a client uploaded).
    std::string FileContent(const std::string& relativePath) const;

    // The command lines the server received so far, in order ("USER x", ...).
    virtual std::vector<std::string> Commands() const = 0;
    // Waits until a received command line starts with `prefix`; bounded.
    bool WaitForCommand(const std::string& prefix, Millis timeout = Millis(5000)) const;
    // The server's own output (errors, its log).
    std::string ServerLog() const { return process_.Log(); }

protected:
    bool Fail(const std::string& why);
    // Picks the ports (controlPort unless it is 0), writes the server's
    // settings for them and starts process_.
    virtual bool Launch() = 0;
    bool PickPorts(int passivePortCount, int controlPort = 0);
    bool ipv6_ = false;  // listening on ::1 alone

    TempDir dir_;
    ThrowawayUser user_;
    PeerProcess process_;
    std::string error_;
    int port_ = 0, passiveMin_ = 0, passiveMax_ = 0;
};

class VsftpdServer : public FtpServerPeer {
public:
    struct Options {
        int PassivePortCount = 8;
        // Extra "name=value" lines appended to the configuration (later lines win).
        std::vector<std::string> ExtraConfig;
        // The control port; 0 picks a free one. A fixed one lets a second
        // server stand in for a first one at the same address.
        int ControlPort = 0;
        // Listens on ::1 alone (EPSV and EPRT; PASV and PORT are refused there).
        bool Ipv6 = false;
    };

    VsftpdServer() : VsftpdServer(Options{}) {}
    explicit VsftpdServer(Options options) : options_(std::move(options)) {}
    ~VsftpdServer() override;

    void Stop() override;

    // vsftpd's protocol log (commands and replies of every session, in UTC).
    std::string ProtocolLogPath() const { return dir_.File("vsftpd.log"); }
    std::string ProtocolLog() const { return ReadTextFile(ProtocolLogPath()); }
    // From the protocol log; vsftpd writes the password as "PASS <password>".
    std::vector<std::string> Commands() const override;

private:
    bool Launch() override;

    Options options_;
    std::string pamService_;  // file in /etc/pam.d made for this server
};

class PyftpdlibServer : public FtpServerPeer {
public:
    struct Options {
        // One of the modes in pyftpd_peer.py: "normal", "multiline_greeting",
        // "greeting_421", "long_line", "two_replies_one_segment",
        // "split_reply", "bare_lf", "pwd_doubled_quote", "pwd_unquoted",
        // "user_230", "silent_after_login", "reply_226_before_close",
        // "reply_226_after_close", "data_close_early",
        // "data_close_early_226", "data_reset", "pasv_malformed", "pasv_unknown",
        // "pasv_other_address", "hostile_listing", "port_black_hole", "appe_425_after_data".
        std::string Mode = "normal";
        // Where the data_* modes cut a download or listing short.
        int CutAfterBytes = 1000;
        int PassivePortCount = 8;
        // With both: explicit TLS (AUTH TLS), required for logins and data.
        std::string TlsCertFile{}, TlsKeyFile{};
        // Listens on ::1 alone.
        bool Ipv6 = false;
    };

    PyftpdlibServer() : PyftpdlibServer(Options{}) {}
    explicit PyftpdlibServer(Options options) : options_(std::move(options)) {}
    ~PyftpdlibServer() override;

    void Stop() override;

    // Every line as received, the password included.
    std::vector<std::string> Commands() const override;

private:
    bool Launch() override;

    Options options_;
};

// The folder holding pyftpd_peer.py and the other peer scripts.
std::string PeerScriptsDir();

}  // namespace peers

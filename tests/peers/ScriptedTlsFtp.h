// tls_ftp_peer.py on 127.0.0.1: an FTP server over explicit TLS that plays
// the faults no real server shows (see the script). Runs as root in a
// process of its own, stopped by PID with the fixture.
//
// Usage:
//     peers::ScriptedTlsFtp server({"--cert", c.CertFile(), "--key", c.KeyFile(), "--send-bytes", "160000"});
//     ASSERT_TRUE(server.Start()) << server.Error();
#pragma once

#include <string>
#include <vector>

#include "peers/PeerSupport.h"

namespace peers {

class ScriptedTlsFtp {
public:
    // The script's options, the port and --commands aside. Script: another
    // scripted server of tests/peers taking the same --port and --commands
    // (ordered_ftp_peer.py).
    explicit ScriptedTlsFtp(std::vector<std::string> options, std::string script = "tls_ftp_peer.py")
        : options_(std::move(options)), script_(std::move(script)) {}

    bool Start();
    int Port() const { return port_; }
    // Every command line received, in order.
    std::vector<std::string> Commands() const;
    const std::string& Error() const { return error_; }

private:
    std::vector<std::string> options_;
    std::string script_;
    TempDir dir_;
    PeerProcess process_;
    int port_ = 0;
    std::string error_;
};

}  // namespace peers

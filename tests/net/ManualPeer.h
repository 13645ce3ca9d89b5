// A loopback TCP peer driven step by step from the test's own thread: the
// test decides when each piece goes out and reads what arrived so far, so
// byte-exact exchanges do not depend on how loopback merges segments.
// Nothing here blocks; tests wait with PumpUntil. Plain POSIX: never include
// platform/WinSock.h here.
#pragma once

#include <string>
#include <string_view>

class ManualPeer {
public:
    ManualPeer() = default;
    ~ManualPeer();
    ManualPeer(const ManualPeer&) = delete;
    ManualPeer& operator=(const ManualPeer&) = delete;

    // Listens on 127.0.0.1 on a port the system picks.
    bool Listen();
    int Port() const { return port_; }

    // Accepts the first pending connection; true once one is accepted.
    bool TryAccept();
    // Sends all of `bytes` on the accepted connection (loopback takes small
    // pieces at once).
    bool Send(std::string_view bytes);
    // Everything received so far on the accepted connection.
    const std::string& Received();
    // True once the other side has closed (after everything it sent was read).
    bool PeerClosed();
    // Orderly close of the accepted connection.
    void Close();

private:
    void ReadAvailable();

    int listenFd_ = -1;
    int fd_ = -1;
    int port_ = 0;
    bool peerClosed_ = false;
    std::string received_;
};

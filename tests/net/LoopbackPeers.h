// Small loopback peers for the socket tests, written on plain POSIX sockets
// in their own file (the socket layer's platform header clashes with the
// system's). Every peer runs on its own thread, serves one connection or
// datagram exchange on 127.0.0.1, and gives up by itself after its time-out.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace peers {

// A connected descriptor handed to a peer script.
struct Conn {
    int fd;
    // Reads until the peer closes, `limit` bytes arrived, or `timeoutMs` of silence.
    std::string ReadAll(size_t limit = SIZE_MAX, int timeoutMs = 5000, int chunk = 65536,
                        int delayPerChunkMs = 0);
    std::string ReadExactly(size_t n, int timeoutMs = 5000);
    bool WriteAll(const std::string& data);
    // Closes with an RST instead of an orderly FIN.
    void ResetClose();
    void Close();
    void SetReceiveBuffer(int bytes);
};

// Listens on 127.0.0.1 (a free port), accepts one connection and runs the script.
class TcpPeer {
public:
    explicit TcpPeer(std::function<void(Conn&)> script, int acceptTimeoutMs = 10000,
                     int receiveBuffer = 0);
    ~TcpPeer();
    int Port() const { return FPort; }
    // Waits (bounded) for the script to finish.
    bool Join(int timeoutMs = 20000);
    bool Done() const { return FDone; }

private:
    int FListenFd = -1;
    int FPort = 0;
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

// Connects to 127.0.0.1:port and runs the script (for the socket layer's Listen).
class TcpClient {
public:
    TcpClient(int port, std::function<void(Conn&)> script);
    ~TcpClient();
    bool Join(int timeoutMs = 20000);

private:
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

// A UDP socket on 127.0.0.1 that echoes the first datagram back to its sender,
// prefixed with "echo:".
class UdpEcho {
public:
    UdpEcho();
    ~UdpEcho();
    int Port() const { return FPort; }
    std::string Received();
    bool Join(int timeoutMs = 10000);

private:
    int FFd = -1;
    int FPort = 0;
    std::mutex FMutex;
    std::string FReceived;
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

// A loopback port on which nothing listens.
int ClosedPort();
// Sends one datagram to 127.0.0.1:port.
void SendDatagram(int port, const std::string& data);

}  // namespace peers

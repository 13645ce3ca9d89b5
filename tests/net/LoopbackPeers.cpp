#include "LoopbackPeers.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peers {
namespace {

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

int ListenLoopback(int type, int& port) {
    int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (type == SOCK_STREAM) ::listen(fd, 5);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

bool JoinBounded(std::atomic<bool>& done, std::thread& t, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done && t.joinable()) t.join();
    return done;
}

}  // namespace

std::string Conn::ReadAll(size_t limit, int timeoutMs, int chunk, int delayPerChunkMs) {
    std::string out;
    std::string buf(static_cast<size_t>(chunk), '\0');
    while (out.size() < limit && WaitReadable(fd, timeoutMs)) {
        size_t want = std::min(buf.size(), limit - out.size());
        ssize_t n = ::recv(fd, buf.data(), want, 0);
        if (n <= 0) break;
        out.append(buf.data(), static_cast<size_t>(n));
        if (delayPerChunkMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayPerChunkMs));
    }
    return out;
}

std::string Conn::ReadExactly(size_t n, int timeoutMs) { return ReadAll(n, timeoutMs); }

bool Conn::WriteAll(const std::string& data) {
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

void Conn::ResetClose() {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

void Conn::Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void Conn::SetReceiveBuffer(int bytes) { ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

TcpPeer::TcpPeer(std::function<void(Conn&)> script, int acceptTimeoutMs, int receiveBuffer) {
    FListenFd = ListenLoopback(SOCK_STREAM, FPort);
    if (receiveBuffer > 0)  // inherited by the accepted connection
        ::setsockopt(FListenFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    FThread = std::thread([this, script = std::move(script), acceptTimeoutMs] {
        if (WaitReadable(FListenFd, acceptTimeoutMs)) {
            Conn c{::accept(FListenFd, nullptr, nullptr)};
            if (c.fd >= 0) {
                script(c);
                c.Close();
            }
        }
        FDone = true;
    });
}

TcpPeer::~TcpPeer() {
    // Every script ends by its own time-outs.
    if (FThread.joinable()) FThread.join();
    ::close(FListenFd);
}

bool TcpPeer::Join(int timeoutMs) { return JoinBounded(FDone, FThread, timeoutMs); }

TcpClient::TcpClient(int port, std::function<void(Conn&)> script) {
    FThread = std::thread([this, port, script = std::move(script)] {
        Conn c{::socket(AF_INET, SOCK_STREAM, 0)};
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) script(c);
        c.Close();
        FDone = true;
    });
}

TcpClient::~TcpClient() {
    // Every script ends by its own time-outs.
    if (FThread.joinable()) FThread.join();
}

bool TcpClient::Join(int timeoutMs) { return JoinBounded(FDone, FThread, timeoutMs); }

UdpEcho::UdpEcho() {
    FFd = ListenLoopback(SOCK_DGRAM, FPort);
    FThread = std::thread([this] {
        if (WaitReadable(FFd, 10000)) {
            char buf[2048];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = ::recvfrom(FFd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n >= 0) {
                std::string got(buf, static_cast<size_t>(n));
                {
                    std::lock_guard lock(FMutex);
                    FReceived = got;
                }
                std::string reply = "echo:" + got;
                ::sendto(FFd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
        FDone = true;
    });
}

UdpEcho::~UdpEcho() {
    if (FThread.joinable()) FThread.join();
    ::close(FFd);
}

std::string UdpEcho::Received() {
    std::lock_guard lock(FMutex);
    return FReceived;
}

bool UdpEcho::Join(int timeoutMs) { return JoinBounded(FDone, FThread, timeoutMs); }

int ClosedPort() {
    int port = 0;
    int fd = ListenLoopback(SOCK_STREAM, port);
    ::close(fd);
    return port;
}

void SendDatagram(int port, const std::string& data) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(fd);
}

}  // namespace peers

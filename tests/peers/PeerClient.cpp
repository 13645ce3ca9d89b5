#include "peers/PeerClient.h"

#include <cctype>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peers {

namespace {
using Clock = std::chrono::steady_clock;

Millis Left(Clock::time_point deadline) {
    return std::max(Millis(0), std::chrono::duration_cast<Millis>(deadline - Clock::now()));
}
}  // namespace

TcpClient::~TcpClient() { Close(); }

bool TcpClient::Connect(int port, Millis timeout, const std::string& address,
                        const std::string& from) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    if (!from.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1 ||
            bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) return false;
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) return false;
    }
    return true;
}

bool TcpClient::Send(std::string_view bytes) {
    auto deadline = Clock::now() + Millis(5000);
    while (!bytes.empty()) {
        ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(Left(deadline).count())) != 1) return false;
    }
    return true;
}

bool TcpClient::Fill(Millis timeout) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    char buf[8192];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
    return true;
}

bool TcpClient::ReadExactly(size_t count, std::string& out, Millis timeout) {
    auto deadline = Clock::now() + timeout;
    while (buffer_.size() < count && Fill(Left(deadline))) {
    }
    size_t take = std::min(count, buffer_.size());
    out = buffer_.substr(0, take);
    buffer_.erase(0, take);
    return take == count;
}

std::string TcpClient::ReadLine(Millis timeout) {
    auto deadline = Clock::now() + timeout;
    size_t eol;
    while ((eol = buffer_.find('\n')) == std::string::npos) {
        if (!Fill(Left(deadline))) return {};
    }
    std::string line = buffer_.substr(0, eol + 1);
    buffer_.erase(0, eol + 1);
    return line;
}

std::string TcpClient::ReadReply(Millis timeout) {
    auto deadline = Clock::now() + timeout;
    std::string first = ReadLine(Left(deadline));
    if (first.size() < 4) return first;
    std::string reply = first;
    if (first[3] == '-') {
        std::string end = first.substr(0, 3) + " ";
        for (;;) {
            std::string line = ReadLine(Left(deadline));
            if (line.empty()) return {};
            reply += line;
            if (line.compare(0, 4, end) == 0) break;
        }
    }
    return reply;
}

std::string TcpClient::Command(const std::string& line, Millis timeout) {
    if (!Send(line + "\r\n")) return {};
    return ReadReply(timeout);
}

bool TcpClient::WaitClosed(Millis timeout) {
    auto deadline = Clock::now() + timeout;
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(Left(deadline).count())) != 1) return false;
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return true;
        buffer_.append(buf, static_cast<size_t>(n));
    }
    return true;
}

void TcpClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    buffer_.clear();
}

int ReplyCode(const std::string& reply) {
    if (reply.size() < 3 || !isdigit(static_cast<unsigned char>(reply[0])) ||
        !isdigit(static_cast<unsigned char>(reply[1])) ||
        !isdigit(static_cast<unsigned char>(reply[2])))
        return 0;
    return std::stoi(reply.substr(0, 3));
}

}  // namespace peers

#include "ManualPeer.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ManualPeer::~ManualPeer() {
    Close();
    if (listenFd_ >= 0) close(listenFd_);
}

bool ManualPeer::Listen() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd_, 4) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return false;
    port_ = ntohs(a.sin_port);
    return true;
}

bool ManualPeer::TryAccept() {
    if (fd_ >= 0) return true;
    fd_ = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return fd_ >= 0;
}

bool ManualPeer::Send(std::string_view bytes) {
    if (fd_ < 0) return false;
    while (!bytes.empty()) {
        ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void ManualPeer::ReadAvailable() {
    if (fd_ < 0) return;
    char buf[4096];
    for (;;) {
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            received_.append(buf, static_cast<size_t>(n));
            continue;
        }
        // 0: orderly close; an error other than "nothing yet": a reset.
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) peerClosed_ = true;
        return;
    }
}

const std::string& ManualPeer::Received() {
    ReadAvailable();
    return received_;
}

bool ManualPeer::PeerClosed() {
    ReadAvailable();
    return peerClosed_;
}

void ManualPeer::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

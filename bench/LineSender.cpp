#include "LineSender.h"

#include <algorithm>
#include <string>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LineSender::~LineSender() { Join(); }

bool LineSender::Start(long lines, int lineSize) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 ||
        ::listen(listenFd_, 1) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sin), &len) != 0)
        return false;
    port_ = ntohs(sin.sin_port);
    thread_ = std::thread([this, lines, lineSize] {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return;
        int s = ::accept(listenFd_, nullptr, nullptr);
        if (s < 0) return;
        // A block of whole lines, sent again and again.
        std::string line(static_cast<size_t>(lineSize - 2), 'x');
        line += "\r\n";
        const long perBlock = 64;
        std::string block;
        for (long i = 0; i < perBlock; ++i) block += line;
        for (long sent = 0; sent < lines; sent += perBlock) {
            const size_t count = static_cast<size_t>(std::min(perBlock, lines - sent)) * line.size();
            for (size_t done = 0; done < count;) {
                ssize_t r = ::send(s, block.data() + done, count - done, MSG_NOSIGNAL);
                if (r <= 0) {
                    ::close(s);
                    return;
                }
                done += static_cast<size_t>(r);
            }
        }
        ::close(s);
    });
    return true;
}

void LineSender::Join() {
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

#include "peers/RecordingRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include "peers/LoopbackAddress.h"

namespace peers {

RecordingRelay::RecordingRelay(int targetPort, Millis lifetime) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (listener >= 0) close(listener);
        return;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, listener, targetPort, lifetime] { Run(listener, targetPort, lifetime); });
}

RecordingRelay::~RecordingRelay() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::string RecordingRelay::ClientBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clientBytes_;
}

void RecordingRelay::Run(int listener, int targetPort, Millis lifetime) {
    const auto end = std::chrono::steady_clock::now() + lifetime;
    auto left = [&] {
        return static_cast<int>(std::chrono::duration_cast<Millis>(end - std::chrono::steady_clock::now()).count());
    };
    int client = -1, server = -1;
    pollfd wait{listener, POLLIN, 0};
    while (!stop_ && left() > 0 && client < 0)
        if (poll(&wait, 1, 50) > 0) client = accept(listener, nullptr, nullptr);
    close(listener);
    if (client >= 0) {
        server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(targetPort);
        if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) stop_ = true;
    }
    char buf[16384];
    while (!stop_ && client >= 0 && left() > 0) {
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        bool ended = false;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ended = true;
                break;
            }
            if (i == 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                clientBytes_.append(buf, static_cast<size_t>(n));
            }
            const int to = i == 0 ? server : client;
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t w = write(to, buf + sent, static_cast<size_t>(n - sent));
                if (w <= 0) {
                    ended = true;
                    break;
                }
                sent += w;
            }
        }
        if (ended) break;
    }
    if (client >= 0) close(client);
    if (server >= 0) close(server);
}

}  // namespace peers

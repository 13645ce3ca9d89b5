#include "BlockingCopy.h"

#include <chrono>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

double BlockingLoopbackCopy(std::uint64_t totalBytes, int sendSize, int recvSize) {
    int l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(l, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    ::listen(l, 1);
    socklen_t len = sizeof sin;
    ::getsockname(l, reinterpret_cast<sockaddr*>(&sin), &len);
    int c = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(c, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    int s = ::accept(l, nullptr, nullptr);
    ::close(l);

    auto start = std::chrono::steady_clock::now();
    std::thread reader([&] {
        std::vector<char> buf(static_cast<size_t>(recvSize));
        std::uint64_t got = 0;
        while (got < totalBytes) {
            ssize_t r = ::recv(s, buf.data(), buf.size(), 0);
            if (r <= 0) break;
            got += static_cast<std::uint64_t>(r);
        }
    });
    std::vector<char> chunk(static_cast<size_t>(sendSize), 'x');
    std::uint64_t sent = 0;
    while (sent < totalBytes) {
        ssize_t r = ::send(c, chunk.data(), chunk.size(), 0);
        if (r <= 0) break;
        sent += static_cast<std::uint64_t>(r);
    }
    reader.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(c);
    ::close(s);
    return secs;
}

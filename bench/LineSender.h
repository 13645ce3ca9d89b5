// A sender thread for the line-mode benchmark: listens on 127.0.0.1, accepts
// one connection, writes the lines with large blocking sends and closes.
// Bounded: it gives up when no client connects within 10 s. Plain POSIX.
#pragma once

#include <thread>

class LineSender {
public:
    LineSender() = default;
    ~LineSender();
    LineSender(const LineSender&) = delete;
    LineSender& operator=(const LineSender&) = delete;

    // Starts listening and the thread; `lines` lines of `lineSize` bytes,
    // CR LF included.
    bool Start(long lines, int lineSize);
    int Port() const { return port_; }
    void Join();

private:
    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

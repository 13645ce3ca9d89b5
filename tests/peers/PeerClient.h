// A small blocking TCP client for tests that talk to a peer directly (read a
// greeting, log in, do a SOCKS handshake by hand). Every read is bounded.
// Not thread-safe; one owner.
#pragma once

#include <string>
#include <string_view>

#include "peers/PeerSupport.h"

namespace peers {

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to address:port (IPv4 dotted; tests use 127.0.0.x only), from
    // the local address `from` when it is not empty.
    bool Connect(int port, Millis timeout = Millis(5000), const std::string& address = "127.0.0.1",
                 const std::string& from = "");
    bool Send(std::string_view bytes);
    // Reads exactly `count` bytes; false on close, error or time-out (what
    // arrived stays in `out`).
    bool ReadExactly(size_t count, std::string& out, Millis timeout = Millis(5000));
    // One line including its "\n"; empty on close or time-out.
    std::string ReadLine(Millis timeout = Millis(5000));
    // A whole FTP reply ("123-..." up to "123 ..."), lines joined with "\r\n"
    // as received; empty on close or time-out.
    std::string ReadReply(Millis timeout = Millis(5000));
    // Sends `line` + "\r\n" and returns the reply.
    std::string Command(const std::string& line, Millis timeout = Millis(5000));
    // True if the peer closed the connection (or reset it) within `timeout`.
    bool WaitClosed(Millis timeout = Millis(5000));
    void Close();

    int Fd() const { return fd_; }

private:
    // Reads more into buffer_; false on close, error or time-out.
    bool Fill(Millis timeout);

    int fd_ = -1;
    std::string buffer_;
};

// The three digits a reply starts with, or 0.
int ReplyCode(const std::string& reply);

}  // namespace peers

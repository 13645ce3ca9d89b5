// The drain of bytes still held at a close, on plain socket pairs.
#include "platform/SendDrain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>


namespace {

// A stream pair whose sending side has a full buffer: nothing more goes
// until the other side reads.
struct FullPair {
    int sender = -1, reader = -1;
    FullPair() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        sender = fds[0];
        reader = fds[1];
        ::fcntl(sender, F_SETFL, O_NONBLOCK);
        char block[4096] = {};
        while (::send(sender, block, sizeof block, MSG_DONTWAIT) > 0) {}
    }
    ~FullPair() { ::close(reader); }
    // Everything up to the end of the stream; its last bytes.
    std::string ReadToEnd(std::size_t tailBytes) {
        std::string all;
        char buf[65536];
        for (int waited = 0; waited < 10000;) {
            ssize_t r = ::recv(reader, buf, sizeof buf, MSG_DONTWAIT);
            if (r > 0) {
                all.append(buf, static_cast<std::size_t>(r));
                continue;
            }
            if (r == 0) return all.substr(all.size() - std::min(all.size(), tailBytes));
            pollfd p{reader, POLLIN, 0};
            ::poll(&p, 1, 10);
            waited += 10;
        }
        return "(no end)";
    }
};

std::unique_ptr<char[]> Bytes(const std::string& text) {
    auto b = std::make_unique<char[]>(text.size());
    std::memcpy(b.get(), text.data(), text.size());
    return b;
}

// A drain thread that cannot start loses nothing: the bytes wait, and the
// next drain's thread sends them too.
TEST(SendDrain, AThreadThatCannotStartLeavesTheBytesForTheNextDrain) {
    FullPair first, second;
    const int before = platform::sys::PendingDrains();
    platform::sys::FailNextDrainThread();
    platform::sys::DrainAndClose(first.sender, Bytes("first tail"), 0, 10);
    EXPECT_EQ(platform::sys::PendingDrains(), before + 1);
    platform::sys::DrainAndClose(second.sender, Bytes("second tail"), 0, 11);
    EXPECT_EQ(second.ReadToEnd(11), "second tail");
    EXPECT_EQ(first.ReadToEnd(10), "first tail");
}

}  // namespace

#include "peers/NetworkNamespace.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include "peers/PeerSupport.h"

namespace peers {

namespace {

constexpr char kIp[] = "/usr/sbin/ip";
constexpr char kNft[] = "/usr/sbin/nft";

bool Ran(const CommandResult& result) { return result.ExitCode == 0; }

}  // namespace

NetworkNamespace::~NetworkNamespace() {
    Leave();
    if (made_) RunCommand({kIp, "netns", "delete", name_}, {}, Millis(10000));
}

bool NetworkNamespace::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool NetworkNamespace::Enter() {
    if (!ProgramExists(kIp)) return Fail("ip is missing (package iproute2)");
    static std::atomic<int> counter{0};
    name_ = "tarn-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0) return Fail(std::string("cannot open this thread's namespace: ") + std::strerror(errno));
    CommandResult made = RunCommand({kIp, "netns", "add", name_}, {}, Millis(10000));
    if (!Ran(made)) return Fail("ip netns add " + name_ + " failed: " + made.Output);
    made_ = true;
    CommandResult up = RunCommand({kIp, "-n", name_, "link", "set", "lo", "up"}, {}, Millis(10000));
    if (!Ran(up)) return Fail("loopback of " + name_ + " stays down: " + up.Output);
    const int fd = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open namespace " + name_ + ": " + std::strerror(errno));
    const int entered = ::setns(fd, CLONE_NEWNET);
    const int error = errno;
    ::close(fd);
    if (entered != 0) return Fail("cannot enter namespace " + name_ + ": " + std::strerror(error));
    inside_ = true;
    return true;
}

bool NetworkNamespace::AcceptOnlySynTo(const std::vector<std::pair<int, int>>& ports) {
    if (!made_) return Fail("no namespace");
    if (!ProgramExists(kNft)) return Fail("nft is missing (package nftables)");
    std::string open;
    for (const auto& [first, last] : ports) {
        if (!open.empty()) open += ", ";
        open += first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
    }
    // A SYN without ACK opens a connection; replies to ours carry ACK.
    const std::string rules = "table inet tarn {\n"
                              " chain input {\n"
                              "  type filter hook input priority 0; policy accept;\n"
                              "  tcp dport { " + open + " } accept\n"
                              "  tcp flags & (syn | ack) == syn drop\n"
                              " }\n"
                              "}\n";
    CommandResult set = RunCommand({kIp, "netns", "exec", name_, kNft, "-f", "-"}, rules, Millis(10000));
    if (!Ran(set)) return Fail("nft refused the rules: " + set.Output);
    return true;
}

void NetworkNamespace::Leave() {
    if (inside_ && ::setns(home_, CLONE_NEWNET) == 0) inside_ = false;
    if (home_ >= 0 && !inside_) {
        ::close(home_);
        home_ = -1;
    }
}

}  // namespace peers

#include "peers/ScriptedPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peers {

namespace {
using Clock = std::chrono::steady_clock;

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}
}  // namespace

ScriptStep ExpectBytes(std::string bytes) { return {ScriptStep::Expect, std::move(bytes)}; }
ScriptStep ExpectAnyBytes(size_t count) { return {ScriptStep::ExpectCount, {}, count}; }
ScriptStep ExpectThrough(std::string delimiter) {
    return {ScriptStep::ExpectUntil, std::move(delimiter)};
}
ScriptStep ExpectPeerClose() { return {ScriptStep::ExpectClose, {}}; }
ScriptStep SendBytes(std::string bytes) { return {ScriptStep::Send, std::move(bytes)}; }
ScriptStep SleepFor(Millis time) { return {ScriptStep::Sleep, {}, 0, time}; }
ScriptStep CloseConnection() { return {ScriptStep::Close, {}}; }
ScriptStep ResetConnection() { return {ScriptStep::Reset, {}}; }
ScriptStep WaitUntil(std::function<bool()> ready) {
    ScriptStep step{ScriptStep::Wait, {}};
    step.Ready = std::move(ready);
    return step;
}

ScriptedPeer::ScriptedPeer(std::vector<ScriptStep> script, int connections, Millis stepTimeout)
    : script_(std::move(script)), connections_(connections), stepTimeout_(stepTimeout) {}

ScriptedPeer::~ScriptedPeer() {
    if (thread_.joinable()) {
        (void)!write(wakeFd_[1], "x", 1);
        thread_.join();
    }
    for (int fd : {listenFd_, wakeFd_[0], wakeFd_[1]})
        if (fd >= 0) close(fd);
}

bool ScriptedPeer::Start() {
    if (pipe2(wakeFd_, O_CLOEXEC) != 0) return false;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return false;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
    return true;
}

std::string ScriptedPeer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ScriptedPeer::WaitDone(Millis timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return done_; });
}

std::string ScriptedPeer::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

int ScriptedPeer::ConnectionsAccepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::vector<std::string> ScriptedPeer::ClientAddresses() const {
    std::lock_guard lock(mutex_);
    return clients_;
}

void ScriptedPeer::Fail(const std::string& why) {
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = why;
}

void ScriptedPeer::Run() {
    for (int i = 0; i < connections_; ++i) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        // Waiting for a client is bounded too: a test that never connects
        // still ends the thread.
        if (poll(p, 2, static_cast<int>(stepTimeout_.count() * 4)) <= 0 || p[1].revents) {
            Fail("no connection");
            break;
        }
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &fromLen, SOCK_CLOEXEC);
        if (fd < 0) continue;
        {
            char text[INET_ADDRSTRLEN] = "";
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            std::lock_guard lock(mutex_);
            ++accepted_;
            clients_.emplace_back(text);
        }
        bool ok = Play(fd);
        if (fd >= 0) close(fd);
        if (!ok) break;
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
}

bool ScriptedPeer::Play(int fd) {
    std::string pending;  // received but not consumed by an Expect yet
    // Reads more into `pending`; 0 on close, -1 on time-out, error or stop.
    auto fill = [&](Clock::time_point deadline) -> int {
        auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0) return -1;
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        if (poll(p, 2, static_cast<int>(left)) <= 0 || p[1].revents) return -1;
        char buf[8192];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0) return -1;
        if (n > 0) {
            pending.append(buf, static_cast<size_t>(n));
            std::lock_guard lock(mutex_);
            received_.append(buf, static_cast<size_t>(n));
        }
        return n > 0 ? 1 : 0;
    };
    for (size_t i = 0; i < script_.size(); ++i) {
        const ScriptStep& step = script_[i];
        auto deadline = Clock::now() + stepTimeout_;
        std::string where = "step " + std::to_string(i) + ": ";
        switch (step.What) {
        case ScriptStep::Expect:
        case ScriptStep::ExpectCount: {
            size_t need = step.What == ScriptStep::Expect ? step.Bytes.size() : step.Count;
            while (pending.size() < need) {
                if (fill(deadline) <= 0) {
                    Fail(where + "expected " + std::to_string(need) + " bytes, got \"" +
                         Printable(pending) + "\"");
                    return false;
                }
            }
            if (step.What == ScriptStep::Expect && pending.compare(0, need, step.Bytes) != 0) {
                Fail(where + "expected \"" + Printable(step.Bytes) + "\", got \"" +
                     Printable(pending.substr(0, need)) + "\"");
                return false;
            }
            pending.erase(0, need);
            break;
        }
        case ScriptStep::ExpectUntil: {
            size_t at;
            while ((at = pending.find(step.Bytes)) == std::string::npos) {
                if (fill(deadline) <= 0) {
                    Fail(where + "no \"" + Printable(step.Bytes) + "\" in \"" +
                         Printable(pending) + "\"");
                    return false;
                }
            }
            pending.erase(0, at + step.Bytes.size());
            break;
        }
        case ScriptStep::ExpectClose: {
            int r;
            while ((r = fill(deadline)) > 0) {
            }
            if (r < 0) {
                Fail(where + "peer did not close");
                return false;
            }
            break;
        }
        case ScriptStep::Send: {
            size_t done = 0;
            while (done < step.Bytes.size()) {
                ssize_t n = send(fd, step.Bytes.data() + done, step.Bytes.size() - done,
                                 MSG_NOSIGNAL);
                if (n <= 0) {
                    Fail(where + "send failed");
                    return false;
                }
                done += static_cast<size_t>(n);
            }
            break;
        }
        case ScriptStep::Sleep: {
            pollfd p{wakeFd_[0], POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(step.Time.count())) > 0) return false;
            break;
        }
        case ScriptStep::Wait: {
            while (!step.Ready()) {
                pollfd p{wakeFd_[0], POLLIN, 0};
                if (poll(&p, 1, 10) > 0) return false;
                if (Clock::now() >= deadline) {
                    Fail(where + "waited in vain");
                    return false;
                }
            }
            break;
        }
        case ScriptStep::Close:
            shutdown(fd, SHUT_WR);
            // Drain briefly so the close is a FIN, not a reset over unread data.
            for (auto until = Clock::now() + Millis(200); fill(until) > 0;) {
            }
            return true;
        case ScriptStep::Reset: {
            linger l{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return true;
        }
        }
    }
    return true;
}

}  // namespace peers

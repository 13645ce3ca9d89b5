#include "peers/XvfbDisplay.h"

#include <chrono>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace peers {
namespace {

bool CanConnect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool XvfbDisplay::Start() {
    if (!ProgramExists("/usr/bin/Xvfb")) {
        error_ = "Xvfb is not installed";
        return false;
    }
    // A display number nobody holds: no lock file and no socket.
    for (int n = 90 + static_cast<int>(::getpid() % 100); n < 400; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (::access(lock.c_str(), F_OK) == 0 || ::access(socket.c_str(), F_OK) == 0) continue;
        name_ = ":" + std::to_string(n);
        if (!process_.Start({"/usr/bin/Xvfb", name_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                             "-noreset"},
                            dir_.File("xvfb.log"))) {
            error_ = process_.Error();
            return false;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (CanConnect(socket)) return true;
            if (!process_.Running()) break;  // lost a race for the number: try the next
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        process_.Stop();
    }
    error_ = "Xvfb did not start: " + ReadTextFile(dir_.File("xvfb.log"));
    return false;
}

}  // namespace peers

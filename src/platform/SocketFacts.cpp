#include "platform/SocketFacts.h"

#include <fstream>

#include <sys/utsname.h>
#include <unistd.h>

#include "base/Strings.h"

namespace platform {

namespace {

// The first line of a /proc file with its tabs as blanks, or "unknown".
std::string ProcValue(const char* path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) return "unknown";
    for (char& c : line)
        if (c == '\t') c = ' ';
    return Trim(line);
}

}  // namespace

std::vector<std::string> SocketDetailLines() {
    std::vector<std::string> lines;
    utsname un {};
    if (uname(&un) == 0)
        lines.push_back(std::string("Sockets: BSD sockets of ") + un.sysname + " " + un.release + ".");
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) lines.push_back(std::string("Host name: ") + host + ".");
    lines.push_back("Local port range: " + ProcValue("/proc/sys/net/ipv4/ip_local_port_range") + ".");
    lines.push_back("Listen backlog limit: " + ProcValue("/proc/sys/net/core/somaxconn") + ".");
    lines.push_back("TCP receive buffer (min default max): " + ProcValue("/proc/sys/net/ipv4/tcp_rmem") + ".");
    lines.push_back("TCP send buffer (min default max): " + ProcValue("/proc/sys/net/ipv4/tcp_wmem") + ".");
    return lines;
}

}  // namespace platform

// Service and protocol names: the system's tables first, then the few names
// the program and its users rely on, so that a slim system without netbase
// still connects.
#include <atomic>

#include <netdb.h>
#include <netinet/in.h>

#include "platform/SysSocket.h"

namespace platform::sys {
namespace {

std::atomic<bool> gUseSystemTables{true};

struct KnownService {
    const char* name;
    const char* proto;
    std::uint16_t port;
};

constexpr KnownService kServices[] = {
    {"ftp-data", "tcp", 20}, {"ftp", "tcp", 21},     {"ssh", "tcp", 22},     {"telnet", "tcp", 23},
    {"smtp", "tcp", 25},     {"domain", "tcp", 53},  {"domain", "udp", 53},  {"http", "tcp", 80},
    {"pop3", "tcp", 110},    {"nntp", "tcp", 119},   {"ntp", "udp", 123},    {"imap", "tcp", 143},
    {"snmp", "udp", 161},    {"https", "tcp", 443},  {"ftps-data", "tcp", 989}, {"ftps", "tcp", 990},
    {"socks", "tcp", 1080},
};

struct KnownProtocol {
    const char* name;
    int number;
};

// Numbers fixed by the IP standards themselves: the same in every system's
// table, so these names are answered without reading it (every data
// connection asks for "tcp").
constexpr KnownProtocol kProtocols[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};

bool KnownProtocolNumber(const std::string& name, int& number, std::string& officialName) {
    for (const KnownProtocol& p : kProtocols) {
        if (name != p.name) continue;
        number = p.number;
        officialName = p.name;
        return true;
    }
    return false;
}

bool SystemService(const std::string& name, const std::string& proto, std::uint16_t& port,
                   std::string& officialName, std::string& officialProto) {
    servent se{};
    servent* result = nullptr;
    char buf[1024];
    if (::getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &se, buf, sizeof buf, &result) != 0 ||
        !result)
        return false;
    port = ntohs(static_cast<std::uint16_t>(result->s_port));
    officialName = result->s_name ? result->s_name : name;
    officialProto = result->s_proto ? result->s_proto : proto;
    return true;
}

bool SystemProtocol(const std::string& name, int& number, std::string& officialName) {
    protoent pe{};
    protoent* result = nullptr;
    char buf[1024];
    if (::getprotobyname_r(name.c_str(), &pe, buf, sizeof buf, &result) != 0 || !result) return false;
    number = result->p_proto;
    officialName = result->p_name ? result->p_name : name;
    return true;
}

}  // namespace

bool LookupService(const std::string& name, const std::string& proto, std::uint16_t& port,
                   std::string& officialName, std::string& officialProto) {
    if (gUseSystemTables && SystemService(name, proto, port, officialName, officialProto)) return true;
    for (const KnownService& s : kServices) {
        if (name != s.name || (!proto.empty() && proto != s.proto)) continue;
        port = s.port;
        officialName = s.name;
        officialProto = s.proto;
        return true;
    }
    return false;
}

bool LookupProtocol(const std::string& name, int& number, std::string& officialName) {
    if (KnownProtocolNumber(name, number, officialName)) return true;
    return gUseSystemTables && SystemProtocol(name, number, officialName);
}

void UseSystemNameTables(bool use) { gUseSystemTables = use; }

}  // namespace platform::sys

#include "transfer/ServerLines.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "base/Strings.h"

std::string ServerKey(const std::string& host, int port) {
    // An IPv6 server is "[v6]:port", whether the host comes with its brackets or not.
    std::string bare = host.size() > 1 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    if (bare.find(':') != std::string::npos) bare = "[" + bare + "]";
    return LowerCase(bare) + ":" + std::to_string(port);
}

std::string ServerKey(const TFtpUrl& address) {
    int port = address.Security == ftpSecurityImplicit ? 990 : 21;
    if (!address.Port.empty()) port = std::stoi(address.Port);
    return ServerKey(address.Host, port);
}

std::string ServerOfLine(const std::string& line) {
    const std::string text = Trim(line);
    const std::string server = text.substr(0, text.find(' '));
    const std::size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0) return {};
    const std::string port = server.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return {};
    const int number = std::stoi(port);
    if (number < 1 || number > 65535) return {};
    return ServerKey(server.substr(0, colon), number);
}

std::optional<std::vector<std::string>> ReadServerLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rbe"), std::fclose);
    if (!file) {
        if (errno == ENOENT) return lines;
        return std::nullopt;
    }
    std::string content;
    char block[4096];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file.get())) > 0) content.append(block, n);
    if (std::ferror(file.get()) != 0) return std::nullopt;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::optional<std::vector<std::string>> ServerLinesToRewrite(const std::string& path, std::string& why) {
    if (path.empty()) {
        why = "there is no folder for the program's files";
        return std::nullopt;
    }
    auto lines = ReadServerLines(path);
    if (!lines) why = std::strerror(errno);
    return lines;
}

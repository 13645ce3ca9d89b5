#include "transfer/TrustedCertificates.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "base/Strings.h"
#include "net/SslContext.h"
#include "platform/FileReplace.h"

namespace {

// sha256 as 64 upper-case hex digits, the ':' separators dropped when
// allowed; empty when it is anything else.
std::string HexFingerprint(const std::string& sha256, bool separators) {
    if (!separators && sha256.find(':') != std::string::npos) return {};
    return SslSha256Hex(sha256);
}

struct TEntry {
    std::string Server;
    std::string Hex;
};

// A line of the file read as an entry; nothing for a line of another form.
std::optional<TEntry> EntryOf(const std::string& line) {
    const std::string text = Trim(line);
    const std::size_t space = text.find(' ');
    if (space == std::string::npos) return std::nullopt;
    const std::string server = text.substr(0, space);
    const std::size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const std::string port = server.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int number = std::stoi(port);
    if (number < 1 || number > 65535) return std::nullopt;
    std::string hex = HexFingerprint(Trim(text.substr(space + 1)), false);
    if (hex.empty()) return std::nullopt;
    return TEntry{TTrustedCertificates::ServerKey(server.substr(0, colon), number), std::move(hex)};
}

// The lines of the file; none when it does not exist, nothing (errno set)
// when it cannot be read.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
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

std::string HexPairs(const std::string& hex) {
    std::string pairs;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0) pairs += ':';
        pairs += hex.substr(i, 2);
    }
    return pairs;
}

}  // namespace

std::string TTrustedCertificates::ServerKey(const std::string& host, int port) {
    // An IPv6 server is "[v6]:port", whether the host comes with its brackets or not.
    std::string bare = host.size() > 1 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    if (bare.find(':') != std::string::npos) bare = "[" + bare + "]";
    return LowerCase(bare) + ":" + std::to_string(port);
}

std::optional<std::string> TTrustedCertificates::Fingerprint(const std::string& server, std::string& why) const {
    if (Path.empty()) return std::string();
    const auto lines = ReadLines(Path);
    if (!lines) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    for (const std::string& line : *lines)
        if (const auto entry = EntryOf(line); entry && entry->Server == server) return HexPairs(entry->Hex);
    return std::string();
}

bool TTrustedCertificates::Store(const std::string& server, const std::string& sha256, std::string& why) const {
    const std::string hex = HexFingerprint(sha256, true);
    if (hex.empty()) {
        why = "\"" + sha256 + "\" is no SHA-256 fingerprint";
        return false;
    }
    if (Path.empty()) {
        why = "there is no folder for the program's files";
        return false;
    }
    const auto lines = ReadLines(Path);
    if (!lines) {
        why = std::strerror(errno);
        return false;
    }
    const std::string stored = server + " " + hex;
    std::string content;
    bool replaced = false;
    for (const std::string& line : *lines) {
        const auto entry = EntryOf(line);
        if (!entry || entry->Server != server) {
            content += line + "\n";
        } else if (!replaced) {
            content += stored + "\n";
            replaced = true;
        }
    }
    if (!replaced) content += stored + "\n";
    if (!platform::ReplaceFileContent(Path, content, 0600, platform::TExistingMode::Replace)) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

#include "transfer/TrustedCertificates.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "base/Strings.h"
#include "net/SslContext.h"
#include "platform/FileReplace.h"
#include "transfer/ServerLines.h"

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
    std::string server = ServerOfLine(text);
    if (server.empty()) return std::nullopt;
    std::string hex = HexFingerprint(Trim(text.substr(space + 1)), false);
    if (hex.empty()) return std::nullopt;
    return TEntry{std::move(server), std::move(hex)};
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

std::optional<std::string> TTrustedCertificates::Fingerprint(const std::string& server, std::string& why) const {
    if (Path.empty()) return std::string();
    const auto lines = ReadServerLines(Path);
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
    const auto lines = ServerLinesToRewrite(Path, why);
    if (!lines) return false;
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

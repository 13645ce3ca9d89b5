#include "transfer/PassiveServers.h"

#include <cerrno>
#include <cstring>

#include "platform/FileReplace.h"
#include "transfer/ServerLines.h"

bool TPassiveServers::Contains(const std::string& server) const {
    if (Path.empty()) return false;
    const auto lines = ReadServerLines(Path);
    if (!lines) return false;
    for (const std::string& line : *lines)
        if (ServerOfLine(line) == server) return true;
    return false;
}

bool TPassiveServers::Remember(const std::string& server, std::string& why) const {
    return Write(server, true, why);
}

bool TPassiveServers::Forget(const std::string& server, std::string& why) const {
    return Write(server, false, why);
}

bool TPassiveServers::Write(const std::string& server, bool keep, std::string& why) const {
    const auto lines = ServerLinesToRewrite(Path, why);
    if (!lines) return false;
    std::string content;
    for (const std::string& line : *lines)
        if (ServerOfLine(line) != server) content += line + "\n";
    if (keep) content += server + "\n";
    if (!platform::ReplaceFileContent(Path, content, 0600, platform::TExistingMode::Replace)) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

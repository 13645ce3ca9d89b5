// TPassiveServers: the servers whose sessions went passive because active
// mode could not work there, and then worked; kept in "TarnFtpPassive.txt"
// in the per-user folder, so that the next visit starts passive at once.
//
// Format: one "host:port" line per server (ServerKey). Lines of any other
// form are ignored on reading and kept as they stand on writing.
//
// Contract:
//  - Every call reads the file anew; nothing is cached.
//  - Remember and Forget replace the file whole (never half-written), mode
//    0600: it tells where the user goes.
//  - Without a Path (no per-user folder) nothing is stored or found.
//  - Single-threaded use.
#pragma once

#include <string>

class TPassiveServers {
public:
    std::string Path;

    bool Contains(const std::string& server) const;
    // False, with the reason in why, when the file cannot be read or written.
    bool Remember(const std::string& server, std::string& why) const;
    bool Forget(const std::string& server, std::string& why) const;

private:
    bool Write(const std::string& server, bool keep, std::string& why) const;
};

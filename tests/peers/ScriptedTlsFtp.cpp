#include "peers/ScriptedTlsFtp.h"

#include <sstream>

#include "peers/FtpServers.h"

namespace peers {

bool ScriptedTlsFtp::Start() {
    const std::string python = "/usr/bin/python3";
    if (!ProgramExists(python)) {
        error_ = "program not found: " + python + " (package python3, see scripts/setup)";
        return false;
    }
    port_ = FreePort();
    std::vector<std::string> argv = {python,   "-u", PeerScriptsDir() + "/" + script_, "--port",
                                     std::to_string(port_), "--commands", dir_.File("commands.log")};
    argv.insert(argv.end(), options_.begin(), options_.end());
    if (!process_.Start(argv, dir_.File("peer.out"))) {
        error_ = process_.Error();
        return false;
    }
    if (!WaitForPort(port_, Millis(10000))) {
        error_ = script_ + " did not listen: " + process_.Log();
        return false;
    }
    return true;
}

std::vector<std::string> ScriptedTlsFtp::Commands() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadTextFile(dir_.File("commands.log")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace peers

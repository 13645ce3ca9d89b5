// A real X server for the end-to-end tests: Xvfb on a display number of its
// own (local socket only, no TCP), stopped by PID.
#pragma once

#include <string>

#include "peers/PeerSupport.h"

namespace peers {

class XvfbDisplay {
public:
    // Starts Xvfb and waits until its socket accepts connections.
    bool Start();
    void Stop() { process_.Stop(); }
    // ":N", for DISPLAY.
    const std::string& Name() const { return name_; }
    const std::string& Error() const { return error_; }

private:
    TempDir dir_;
    PeerProcess process_;
    std::string name_, error_;
};

}  // namespace peers

// Helpers shared by the socket tests: a bounded message pump and an event log.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/WSocket.h"

namespace nettest {

// The forward resolver every socket test runs with, so that no test leaves the
// machine: "peer.test" is 127.0.0.2 and 127.0.0.3, "localhost" is 127.0.0.1,
// anything else is not found (11001). Installed for the whole test binary.
void InstallTestResolver();

// Runs the thread's message loop until done() holds or the time-out passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
// Runs the message loop for a while (to show that nothing more arrives).
void PumpFor(int ms);

// Records every event of a socket as text, in order.
struct EventLog {
    std::vector<std::string> lines;
    void Attach(TCustomWSocket& s, bool withData = true);
    bool Has(const std::string& line) const;
    int Count(const std::string& line) const;
    std::string Joined() const;
};

std::string StateName(TSocketState s);

// The text of an ESocketException raised by f, or "" when none.
std::string ErrorOf(const std::function<void()>& f);

// A socket that exposes the internals the tests look at.
class ProbeSocket : public TWSocket {
public:
    using TWSocket::TWSocket;
    size_t BlockCount() const { return SendQueue.size(); }
    std::vector<int> BlockFill() const;
    void Queue(const void* d, int n) { QueueSendData(d, n); }
    using TCustomWSocket::FSin;
};

}  // namespace nettest

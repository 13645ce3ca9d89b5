// A TCP peer on 127.0.0.1 that plays a fixed script ("expect these bytes",
// "send these", "sleep", "close", "reset") to every connection it accepts and
// records what it received. For misbehaviour no real server or proxy shows
// (broken SOCKS replies, a peer that stalls, resets or answers garbage).
//
// The script runs on a thread of its own; Received(), Done() and Failure()
// may be called from any thread. Every step is bounded by its time-out; the
// destructor stops the thread and closes all sockets.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "peers/PeerSupport.h"

namespace peers {

struct ScriptStep {
    enum Kind { Expect, ExpectCount, ExpectUntil, ExpectClose, Send, Sleep, Close, Reset, Wait };
    Kind What;
    std::string Bytes;  // Expect / ExpectUntil (the delimiter) / Send
    size_t Count = 0;   // ExpectCount
    Millis Time{0};     // Sleep
    std::function<bool()> Ready = nullptr;  // Wait
};

// Step builders, e.g. {ExpectBytes("\x05\x01\x00"), SendBytes("\x05\x00"), ResetConnection()}.
ScriptStep ExpectBytes(std::string bytes);      // exactly these bytes next
ScriptStep ExpectAnyBytes(size_t count);        // any `count` bytes
ScriptStep ExpectThrough(std::string delimiter);  // anything up to and including delimiter
ScriptStep ExpectPeerClose();                   // the other side closes
ScriptStep SendBytes(std::string bytes);
ScriptStep SleepFor(Millis time);
ScriptStep CloseConnection();                   // orderly close (FIN)
ScriptStep ResetConnection();                   // abortive close (RST, SO_LINGER {1, 0})
// Waits (bounded by the step time-out) until `ready` returns true: another
// peer got this far. `ready` is called on the script's thread.
ScriptStep WaitUntil(std::function<bool()> ready);

class ScriptedPeer {
public:
    // Plays `script` to up to `connections` connections, one after another.
    explicit ScriptedPeer(std::vector<ScriptStep> script, int connections = 1,
                          Millis stepTimeout = Millis(5000));
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Listens on a free port and starts the thread.
    bool Start();
    int Port() const { return port_; }

    // Bytes received on all connections so far, in order.
    std::string Received() const;
    // Waits until all connections played their script (or failed); bounded.
    bool WaitDone(Millis timeout = Millis(10000)) const;
    // Empty while all went as scripted; otherwise what differed first.
    std::string Failure() const;
    int ConnectionsAccepted() const;
    // The address each accepted connection came from ("127.0.0.1", ...).
    std::vector<std::string> ClientAddresses() const;

private:
    void Run();
    bool Play(int fd);
    void Fail(const std::string& why);

    std::vector<ScriptStep> script_;
    int connections_;
    Millis stepTimeout_;
    int listenFd_ = -1;
    int wakeFd_[2] = {-1, -1};  // written to on destruction to stop the thread
    int port_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string received_, failure_;
    std::vector<std::string> clients_;
    int accepted_ = 0;
    bool done_ = false;
};

}  // namespace peers

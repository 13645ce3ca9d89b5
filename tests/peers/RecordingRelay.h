// A TCP relay on 127.0.0.1 that forwards one connection to a port on
// 127.0.0.1 and records the bytes the client sent, as they crossed the wire:
// the proof of what went in clear. Runs on a thread of its own, stops by
// itself after `lifetime`, or at destruction.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "peers/PeerSupport.h"

namespace peers {

class RecordingRelay {
public:
    RecordingRelay(int targetPort, Millis lifetime = Millis(30000));
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    int Port() const { return port_; }
    // What the client sent so far.
    std::string ClientBytes() const;

private:
    void Run(int listener, int targetPort, Millis lifetime);

    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::string clientBytes_;
    std::thread thread_;
};

}  // namespace peers

#include "net/SyncWSocket.h"

#include <algorithm>

int TCustomSyncWSocket::WaitForFlag(const bool& Flag) {
    const std::uint64_t timeout = static_cast<std::uint64_t>(std::max(SyncTimeout, 0));
    const std::uint64_t deadline = platform::GetTickCount64() + timeout;
    bool gaveUp = false;
    // Sleeps until the next event instead of spinning; wakes at once when one is queued.
    const bool alive = PumpUntil([&] {
        if (Flag) return true;
        gaveUp = (SyncTimeout > 0 && platform::GetTickCount64() > deadline) || platform::Terminated() || FQuitSeen;
        return gaveUp;
    });
    return alive && !gaveUp ? 0 : WSOCKET_WAIT_TIMEOUT;
}

int TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
    TLifeToken alive = LifeToken();
    Flag = false;
    if (Proc) Proc();
    if (!alive) return WSOCKET_WAIT_TIMEOUT;
    return WaitForFlag(Flag);
}

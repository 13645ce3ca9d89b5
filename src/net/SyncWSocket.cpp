#include "net/SyncWSocket.h"

#include <algorithm>

int TCustomSyncWSocket::WaitForFlag(const bool& Flag) {
    TLifeToken alive = LifeToken();
    const std::uint64_t timeout = static_cast<std::uint64_t>(std::max(SyncTimeout, 0));
    const std::uint64_t deadline = platform::GetTickCount64() + timeout;
    while (!Flag) {
        if (SyncTimeout > 0 && platform::GetTickCount64() > deadline) return WSOCKET_WAIT_TIMEOUT;
        if (platform::Terminated() || FQuitSeen) return WSOCKET_WAIT_TIMEOUT;
        PumpMessages();
        if (!alive) return WSOCKET_WAIT_TIMEOUT;
        if (Flag) break;
        // Sleeps until the next event instead of spinning; wakes at once when one is queued.
        platform::AppWaitForEvents(WaitSliceMs);
        if (!alive) return WSOCKET_WAIT_TIMEOUT;
    }
    return 0;
}

int TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
    TLifeToken alive = LifeToken();
    Flag = false;
    if (Proc) Proc();
    if (!alive) return WSOCKET_WAIT_TIMEOUT;
    return WaitForFlag(Flag);
}

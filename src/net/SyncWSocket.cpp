#include "net/SyncWSocket.h"

#include <algorithm>

namespace {
// Longest sleep between two looks at the flag when no event arrives.
constexpr int kWaitSliceMs = 50;
}  // namespace

int TCustomSyncWSocket::WaitForFlag(const bool& Flag) {
    TLifeToken alive = LifeToken();
    const std::uint64_t deadline = platform::GetTickCount64() + static_cast<std::uint64_t>(std::max(SyncTimeout, 0));
    while (!Flag) {
        std::uint64_t now = platform::GetTickCount64();
        if (SyncTimeout > 0 && now > deadline) return WSOCKET_WAIT_TIMEOUT;
        if (platform::Terminated() || FQuitSeen) return WSOCKET_WAIT_TIMEOUT;
        PumpMessages();
        if (!alive) return WSOCKET_WAIT_TIMEOUT;
        if (Flag) break;
        int slice = kWaitSliceMs;
        if (SyncTimeout > 0)
            slice = static_cast<int>(std::min<std::uint64_t>(kWaitSliceMs, deadline - std::min(deadline, now) + 1));
        platform::AppWaitForEvents(slice);
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

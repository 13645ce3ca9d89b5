// Bounded pumping for the platform tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

#include "platform/Messages.h"

// Pumps the calling thread's loop until pred holds or timeoutMs pass.
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000) {
    std::uint64_t deadline = platform::GetTickCount64() + static_cast<std::uint64_t>(timeoutMs);
    while (!pred()) {
        std::uint64_t now = platform::GetTickCount64();
        if (now >= deadline) return false;
        // Short waits: some conditions depend on time passing, not on a message.
        platform::WaitMessage(static_cast<int>(std::min<std::uint64_t>(deadline - now, 20)));
        platform::ProcessMessages();
    }
    return true;
}

// Pumps for a fixed time, for checking that nothing (more) arrives.
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Waiting the way a foreign event loop (the toolkit's) drives the platform
// loop: sleep until the loop's descriptor is readable, then pump once.
#pragma once

#include <functional>

#include <poll.h>

#include "platform/Messages.h"

// Pumps until pred holds. False when the descriptor stays quiet for quietMs
// with pred still false: the loop would sleep there for ever.
inline bool PumpLikeForeignLoop(const std::function<bool()>& pred, int quietMs = 2000) {
    while (!pred()) {
        pollfd p{platform::LoopDescriptor(), POLLIN, 0};
        if (::poll(&p, 1, quietMs) <= 0) return false;
        platform::ProcessMessages();
    }
    return true;
}

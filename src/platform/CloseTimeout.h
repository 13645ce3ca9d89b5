// How long unsent bytes may wait at a close: a peer that takes none of them
// for this long is given up. One limit for every layer that closes with bytes
// still to go (the socket's close-later, the stand-in's drain).
#pragma once

namespace platform {

constexpr unsigned kCloseStallSeconds = 60;

}  // namespace platform

// The last bytes of closed streams, handed to the kernel by a thread of its own.
//
// A graceful close lets the kernel send what it still holds, whatever the
// program does next. Bytes the socket stand-in still held in user space at
// the close must leave the same way: not from the closing thread's loop,
// which may never run again, nor be lost when the process exits.
#pragma once

#include <memory>

#include "platform/CloseTimeout.h"

namespace platform::sys {

// Takes the descriptor: sends bytes[pos, len), then closes it. Gives up (and
// closes) on an error, or when the peer takes nothing for kCloseStallSeconds.
void DrainAndClose(int fd, std::unique_ptr<char[]> bytes, int pos, int len);

// Test seams: the next drain thread fails to start; drains waiting for a thread.
void FailNextDrainThread();
int PendingDrains();

}  // namespace platform::sys

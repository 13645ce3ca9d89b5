// Ctrl-C for tarnftp: the first SIGINT cancels the running request cleanly
// (from the message loop, never from the signal handler); a second one ends
// the program at once, as the default action does.
//
// Installs the thread's application hooks (platform::SetAppHooks), so the
// synchronous calls of the engine, which pump through them, notice the
// interrupt within one wait slice. Main thread only.
#pragma once

#include <functional>

// Cancel runs once, on the message loop, after the first SIGINT.
void InstallInterruptHandler(std::function<void()> Cancel);
bool Interrupted();

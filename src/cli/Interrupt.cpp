// SIGINT as a flag, acted on by the message loop's hooks.
#include "cli/Interrupt.h"

#include <csignal>

#include "platform/Messages.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
std::function<void()> gCancel;
bool gCancelled = false;

extern "C" void OnSigint(int) { gInterrupted = 1; }

void CancelOnce() {
    if (!gInterrupted || gCancelled) return;
    gCancelled = true;
    if (gCancel) gCancel();
}

}  // namespace

void InstallInterruptHandler(std::function<void()> Cancel) {
    gCancel = std::move(Cancel);
    struct sigaction action {};
    action.sa_handler = OnSigint;
    sigemptyset(&action.sa_mask);
    // The second Ctrl-C gets the default action back.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    platform::SetAppHooks({
        [] {
            CancelOnce();
            platform::ProcessMessages();
        },
        [](int TimeoutMs) {
            if (gInterrupted && !gCancelled) return;
            platform::WaitMessage(TimeoutMs);
        },
    });
}

bool Interrupted() { return gInterrupted != 0; }

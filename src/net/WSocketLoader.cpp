#include "net/WSocketLoader.h"

#include <cstdlib>
#include <mutex>

#include "base/Strings.h"
#include "net/WSocketTypes.h"
#include "platform/WinSock.h"

namespace {
std::mutex gLoadMutex;
bool gLoaded = false;
bool gExitHookSet = false;
int gInstanceCount = 0;
winsock::WSAData gStartupData{};

// Registered at the first start, so that it runs before anything the
// platform built while starting is torn down at exit.
void UnloadAtExit() { WSocketUnload(); }

void UnloadLocked() {
    if (!gLoaded) return;
    winsock::WSACleanup();
    gLoaded = false;
}
}  // namespace

void WSocketEntryPoint() {
    std::lock_guard lock(gLoadMutex);
    if (gLoaded) return;
    int rc = winsock::WSAStartup(0x0101, &gStartupData);
    if (rc != 0) throw ESocketException(Format("%s: WSAStartup error #%d", "wsock32.dll", rc));
    gLoaded = true;
    if (!gExitHookSet) {
        gExitHookSet = true;
        std::atexit(UnloadAtExit);
    }
}

void WSocketUnload() {
    std::lock_guard lock(gLoadMutex);
    UnloadLocked();
}

bool WSocketLoaded() {
    std::lock_guard lock(gLoadMutex);
    return gLoaded;
}

int SocketInstanceCount() {
    std::lock_guard lock(gLoadMutex);
    return gInstanceCount;
}

void WSocketAddInstance() {
    std::lock_guard lock(gLoadMutex);
    ++gInstanceCount;
}

void WSocketReleaseInstance() {
    // Under one lock: an instance created meanwhile must find the library
    // started, not unloaded behind its back.
    std::lock_guard lock(gLoadMutex);
    if (--gInstanceCount > 0) return;
    gInstanceCount = 0;
    UnloadLocked();
}

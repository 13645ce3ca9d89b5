// The socket stand-in's handle table: handles, the library's start-up count,
// the calling thread's last error and the lookup every call begins with.
#include <cerrno>

#include <unistd.h>

#include "platform/ErrorMap.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

using namespace winsock;  // error numbers only

thread_local int tLastError = 0;

}  // namespace

// Errors after which the connection is gone for good.
bool EndsConnection(int error) {
    switch (error) {
    case WSAECONNRESET: case WSAECONNABORTED: case WSAENETRESET: case WSAETIMEDOUT:
    case WSAEHOSTUNREACH: case WSAENETUNREACH: case WSAEHOSTDOWN:
        return true;
    default:
        return false;
    }
}

std::atomic<int> gStartups{0};

int Fail(int error) {
    tLastError = error;
    return -1;
}

int FailErrno() { return Fail(WsaFromErrno(errno)); }

Table& GetTable() {
    static Table* t = new Table;  // lives for the whole process
    return *t;
}

void Entry::NoteError(int error) {
    if (deadError == 0 && EndsConnection(error)) deadError = error;
}

std::shared_ptr<Entry> Lookup(Handle h) {
    if (gStartups.load() <= 0) {
        Fail(WSANOTINITIALISED);
        return nullptr;
    }
    // A transfer asks for the same handle once per block: remember the last
    // one found rather than take the table's lock each time.
    thread_local struct {
        Handle handle = 0;
        std::uint64_t generation = 0;
        std::shared_ptr<Entry> entry;
    } tLast;
    Table& table = GetTable();
    const std::uint64_t generation = table.generation.load(std::memory_order_acquire);
    if (tLast.handle == h && tLast.generation == generation) return tLast.entry;  // handles start at 1
    auto e = table.Find(h);
    if (!e) {
        Fail(WSAENOTSOCK);
        return e;
    }
    tLast = {h, generation, e};
    return e;
}


std::uint64_t NowMs() { return platform::GetTickCount64(); }

void SetLastError(int error) { tLastError = error; }
int LastError() { return tLastError; }

int Startup() { return ++gStartups; }
int Cleanup() {
    int v = gStartups.load();
    while (v > 0 && !gStartups.compare_exchange_weak(v, v - 1)) {}
    if (v <= 0) return Fail(WSANOTINITIALISED);
    // The last clean-up closes whatever is still open, as the original did.
    if (v == 1) GetTable().CloseAll();
    return 0;
}
bool Started() { return gStartups.load() > 0; }

Handle Create(bool v6, int type, int protocol) {
    if (!Started()) return Fail(WSANOTINITIALISED), kInvalid;
    if (type != SOCK_STREAM && type != SOCK_DGRAM) return Fail(WSAESOCKTNOSUPPORT), kInvalid;
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) return FailErrno(), kInvalid;
    return GetTable().Add(fd, type);
}

int OpenCount() { return GetTable().Count(); }

}  // namespace platform::sys

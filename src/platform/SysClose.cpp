// The socket stand-in's end of a connection: shutdown and close, with the
// held bytes and the program's linger setting.
#include <cerrno>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/ErrorMap.h"
#include "platform/SendDrain.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {

using namespace winsock;  // error numbers only

namespace {

// Gives the descriptor back gracefully: the kernel sends what it holds after
// the close, whatever the program does next, so the bytes still held here go
// the same way, through the drain. The entry forgets the number, which may
// be reused at once (a held-send flush queued for the loop finds none).
void ReleaseDescriptor(Entry& e) {
    e.ready.Closing();
    if (e.Held() > 0) DrainAndClose(e.fd, std::move(e.behind), e.behindPos, e.behindLen);
    else ::close(e.fd);
    e.fd = -1;
    e.behindPos = e.behindLen = 0;
}

}  // namespace

void Table::CloseAll() {
    std::unordered_map<Handle, std::shared_ptr<Entry>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing.swap(entries);
        ++generation;
    }
    for (auto& [h, e] : closing) ReleaseDescriptor(*e);
}

int Shutdown(Handle h, int how) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (how < 0 || how > 2) return Fail(WSAEINVAL);
    if (how != 0 && e->Held() > 0 && !FlushHeld(*e)) {
        // The end of the stream follows the held bytes, sent as the kernel takes them.
        if (how == 2 && ::shutdown(e->fd, SHUT_RD) < 0) return FailErrno();
        e->shutPending = true;
        e->sendShut = true;
        return 0;
    }
    if (::shutdown(e->fd, how) < 0) return FailErrno();
    if (how != 0) e->sendShut = true;
    return 0;
}

int Close(Handle h) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (e->Held() > 0) FlushHeld(*e);
    if (e->lingerOn && e->type == SOCK_STREAM) {
        bool reset = e->lingerSeconds == 0;
        if (!reset) {
            int unsent = 0;
            ::ioctl(e->fd, SIOCOUTQ, &unsent);
            unsent += e->Held();
            if (unsent > 0 && e->ready.Connected() && !e->deadError) {
                std::uint64_t now = NowMs();
                if (e->closeDeadline == 0) e->closeDeadline = now + 1000ull * e->lingerSeconds;
                // Waiting here would stall the thread: let the caller pump and retry.
                if (now < e->closeDeadline) return Fail(WSAEWOULDBLOCK);
                reset = true;
            }
        }
        if (reset) {
            ::linger l{1, 0};
            ::setsockopt(e->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            e->behindPos = e->behindLen = 0;
        }
    }
    ReleaseDescriptor(*e);
    GetTable().Remove(e->handle);
    return 0;
}

}  // namespace platform::sys

// The socket stand-in's readiness: each handle is the port of its rules
// (SocketReadiness), which alone decide what a selecting window is told and
// what the kernel watches. Here the rules meet the loop and the descriptor.
#include <cerrno>

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "platform/ErrorMap.h"
#include "platform/SysEntry.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {

using namespace winsock;  // error numbers only

static_assert(kInterestIn == EPOLLIN && kInterestOut == EPOLLOUT && kInterestErr == EPOLLERR &&
              kInterestHup == EPOLLHUP && kInterestRdHup == EPOLLRDHUP);

void Entry::PostEvent(long event, int error) {
    if (hwnd == 0) return;
    ++detail::tSocketNotifications;
    PostMessage(hwnd, msg, handle, MAKELPARAM(static_cast<unsigned>(event), static_cast<unsigned>(error)));
}

void Entry::Watch(std::uint32_t now, std::uint32_t was) {
    if (fd < 0) return;
    detail::WatchDescriptor(fd, handle, now, &GetTable(), was != 0);
}

bool Entry::QueueOffer() {
    if (hwnd == 0) return false;
    std::weak_ptr<Entry> weak = weak_from_this();
    return detail::PostTask(hwnd, [weak] {
        if (auto held = weak.lock()) held->ready.OfferDue();
    });
}

int Entry::PendingError() {
    int soerr = 0;
    socklen_t len = sizeof soerr;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
    return soerr ? WsaFromErrno(soerr) : 0;
}

int Entry::KernelReadable() {
    int avail = 0;
    ++detail::tSystemCalls;
    ::ioctl(fd, FIONREAD, &avail);
    return avail;
}

PeekResult Entry::PeekStream() {
    char c;
    ++detail::tSystemCalls;
    ssize_t r = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (r > 0) return {PeekResult::Data};
    if (r == 0) return {PeekResult::Closed};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {PeekResult::Nothing};
    return {PeekResult::Failed, WsaFromErrno(errno)};
}

bool Entry::HeldRoom() const { return Held() < kSendBehind; }

void Table::OnIoReady(std::uint64_t key, std::uint32_t events) {
    auto e = Find(static_cast<Handle>(key));
    if (!e) return;
    if (e->Held() > 0 && (events & EPOLLOUT)) FlushHeld(*e);
    e->ready.KernelReady(events);
}

int AsyncSelect(Handle h, HWND hwnd, UINT msg, long events) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (events != 0 && !detail::IsWindowOfThisThread(hwnd)) return Fail(WSAEINVAL);
    if (!e->nonBlocking && SetNonBlocking(h, true) < 0) return -1;
    // Held bytes go before anything the new selection reports; what the
    // kernel cannot take yet leaves at its write readiness.
    if (e->Held() > 0) FlushHeld(*e);
    e->hwnd = hwnd;
    e->msg = msg;
    e->ready.Select(events);
    return 0;
}

}  // namespace platform::sys

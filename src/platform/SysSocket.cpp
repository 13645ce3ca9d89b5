#include "platform/SysSocket.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/ErrorMap.h"
#include "platform/MessageLoop.h"
#include "platform/SendDrain.h"
#include "platform/WinSockCodes.h"

namespace platform::sys {
namespace {

using namespace winsock;  // error numbers and event bits only

thread_local int tLastError = 0;
std::atomic<int> gStartups{0};

int Fail(int error) {
    tLastError = error;
    return -1;
}

int FailErrno() { return Fail(WsaFromErrno(errno)); }

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

constexpr std::uint32_t kReadInterest = EPOLLIN | EPOLLRDHUP;

// One open handle. Fields other than the table links are touched only on the
// thread that owns the handle (the one that selected it, or created it).
struct Entry {
    int fd = -1;
    Handle handle = 0;
    int type = SOCK_STREAM;
    bool nonBlocking = false;

    // Asynchronous selection.
    HWND hwnd = 0;
    UINT msg = 0;
    long mask = 0;
    std::uint32_t kernelEvents = 0;  // what epoll watches now (0 = not registered)
    bool readArmed = false;
    bool writeArmed = false;
    bool acceptArmed = false;
    bool connectPending = false;
    bool closePosted = false;
    bool connected = false;
    bool listening = false;
    // The error that ended the connection (reset, time-out, unreachable):
    // Linux reports it once, the program may ask again and again.
    int deadError = 0;
    bool sendShut = false;  // the program shut down its sending side

    // Linger as the program set it; applied only at close, never to the
    // kernel, so that closing cannot block.
    bool lingerOn = false;
    std::uint16_t lingerSeconds = 0;
    std::uint64_t closeDeadline = 0;

    // Bytes read ahead from the kernel: small reads of a stream are served
    // from here, so that reading a fast connection 4 KiB at a time costs one
    // system call per kReadAhead (or whatever the kernel has) rather than
    // three per 4 KiB. They count as unread data for every rule above.
    std::unique_ptr<char[]> ahead;
    int aheadPos = 0;
    int aheadLen = 0;
    int Buffered() const { return aheadLen - aheadPos; }
    // The kernel cannot wake the loop for bytes held here: a task on the
    // window's queue stands in for it (see OfferHeldBytes).
    bool heldOfferQueued = false;

    // Bytes sent while the loop dispatched, held back so that a handler
    // sending small blocks one notification at a time costs one system call
    // per 64 KiB (see Hold). They leave when the block is full, when the
    // loop's queue has run dry, and before anything that must follow them.
    std::unique_ptr<char[]> behind;
    int behindPos = 0;
    int behindLen = 0;
    int Held() const { return behindLen - behindPos; }
    bool idleQueued = false;   // in tHeldSends
    bool shutPending = false;  // the program's shutdown waits for the held bytes
};

// A fast download takes whatever the kernel has gathered, up to 1 MiB, in one
// read: 1 GiB from vsftpd in 0.66 s, against 0.84 s at 256 KiB and 1.06 s at
// 64 KiB. The buffer is not cleared, so a connection that reads little
// touches little of it.
constexpr int kReadAhead = 1024 * 1024;
constexpr int kSendBehind = 64 * 1024;

class Table : public detail::IoHandler {
public:
    std::shared_ptr<Entry> Find(Handle h) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = entries.find(h);
        return it == entries.end() ? nullptr : it->second;
    }

    Handle Add(int fd, int type) {
        auto e = std::make_shared<Entry>();
        e->fd = fd;
        e->type = type;
        e->handle = next.fetch_add(1);
        std::lock_guard<std::mutex> lock(mutex);
        entries.emplace(e->handle, e);
        return e->handle;
    }

    void Remove(Handle h) {
        std::lock_guard<std::mutex> lock(mutex);
        entries.erase(h);
        ++generation;
    }

    void CloseAll() {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& [h, e] : entries) ::close(e->fd);
        entries.clear();
        ++generation;
    }

    int Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(entries.size());
    }

    void OnIoReady(std::uint64_t key, std::uint32_t events) override;
    void OnIdle() override;

    std::atomic<Handle> next{1};
    // Bumped whenever a handle leaves the table: a lookup remembered before
    // that may be stale. Handles are never reused.
    std::atomic<std::uint64_t> generation{0};

private:
    std::mutex mutex;
    std::unordered_map<Handle, std::shared_ptr<Entry>> entries;
};

// The handles of this thread holding bytes that wait for the loop's idle work.
thread_local std::vector<std::shared_ptr<Entry>> tHeldSends;

Table& GetTable() {
    static Table* t = new Table;  // lives for the whole process
    return *t;
}

std::atomic<int> gFailNextConnect{0};

void Post(Entry& e, long event, int error) {
    if ((e.mask & event) == 0 || e.hwnd == 0) return;
    ++detail::tSocketNotifications;
    PostMessage(e.hwnd, e.msg, e.handle, MAKELPARAM(static_cast<unsigned>(event), static_cast<unsigned>(error)));
}

// Brings the kernel's interest in line with what can still be posted. Only
// adds interest; interest that is no longer useful is dropped lazily, when the
// kernel reports it again (see OnIoReady), so steady traffic needs no epoll_ctl.
void EnsureInterest(Entry& e, std::uint32_t bits) {
    if (e.hwnd == 0 || e.mask == 0) return;
    if ((e.kernelEvents & bits) == bits) return;
    bool was = e.kernelEvents != 0;
    e.kernelEvents |= bits;
    detail::WatchDescriptor(e.fd, e.handle, e.kernelEvents, &GetTable(), was);
}

void SetInterest(Entry& e, std::uint32_t events) {
    if (events == e.kernelEvents) return;
    bool was = e.kernelEvents != 0;
    e.kernelEvents = events;
    // An empty interest must be a removal: hang-ups and errors fire regardless.
    detail::WatchDescriptor(e.fd, e.handle, events, &GetTable(), was);
}

void NoteDeadError(Entry& e, int error) {
    if (e.deadError == 0 && EndsConnection(error)) e.deadError = error;
}

// Hands the held bytes to the kernel. True when none are left; otherwise the
// rest goes at the next write readiness. A failure ends the connection: the
// program took those bytes for sent, so the next call tells it.
bool FlushHeld(Entry& e) {
    while (e.Held() > 0) {
        ++detail::tSystemCalls;
        ssize_t r = ::send(e.fd, e.behind.get() + e.behindPos, static_cast<size_t>(e.Held()), MSG_NOSIGNAL);
        if (r >= 0) {
            e.behindPos += static_cast<int>(r);
            continue;
        }
        if (errno == EINTR) continue;
        int err = WsaFromErrno(errno);
        if (err == WSAEWOULDBLOCK) {
            // Also without a selection (deselected): the stand-in sends them.
            if (e.mask == 0 || e.hwnd == 0) SetInterest(e, e.kernelEvents | EPOLLOUT);
            else EnsureInterest(e, EPOLLOUT);
            return false;
        }
        if (e.deadError == 0) e.deadError = EndsConnection(err) ? err : WSAECONNABORTED;
        break;
    }
    e.behindPos = e.behindLen = 0;
    if (e.shutPending) {
        e.shutPending = false;
        ::shutdown(e.fd, SHUT_WR);
    }
    return true;
}

// Keeps len bytes (they fit) after those already held; the first ones of a
// block ask the loop to send them once its queue has run dry.
void Hold(const std::shared_ptr<Entry>& e, const char* buf, int len) {
    if (!e->behind) e->behind = std::make_unique_for_overwrite<char[]>(kSendBehind);
    if (e->Held() == 0) {
        e->behindPos = e->behindLen = 0;
        if (!e->idleQueued) {
            e->idleQueued = true;
            tHeldSends.push_back(e);
        }
        detail::RequestIdleWork(&GetTable());
    } else if (e->behindLen + len > kSendBehind) {
        std::memmove(e->behind.get(), e->behind.get() + e->behindPos, static_cast<size_t>(e->Held()));
        e->behindLen = e->Held();
        e->behindPos = 0;
    }
    std::memcpy(e->behind.get() + e->behindLen, buf, static_cast<size_t>(len));
    e->behindLen += len;
}

void Table::OnIdle() {
    std::vector<std::shared_ptr<Entry>> held;
    held.swap(tHeldSends);
    for (auto& e : held) {
        e->idleQueued = false;
        if (e->fd >= 0 && e->Held() > 0) FlushHeld(*e);
    }
}

void Table::OnIoReady(std::uint64_t key, std::uint32_t events) {
    auto e = Find(static_cast<Handle>(key));
    if (!e) return;
    if (e->Held() > 0 && (events & EPOLLOUT)) FlushHeld(*e);
    if (e->mask == 0) {
        SetInterest(*e, e->Held() > 0 ? std::uint32_t{EPOLLOUT} : 0u);
        return;
    }
    std::uint32_t useless = 0;

    if (e->connectPending) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            int soerr = 0;
            socklen_t len = sizeof soerr;
            ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
            e->connectPending = false;
            int err = soerr ? WsaFromErrno(soerr) : 0;
            Post(*e, FD_CONNECT, err);
            if (err) {
                SetInterest(*e, 0);
                return;
            }
            e->connected = true;
            e->writeArmed = true;
            e->readArmed = true;
            EnsureInterest(*e, kReadInterest);
        } else {
            return;
        }
    }

    if (e->listening) {
        if (events & EPOLLIN) {
            if (e->acceptArmed) {
                e->acceptArmed = false;
                Post(*e, FD_ACCEPT, 0);
            } else {
                useless |= EPOLLIN;
            }
        }
        if (useless) SetInterest(*e, e->kernelEvents & ~useless);
        return;
    }

    if (!e->connected) {
        SetInterest(*e, 0);
        return;
    }

    if (events & EPOLLERR) {
        int soerr = 0;
        socklen_t len = sizeof soerr;
        ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
        NoteDeadError(*e, WsaFromErrno(soerr));
    }

    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        if (!e->readArmed || e->closePosted) {
            useless |= kReadInterest;
        } else {
            // A stream's end or error comes with EPOLLRDHUP, EPOLLHUP or
            // EPOLLERR: plain EPOLLIN is data, and needs no counting.
            bool data = e->Buffered() > 0 ||
                        (e->type == SOCK_STREAM && (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) == 0);
            if (!data) {
                int avail = 0;
                ++detail::tSystemCalls;
                ::ioctl(e->fd, FIONREAD, &avail);
                data = avail > 0;
            }
            bool closed = false;
            if (!data && e->type == SOCK_STREAM) {
                // No bytes counted: tell a close from data by peeking.
                char c;
                ++detail::tSystemCalls;
                ssize_t r = ::recv(e->fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
                if (r > 0) data = true;
                else if (r == 0) closed = true;
                else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    NoteDeadError(*e, WsaFromErrno(errno));
                    closed = true;
                }
            } else if (!data && e->type == SOCK_DGRAM && (events & EPOLLIN)) {
                data = true;  // an empty datagram still has to be read
            }
            if (data) {
                e->readArmed = false;
                Post(*e, FD_READ, 0);
            } else if (closed) {
                e->closePosted = true;
                Post(*e, FD_CLOSE, e->deadError);
                SetInterest(*e, 0);
                return;
            }
        }
    }

    if (events & EPOLLOUT) {
        if (e->writeArmed && e->Held() < kSendBehind) {
            e->writeArmed = false;
            Post(*e, FD_WRITE, 0);
        } else if (!e->writeArmed && e->Held() == 0) {
            useless |= EPOLLOUT;
        }
    }
    if (useless) SetInterest(*e, e->kernelEvents & ~useless);
}

// Bytes held in user space are readable data the kernel knows nothing of:
// once the read notification is enabled for them, a task queued on the
// window posts it, so that a loop sleeping on its descriptor (ours in epoll,
// or a foreign one watching it) wakes without waiting for another event. One
// task at a time: a handler reading in small pieces queues only one.
void OfferHeldBytes(const std::shared_ptr<Entry>& e) {
    if (e->heldOfferQueued || e->Buffered() == 0 || !e->readArmed || (e->mask & FD_READ) == 0 ||
        e->hwnd == 0)
        return;
    std::weak_ptr<Entry> weak = e;
    e->heldOfferQueued = detail::PostTask(e->hwnd, [weak] {
        auto held = weak.lock();
        if (!held) return;
        held->heldOfferQueued = false;
        if (held->readArmed && held->connected && held->Buffered() > 0 && !held->closePosted &&
            (held->mask & FD_READ)) {
            held->readArmed = false;
            Post(*held, FD_READ, 0);
        }
    });
}

// A kernel read that gave no bytes, as the program sees it: a connection
// that ended in error reads as that error (Linux told it only once, often
// to SO_ERROR), never as an orderly end, and only after every byte was read.
int ReadOutcome(Entry& e, ssize_t r, int len) {
    if (r < 0) {
        int err = WsaFromErrno(errno);
        NoteDeadError(e, err);
        return Fail(err);
    }
    if (len > 0 && e.type == SOCK_STREAM && e.deadError) return Fail(e.deadError);
    return 0;
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

// A system address record of either family and its length.
struct SysName {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&ss); }
};

SysName ToSockaddr(const Address& a) {
    SysName n;
    if (a.v6) {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&n.ss);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = a.port;
        std::memcpy(&sin6->sin6_addr, a.addr6, 16);
        sin6->sin6_scope_id = a.scope;
        n.len = sizeof(sockaddr_in6);
    } else {
        auto* sin = reinterpret_cast<sockaddr_in*>(&n.ss);
        sin->sin_family = AF_INET;
        sin->sin_port = a.port;
        sin->sin_addr.s_addr = a.addr;
        n.len = sizeof(sockaddr_in);
    }
    return n;
}

void FromSockaddr(const SysName& n, Address* a) {
    if (!a) return;
    *a = Address{};
    if (n.ss.ss_family == AF_INET6) {
        const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(&n.ss);
        a->v6 = true;
        std::memcpy(a->addr6, &sin6->sin6_addr, 16);
        a->scope = sin6->sin6_scope_id;
        a->port = sin6->sin6_port;
    } else {
        const auto* sin = reinterpret_cast<const sockaddr_in*>(&n.ss);
        a->addr = sin->sin_addr.s_addr;
        a->port = sin->sin_port;
    }
}

void CloseDescriptor(Entry& e) {
    SetInterest(e, 0);
    ::close(e.fd);
    e.fd = -1;  // the number may be reused at once
    GetTable().Remove(e.handle);
}

std::uint64_t NowMs() { return platform::GetTickCount64(); }

// Level and name of the options that are plain integers; false for the rest.
bool PlainOption(Option opt, int& level, int& name) {
    level = SOL_SOCKET;
    switch (opt) {
    case Option::ReuseAddr: name = SO_REUSEADDR; return true;
    case Option::KeepAlive: name = SO_KEEPALIVE; return true;
    case Option::Broadcast: name = SO_BROADCAST; return true;
    case Option::SendBuffer: name = SO_SNDBUF; return true;
    case Option::ReceiveBuffer: name = SO_RCVBUF; return true;
    case Option::OobInline: name = SO_OOBINLINE; return true;
    case Option::DontRoute: name = SO_DONTROUTE; return true;
    case Option::Debug: name = SO_DEBUG; return true;
    case Option::NoDelay: level = IPPROTO_TCP; name = TCP_NODELAY; return true;
    case Option::MulticastTtl: level = IPPROTO_IP; name = IP_MULTICAST_TTL; return true;
    case Option::MulticastLoop: level = IPPROTO_IP; name = IP_MULTICAST_LOOP; return true;
    default: return false;
    }
}

}  // namespace

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

int Bind(Handle h, const Address& a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName n = ToSockaddr(a);
    if (::bind(e->fd, n.get(), n.len) < 0) return FailErrno();
    return 0;
}

int Listen(Handle h, int backlog) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (e->type != SOCK_STREAM) return Fail(WSAEOPNOTSUPP);
    if (::listen(e->fd, backlog) < 0) return FailErrno();
    e->listening = true;
    e->acceptArmed = true;
    EnsureInterest(*e, EPOLLIN);
    return 0;
}

Handle Accept(Handle h, Address* peer) {
    auto e = Lookup(h);
    if (!e) return kInvalid;
    if (!e->listening) return Fail(WSAEINVAL), kInvalid;
    SysName sin;
    int fd;
    do {
        sin.len = sizeof sin.ss;
        fd = ::accept4(e->fd, sin.get(), &sin.len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    // Accepting re-enables the accept notification, whatever the outcome.
    e->acceptArmed = true;
    EnsureInterest(*e, EPOLLIN);
    if (fd < 0) return FailErrno(), kInvalid;
    FromSockaddr(sin, peer);
    Handle nh = GetTable().Add(fd, SOCK_STREAM);
    auto ne = GetTable().Find(nh);
    ne->connected = true;
    // The accepted handle inherits the listener's selection.
    if (e->mask != 0 && e->hwnd != 0) AsyncSelect(nh, e->hwnd, e->msg, e->mask);
    return nh;
}

int Connect(Handle h, const Address& a) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (int forced = gFailNextConnect.exchange(0)) return Fail(forced);
    if (e->connected && e->type == SOCK_STREAM) return Fail(WSAEISCONN);
    SysName sin = ToSockaddr(a);
    int r;
    do {
        r = ::connect(e->fd, sin.get(), sin.len);
    } while (r < 0 && errno == EINTR);
    if (e->type == SOCK_DGRAM) {
        if (r < 0) return FailErrno();
        e->connected = true;
        return 0;
    }
    if (r < 0 && errno != EINPROGRESS) return FailErrno();
    // Completion is told by FD_CONNECT, also when the kernel finished at once.
    e->connectPending = true;
    EnsureInterest(*e, EPOLLOUT);
    if (r < 0) return Fail(WSAEWOULDBLOCK);
    return 0;
}

namespace {

// A block sent from a window procedure to a selected stream: the end of the
// dispatch round follows, and sends the block with what came before it.
bool MayHold(const Entry& e, int len, bool oob) {
    return !oob && len > 0 && len < kSendBehind && e.type == SOCK_STREAM && e.connected && e.hwnd != 0 &&
           e.mask != 0 && Dispatching();
}

// As much of buf as the held block takes, once a full block has gone.
int SendHeld(const std::shared_ptr<Entry>& e, const char* buf, int len) {
    if (e->Held() + len > kSendBehind) {
        FlushHeld(*e);
        if (e->deadError) return Fail(e->deadError);
    }
    const int n = std::min(len, kSendBehind - e->Held());
    if (n < len) {
        // The rest is taken at the next FD_WRITE, once the kernel has room.
        e->writeArmed = true;
        EnsureInterest(*e, EPOLLOUT);
    }
    if (n == 0) return Fail(WSAEWOULDBLOCK);
    Hold(e, buf, n);
    return n;
}

}  // namespace

int Send(Handle h, const char* buf, int len, bool oob) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    // Linux answers EPIPE for both; only the program's own shutdown is 10058.
    if (e->sendShut) return Fail(WSAESHUTDOWN);
    if (e->deadError) return Fail(e->deadError);
    if (MayHold(*e, len, oob)) return SendHeld(e, buf, len);
    // Anything else leaves after the bytes held before it.
    if (e->Held() > 0 && !FlushHeld(*e)) {
        e->writeArmed = true;
        return Fail(WSAEWOULDBLOCK);
    }
    if (e->deadError) return Fail(e->deadError);  // the held bytes could not be sent
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        r = ::send(e->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (oob ? MSG_OOB : 0));
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        int err = WsaFromErrno(errno);
        if (err == WSAEWOULDBLOCK) {
            e->writeArmed = true;
            EnsureInterest(*e, EPOLLOUT);
        } else {
            NoteDeadError(*e, err);
        }
        return Fail(err);
    }
    if (r < len && e->type == SOCK_STREAM) {
        e->writeArmed = true;
        EnsureInterest(*e, EPOLLOUT);
    }
    return static_cast<int>(r);
}

int SendTo(Handle h, const char* buf, int len, bool oob, const Address& to) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    if (e->type == SOCK_STREAM) return Send(h, buf, len, oob);
    SysName sin = ToSockaddr(to);
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        r = ::sendto(e->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (oob ? MSG_OOB : 0),
                     sin.get(), sin.len);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            e->writeArmed = true;
            EnsureInterest(*e, EPOLLOUT);
        }
        return FailErrno();
    }
    return static_cast<int>(r);
}

int Receive(Handle h, char* buf, int len, bool oob, bool peek, Address* from) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (len < 0) return Fail(WSAEFAULT);
    // Reading re-enables the read notification (at once if data remains).
    if (!e->readArmed && !e->closePosted) {
        e->readArmed = true;
        if (e->connected) EnsureInterest(*e, kReadInterest);
    }
    if (e->type == SOCK_STREAM && !oob && !from) {
        if (e->Buffered() == 0 && !peek && len < kReadAhead) {
            if (!e->ahead) e->ahead = std::make_unique_for_overwrite<char[]>(kReadAhead);
            ssize_t r;
            do {
                ++detail::tSystemCalls;
                r = ::recv(e->fd, e->ahead.get(), kReadAhead, 0);
            } while (r < 0 && errno == EINTR);
            if (r <= 0) return ReadOutcome(*e, r, len);
            e->aheadPos = 0;
            e->aheadLen = static_cast<int>(r);
        }
        if (e->Buffered() > 0) {
            int n = std::min(len, e->Buffered());
            std::memcpy(buf, e->ahead.get() + e->aheadPos, static_cast<size_t>(n));
            if (!peek) e->aheadPos += n;
            if (e->Buffered() == 0) e->aheadPos = e->aheadLen = 0;
            else OfferHeldBytes(e);
            return n;
        }
    }
    SysName sin;
    int flags = (oob ? MSG_OOB : 0) | (peek ? MSG_PEEK : 0);
    ssize_t r;
    do {
        ++detail::tSystemCalls;
        sin.len = sizeof sin.ss;
        r = from ? ::recvfrom(e->fd, buf, static_cast<size_t>(len), flags, sin.get(), &sin.len)
                 : ::recv(e->fd, buf, static_cast<size_t>(len), flags);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return ReadOutcome(*e, r, len);
    if (from) FromSockaddr(sin, from);
    return static_cast<int>(r);
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
            if (unsent > 0 && e->connected && !e->deadError) {
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
    if (e->Held() > 0) {
        // A graceful close: the kernel sends what it holds after the close,
        // whatever the program does next, so the held bytes go the same way.
        SetInterest(*e, 0);
        DrainAndClose(e->fd, std::move(e->behind), e->behindPos, e->behindLen);
        e->fd = -1;
        e->behindPos = e->behindLen = 0;
        GetTable().Remove(e->handle);
        return 0;
    }
    CloseDescriptor(*e);
    return 0;
}

int SetOption(Handle h, Option opt, std::uint32_t value, std::uint32_t value2) {
    auto e = Lookup(h);
    if (!e) return -1;
    int level, name;
    if (PlainOption(opt, level, name)) {
        int iv = static_cast<int>(value);
        if (::setsockopt(e->fd, level, name, &iv, sizeof iv) < 0) return FailErrno();
        return 0;
    }
    switch (opt) {
    case Option::Linger:
        e->lingerOn = (value >> 16) != 0;
        e->lingerSeconds = static_cast<std::uint16_t>(value & 0xFFFF);
        e->closeDeadline = 0;
        return 0;
    case Option::MulticastInterface: {
        in_addr a{};
        a.s_addr = value;
        if (::setsockopt(e->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) < 0) return FailErrno();
        return 0;
    }
    case Option::AddMembership:
    case Option::DropMembership: {
        ip_mreq m{};
        m.imr_multiaddr.s_addr = value;
        m.imr_interface.s_addr = value2;
        int n = opt == Option::AddMembership ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
        if (::setsockopt(e->fd, IPPROTO_IP, n, &m, sizeof m) < 0) return FailErrno();
        return 0;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int GetOption(Handle h, Option opt, std::uint32_t* value) {
    auto e = Lookup(h);
    if (!e) return -1;
    int level, name;
    if (PlainOption(opt, level, name)) {
        int iv = 0;
        socklen_t len = sizeof iv;
        if (::getsockopt(e->fd, level, name, &iv, &len) < 0) return FailErrno();
        // Linux answers the multicast options with one byte.
        if (len == 1) iv = static_cast<unsigned char>(iv & 0xFF);
        *value = static_cast<std::uint32_t>(iv);
        return 0;
    }
    switch (opt) {
    case Option::Linger:
        *value = (static_cast<std::uint32_t>(e->lingerOn) << 16) | e->lingerSeconds;
        return 0;
    case Option::Error: {
        int soerr = 0;
        socklen_t len = sizeof soerr;
        ::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
        int err = soerr ? WsaFromErrno(soerr) : 0;
        NoteDeadError(*e, err);
        *value = static_cast<std::uint32_t>(err);
        return 0;
    }
    case Option::Type: *value = static_cast<std::uint32_t>(e->type); return 0;
    case Option::MulticastInterface: {
        in_addr a{};
        socklen_t len = sizeof a;
        if (::getsockopt(e->fd, IPPROTO_IP, IP_MULTICAST_IF, &a, &len) < 0) return FailErrno();
        *value = a.s_addr;
        return 0;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int BytesReadable(Handle h, std::uint32_t* count) {
    auto e = Lookup(h);
    if (!e) return -1;
    // Read-ahead bytes alone answer the question without asking the kernel.
    if (e->Buffered() > 0) {
        *count = static_cast<std::uint32_t>(e->Buffered());
        return 0;
    }
    int avail = 0;
    ++detail::tSystemCalls;
    if (::ioctl(e->fd, FIONREAD, &avail) < 0) return FailErrno();
    *count = static_cast<std::uint32_t>(avail < 0 ? 0 : avail);
    return 0;
}

int SetNonBlocking(Handle h, bool on) {
    auto e = Lookup(h);
    if (!e) return -1;
    // A selected handle must stay non-blocking.
    if (!on && e->mask != 0) return Fail(WSAEINVAL);
    int flags = ::fcntl(e->fd, F_GETFL);
    if (flags < 0) return FailErrno();
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(e->fd, F_SETFL, flags) < 0) return FailErrno();
    e->nonBlocking = on;
    return 0;
}

int LocalName(Handle h, Address* a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName sin;
    if (::getsockname(e->fd, sin.get(), &sin.len) < 0) return FailErrno();
    FromSockaddr(sin, a);
    return 0;
}

int PeerName(Handle h, Address* a) {
    auto e = Lookup(h);
    if (!e) return -1;
    SysName sin;
    if (::getpeername(e->fd, sin.get(), &sin.len) < 0) return FailErrno();
    FromSockaddr(sin, a);
    return 0;
}

int AsyncSelect(Handle h, HWND hwnd, UINT msg, long events) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (events != 0 && !detail::IsWindowOfThisThread(hwnd)) return Fail(WSAEINVAL);
    if (!e->nonBlocking && SetNonBlocking(h, true) < 0) return -1;
    // Held bytes go before anything the new selection reports; what the
    // kernel cannot take yet leaves at its write readiness.
    if (e->Held() > 0) FlushHeld(*e);
    SetInterest(*e, e->Held() > 0 ? std::uint32_t{EPOLLOUT} : 0u);
    e->hwnd = hwnd;
    e->msg = msg;
    e->mask = events;
    if (events == 0) return 0;
    // Conditions that hold now are reported at once: the kernel reports them
    // as soon as the interest is registered.
    std::uint32_t interest = 0;
    if (e->listening) {
        e->acceptArmed = true;
        interest |= EPOLLIN;
    } else if (e->connectPending) {
        interest |= EPOLLOUT;
    } else if (e->connected || e->type == SOCK_DGRAM) {
        e->connected = true;
        e->readArmed = true;
        e->writeArmed = true;
        interest |= kReadInterest | EPOLLOUT;
    }
    if (e->closePosted) {
        interest &= ~kReadInterest;
        // The close was told once, perhaps to a selection that has since been
        // dropped (a paused socket): a condition that holds is told again.
        if (events & FD_CLOSE) Post(*e, FD_CLOSE, e->deadError);
    }
    if (interest) EnsureInterest(*e, interest);
    // A new window gets its own offer; one queued for the old window may be dropped.
    e->heldOfferQueued = false;
    OfferHeldBytes(e);
    return 0;
}

int OpenCount() { return GetTable().Count(); }

void FailNextConnect(int error) { gFailNextConnect = error; }

int SetDeadPeerTimeout(Handle h, unsigned ms) {
    auto e = Lookup(h);
    if (!e) return -1;
    if (::setsockopt(e->fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &ms, sizeof ms) < 0) return FailErrno();
    return 0;
}

}  // namespace platform::sys

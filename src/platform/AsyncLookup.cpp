// Asynchronous host lookups: they run in order on a few worker threads; a
// result is carried back to the asking window's thread, written into the
// caller's buffer there and delivered as the reply message in queue order. A
// lookup cancelled before that point delivers nothing and touches no buffer;
// one cancelled before a worker took it is never run. The library's last
// clean-up delivers nothing more and waits for no lookup: one still inside the
// system's resolver ends on its own thread, with the resolver it started with.
#include "platform/AsyncLookup.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/SysSocket.h"
#include "platform/WinSock.h"

namespace winsock {
namespace {

namespace sys = platform::sys;

struct Lookup {
    HANDLE handle = 0;
    HWND hwnd = 0;
    UINT msg = 0;
    char* buffer = nullptr;
    int bufferLength = 0;
};

struct Result {
    int error = 0;
    std::string name;
    std::vector<sys::Address> addrs;
    bool addrInfo = false;  // reply as an addrinfo chain rather than a host entry
};

struct Pending {
    std::mutex mutex;
    std::unordered_map<HANDLE, Lookup> lookups;
    HANDLE next = 1;
};

Pending& GetPending() {
    static Pending* p = new Pending;  // workers may finish during exit
    return *p;
}

// Writes a host entry of the IPv4 addresses into buf: the record first, then
// its pointer arrays, the addresses and the name, all inside the buffer. Keeps
// as many addresses as fit; returns the bytes used, or 0 when not even one fits.
int PackHostEntry(const Result& all, char* buf, int buflen) {
    Result r;
    r.name = all.name;
    for (const auto& a : all.addrs)
        if (!a.v6) r.addrs.push_back(a);
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(buf);
    std::uintptr_t aligned = (base + alignof(hostent) - 1) & ~(std::uintptr_t(alignof(hostent)) - 1);
    std::size_t skip = aligned - base;
    std::size_t nameBytes = r.name.size() + 1;
    std::size_t fixed = skip + sizeof(hostent) + sizeof(char*) /*aliases*/ + sizeof(char*) /*list end*/ + nameBytes;
    if (fixed > static_cast<std::size_t>(buflen)) return 0;
    std::size_t perAddr = sizeof(char*) + 4;
    std::size_t room = (static_cast<std::size_t>(buflen) - fixed) / perAddr;
    std::size_t count = std::min(room, r.addrs.size());
    if (count == 0 && !r.addrs.empty()) return 0;

    char* p = reinterpret_cast<char*>(aligned);
    auto* entry = reinterpret_cast<hostent*>(p);
    p += sizeof(hostent);
    auto** aliases = reinterpret_cast<char**>(p);
    p += sizeof(char*);
    auto** list = reinterpret_cast<char**>(p);
    p += sizeof(char*) * (count + 1);
    char* addrArea = p;
    p += 4 * count;
    char* name = p;
    p += nameBytes;

    std::memcpy(name, r.name.c_str(), nameBytes);
    aliases[0] = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(addrArea + 4 * i, &r.addrs[i].addr, 4);
        list[i] = addrArea + 4 * i;
    }
    list[count] = nullptr;
    entry->h_name = name;
    entry->h_aliases = aliases;
    entry->h_addrtype = AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = list;
    return static_cast<int>(p - buf);
}

// Writes an addrinfo chain of both families into buf, each node followed by
// its address record; the canonical name is not kept. As many as fit;
// returns the bytes used, or 0 when not even one fits.
int PackAddrInfo(const Result& r, char* buf, int buflen) {
    constexpr std::size_t align = alignof(addrinfo) > alignof(SOCKADDR_INET) ? alignof(addrinfo)
                                                                             : alignof(SOCKADDR_INET);
    constexpr std::size_t node = (sizeof(addrinfo) + sizeof(SOCKADDR_INET) + align - 1) & ~(align - 1);
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(buf);
    std::uintptr_t aligned = (base + align - 1) & ~(std::uintptr_t(align) - 1);
    std::size_t skip = aligned - base;
    if (skip >= static_cast<std::size_t>(buflen)) return 0;
    std::size_t count = std::min((static_cast<std::size_t>(buflen) - skip) / node, r.addrs.size());
    if (count == 0) return 0;
    addrinfo* prev = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        char* p = reinterpret_cast<char*>(aligned + i * node);
        auto* ai = new (p) addrinfo{};
        auto* record = new (p + sizeof(addrinfo)) SOCKADDR_INET{};
        const sys::Address& a = r.addrs[i];
        if (a.v6) {
            record->Ipv6.sin6_family = AF_INET6;
            std::memcpy(record->Ipv6.sin6_addr.s6_addr, a.addr6, 16);
            record->Ipv6.sin6_scope_id = a.scope;
        } else {
            record->Ipv4.sin_family = AF_INET;
            record->Ipv4.sin_addr.s_addr = a.addr;
        }
        ai->ai_family = a.v6 ? AF_INET6 : AF_INET;
        ai->ai_socktype = SOCK_STREAM;
        ai->ai_protocol = IPPROTO_TCP;
        ai->ai_addrlen = a.v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        ai->ai_addr = reinterpret_cast<sockaddr*>(record);
        if (prev) prev->ai_next = ai;
        prev = ai;
    }
    return static_cast<int>(skip + count * node);
}

// On the owning thread: deliver unless cancelled meanwhile.
void Deliver(HANDLE handle, const Result& r) {
    Lookup l;
    {
        auto& pending = GetPending();
        std::lock_guard<std::mutex> lock(pending.mutex);
        auto it = pending.lookups.find(handle);
        if (it == pending.lookups.end()) return;
        l = it->second;
        pending.lookups.erase(it);
    }
    int error = r.error;
    int used = 0;
    if (!error) {
        used = r.addrInfo ? PackAddrInfo(r, l.buffer, l.bufferLength)
                          : PackHostEntry(r, l.buffer, l.bufferLength);
        if (used == 0) error = WSAENOBUFS;
    }
    platform::MSG m{l.hwnd, l.msg, l.handle, platform::MAKELPARAM(static_cast<unsigned>(used), static_cast<unsigned>(error))};
    platform::DispatchMessage(m);
}

bool StillPending(HANDLE handle) {
    auto& pending = GetPending();
    std::lock_guard<std::mutex> lock(pending.mutex);
    return pending.lookups.count(handle) != 0;
}

struct Job {
    HANDLE handle;
    HWND hwnd;
    std::function<Result()> work;
};

// A few threads taking lookups in order. A lookup in progress cannot be
// interrupted (the system's resolver has no cancel), so Stop does not wait
// for it: the pool's threads are detached, drop what is queued, and end once
// their lookup returns; its result is never delivered (nothing is pending any
// more). A later start gets a pool of its own.
class Workers {
public:
    bool Add(Job job) {
        std::shared_ptr<Pool> pool = Current();
        std::lock_guard<std::mutex> lock(pool->mutex);
        if (pool->threads < kMaxThreads && pool->idle <= pool->jobs.size()) {
            try {
                std::thread([pool] { Run(*pool); }).detach();
                ++pool->threads;
            } catch (const std::system_error&) {
                if (pool->threads == 0) return false;  // the running ones will get to it
            }
        }
        pool->jobs.push_back(std::move(job));
        pool->wake.notify_one();
        return true;
    }

    void Stop() {
        std::shared_ptr<Pool> old;
        {
            std::lock_guard<std::mutex> lock(mutex);
            old.swap(pool);
        }
        if (!old) return;
        std::lock_guard<std::mutex> lock(old->mutex);
        old->stopping = true;
        old->jobs.clear();
        old->wake.notify_all();
    }

private:
    static constexpr std::size_t kMaxThreads = 4;

    struct Pool {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        std::size_t threads = 0;
        std::size_t idle = 0;
        bool stopping = false;
    };

    std::shared_ptr<Pool> Current() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!pool) pool = std::make_shared<Pool>();
        return pool;
    }

    static void Run(Pool& pool) {
        std::unique_lock<std::mutex> lock(pool.mutex);
        for (;;) {
            ++pool.idle;
            pool.wake.wait(lock, [&pool] { return pool.stopping || !pool.jobs.empty(); });
            --pool.idle;
            if (pool.stopping) {
                --pool.threads;
                return;
            }
            Job job = std::move(pool.jobs.front());
            pool.jobs.pop_front();
            lock.unlock();
            if (StillPending(job.handle)) {
                Result r = job.work();
                HANDLE handle = job.handle;
                platform::detail::PostTask(job.hwnd, [handle, r] { Deliver(handle, r); });
            }
            lock.lock();
        }
    }

    std::mutex mutex;
    std::shared_ptr<Pool> pool;
};

Workers& GetWorkers() {
    static Workers* w = new Workers;  // never destroyed: a thread may still run at exit
    return *w;
}

HANDLE Start(HWND hwnd, UINT msg, char* buf, int buflen, std::function<Result()> work) {
    if (!sys::Started()) return sys::SetLastError(WSANOTINITIALISED), 0;
    if (!buf || buflen <= 0) return sys::SetLastError(WSAEFAULT), 0;
    if (!platform::detail::IsWindowOfThisThread(hwnd)) return sys::SetLastError(WSAEINVAL), 0;
    HANDLE handle;
    {
        auto& pending = GetPending();
        std::lock_guard<std::mutex> lock(pending.mutex);
        handle = pending.next++;
        pending.lookups.emplace(handle, Lookup{handle, hwnd, msg, buf, buflen});
    }
    if (!GetWorkers().Add(Job{handle, hwnd, std::move(work)})) {
        auto& pending = GetPending();
        std::lock_guard<std::mutex> lock(pending.mutex);
        pending.lookups.erase(handle);
        sys::SetLastError(WSAENOBUFS);
        return 0;
    }
    return handle;
}

}  // namespace

HANDLE WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
    if (!name) return sys::SetLastError(WSAEFAULT), 0;
    std::string host = name;
    return Start(hwnd, msg, buf, buflen, [host] {
        Result r;
        r.error = sys::ResolveForward(host, r.addrs, r.name);
        // The original's host entry has one family: a name with IPv6 addresses alone has no data.
        if (!r.error && std::none_of(r.addrs.begin(), r.addrs.end(), [](const sys::Address& a) { return !a.v6; }))
            r.error = WSANO_DATA;
        return r;
    });
}

HANDLE WSAAsyncGetAddrInfo(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
    if (!name) return sys::SetLastError(WSAEFAULT), 0;
    std::string host = name;
    return Start(hwnd, msg, buf, buflen, [host] {
        Result r;
        r.addrInfo = true;
        r.error = sys::ResolveForward(host, r.addrs, r.name);
        return r;
    });
}

HANDLE WSAAsyncGetHostByAddr(HWND hwnd, UINT msg, const char* addr, int len, int type, char* buf,
                             int buflen) {
    if (type != AF_INET && type != AF_INET6) return sys::SetLastError(WSAEAFNOSUPPORT), 0;
    if (!addr || len != (type == AF_INET6 ? 16 : 4)) return sys::SetLastError(WSAEFAULT), 0;
    sys::Address a;
    a.v6 = type == AF_INET6;
    std::memcpy(a.v6 ? static_cast<void*>(a.addr6) : static_cast<void*>(&a.addr), addr, static_cast<std::size_t>(len));
    return Start(hwnd, msg, buf, buflen, [a] {
        Result r;
        r.error = sys::ResolveReverse(a, r.name);
        // The host entry carries IPv4 addresses alone; an IPv6 one's name comes without it.
        if (!r.error) r.addrs.push_back(a);
        return r;
    });
}

int WSACancelAsyncRequest(HANDLE task) {
    auto& pending = GetPending();
    std::lock_guard<std::mutex> lock(pending.mutex);
    if (pending.lookups.erase(task) == 0) {
        sys::SetLastError(task != 0 && task < pending.next ? WSAEALREADY : WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

void StopAsyncLookups() {
    {
        auto& pending = GetPending();
        std::lock_guard<std::mutex> lock(pending.mutex);
        pending.lookups.clear();  // nothing is delivered after the clean-up
    }
    GetWorkers().Stop();
}

}  // namespace winsock

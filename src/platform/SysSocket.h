// Internal to the platform stand-in: the socket table over BSD sockets, with
// neutral names so that it never meets the original API's names (which the
// system headers define as macros). WinSock.cpp translates between the two.
//
// Every function returns -1 (or kInvalid) on failure and sets the calling
// thread's last error to an original error number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Messages.h"

namespace platform::sys {

using Handle = std::uintptr_t;
constexpr Handle kInvalid = ~Handle(0);

void SetLastError(int error);
int LastError();

// Library start-up reference count; most calls fail with 10093 while it is 0.
int Startup();
int Cleanup();
bool Started();

enum class Option {
    ReuseAddr, KeepAlive, Broadcast, SendBuffer, ReceiveBuffer, Error, Type, OobInline,
    DontRoute, Debug, NoDelay, MulticastTtl, MulticastLoop, MulticastInterface,
    AddMembership, DropMembership, Linger,
};

// An endpoint of either family; the IPv6 fields are used only when v6 is set.
struct Address {
    bool v6 = false;
    std::uint32_t addr = 0;  // IPv4, network order
    std::uint8_t addr6[16] = {};
    std::uint32_t scope = 0;  // IPv6 scope (interface) id
    std::uint16_t port = 0;  // network order
};

Handle Create(bool v6, int type, int protocol);
int Bind(Handle h, const Address& a);
int Listen(Handle h, int backlog);
Handle Accept(Handle h, Address* peer);
int Connect(Handle h, const Address& a);
int Send(Handle h, const char* buf, int len, bool oob);
int SendTo(Handle h, const char* buf, int len, bool oob, const Address& to);
int Receive(Handle h, char* buf, int len, bool oob, bool peek, Address* from);
int Shutdown(Handle h, int how);
int Close(Handle h);
// Integer options; for Linger, value = on << 16 | seconds. For the membership
// options, value is the group address and value2 the interface (network order).
int SetOption(Handle h, Option opt, std::uint32_t value, std::uint32_t value2 = 0);
int GetOption(Handle h, Option opt, std::uint32_t* value);
int BytesReadable(Handle h, std::uint32_t* count);
// 1 when the stream's peer has closed, 0 when it has not (bytes wait, or
// nothing yet), -1 for a connection that failed or ended in error. Takes no
// bytes; arms the next read notification as a read does.
int PeerClosed(Handle h);
int SetNonBlocking(Handle h, bool on);
int LocalName(Handle h, Address* a);
int PeerName(Handle h, Address* a);
int AsyncSelect(Handle h, HWND hwnd, UINT msg, long events);
int OpenCount();
void FailNextConnect(int error);
int SetDeadPeerTimeout(Handle h, unsigned ms);

// Name services. Forward lookups go through a replaceable resolver so that
// tests can play failures and names of both families; the error is an
// original number (11001..11004). Addresses of both families come in the
// system's order (RFC 6724), duplicates removed.
using ForwardResolver = std::function<int(const std::string& name, std::vector<Address>& addrs,
                                          std::string& officialName)>;
void SetForwardResolver(ForwardResolver resolver);
int ResolveForward(const std::string& name, std::vector<Address>& addrs, std::string& official);
int ResolveReverse(const Address& addr, std::string& name);
// Service and protocol names: the system's tables (/etc/services,
// /etc/protocols), then built-in answers for the names the program uses, so
// that a system without those files still connects. false when unknown; port
// is in host order.
bool LookupService(const std::string& name, const std::string& proto, std::uint16_t& port,
                   std::string& officialName, std::string& officialProto);
bool LookupProtocol(const std::string& name, int& number, std::string& officialName);
// Test seam: answer from the built-in names alone, as on a system without the tables.
void UseSystemNameTables(bool use);
// Dotted-address conversion as the original's inet_addr (0xFFFFFFFF when invalid).
std::uint32_t ParseDotted(const char* text);
std::string FormatDotted(std::uint32_t addr);
// IPv6 text (RFC 4291, no brackets, no zone) to 16 bytes; false when invalid.
bool ParseIpv6(const char* text, std::uint8_t out[16]);
// The canonical text form of an IPv6 address (RFC 5952).
std::string FormatIpv6(const std::uint8_t addr[16]);

}  // namespace platform::sys

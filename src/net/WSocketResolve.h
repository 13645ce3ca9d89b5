// The blocking resolver routines used by Connect, Listen and the SOCKS
// negotiation. They raise ESocketException with their own messages whatever
// a socket's OnError is set to. Results: addresses in network order, port and
// protocol numbers in host order. They block the calling thread while the
// platform answers name, service and protocol lookups.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinSock.h"

// True for exactly four decimal parts of at most 255 separated by dots,
// leading blanks and trailing blanks allowed.
bool WSocketIsDottedAddr(std::string_view s);
// Leading blanks skipped, then decimal digits up to the first non-digit
// (0 when none). Saturates instead of overflowing.
int DigitsToInt(std::string_view s);

// IPv4 alone: SOCKS 4 destinations, multicast, the IPv4 local address.
std::uint32_t WSocketResolveHost(const std::string& InAddr);
// True for an IPv6 address in text form (no brackets, no zone).
bool WSocketIsIpv6Addr(std::string_view s);
// Every address of a host of either family, in the system's order (one for a
// literal), as records with port 0. Same limits and messages as
// WSocketResolveHost.
std::vector<winsock::SOCKADDR_INET> WSocketResolveHostAll(const std::string& InAddr);
// The text form of a record's address: dotted, or RFC 5952 for IPv6.
std::string WSocketAddrText(const winsock::SOCKADDR_INET& Addr);
int WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);

// The blocking resolver routines used by Connect, Listen and the SOCKS
// negotiation. They raise ESocketException with their own messages whatever
// a socket's OnError is set to. Results: addresses in network order, port and
// protocol numbers in host order. They block the calling thread while the
// platform answers name, service and protocol lookups.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// True for exactly four decimal parts of at most 255 separated by dots,
// leading blanks and trailing blanks allowed.
bool WSocketIsDottedAddr(std::string_view s);
// Leading blanks skipped, then decimal digits up to the first non-digit
// (0 when none). Saturates instead of overflowing.
int DigitsToInt(std::string_view s);

std::uint32_t WSocketResolveHost(const std::string& InAddr);
int WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);

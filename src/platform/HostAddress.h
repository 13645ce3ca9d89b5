// Whether a host as typed is an IP address literal, read strictly: the one
// place that decides it, for the certificate identity check.
//
// Contract: IPv4 only as exactly four decimal parts of 0 to 255 without
// leading zeros ("127.0.0.1"); the short ("127.1"), integer ("2130706433"),
// octal and hex forms the old resolver functions accept are no address here.
// IPv6 in its text forms (RFC 4291), without brackets or zone. Pure
// function, any thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class TIpFamily { V4, V6 };

struct TIpAddress {
    TIpFamily Family = TIpFamily::V4;
    std::array<unsigned char, 16> Bytes{};  // network order, Size of them used
    std::size_t Size = 0;

    bool operator==(const TIpAddress&) const = default;
};

std::optional<TIpAddress> ParseIpAddress(std::string_view Host);
// The address in its usual text form ("127.0.0.1", "::1").
std::string FormatIpAddress(const TIpAddress& Address);

}  // namespace platform

#include "platform/HostAddress.h"

#include <algorithm>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace platform {

std::optional<TIpAddress> ParseIpAddress(std::string_view Host) {
    // inet_pton takes dotted quads only, and refuses leading zeros.
    const std::string text(Host);
    TIpAddress address;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        address.Family = TIpFamily::V6;
        address.Size = sizeof v6;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v6);
        std::copy(bytes, bytes + sizeof v6, address.Bytes.begin());
        return address;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) != 1) return std::nullopt;
    address.Family = TIpFamily::V4;
    address.Size = sizeof v4;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v4);
    std::copy(bytes, bytes + sizeof v4, address.Bytes.begin());
    return address;
}

std::string FormatIpAddress(const TIpAddress& Address) {
    char text[INET6_ADDRSTRLEN] = {};
    const int family = Address.Family == TIpFamily::V4 ? AF_INET : AF_INET6;
    if (!inet_ntop(family, Address.Bytes.data(), text, sizeof text)) return {};
    return text;
}

}  // namespace platform

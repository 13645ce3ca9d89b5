// Internal to the socket stand-in: the system's address records of either family.
#pragma once

#include <sys/socket.h>

#include "platform/SysSocket.h"

namespace platform::sys {

// A system address record of either family and its length.
struct SysName {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&ss); }
};

SysName ToSockaddr(const Address& a);
void FromSockaddr(const SysName& n, Address* a);

}  // namespace platform::sys

// Internal to the platform stand-in: the one table that turns the system's
// error numbers and resolver failures into the original error numbers.
#pragma once

namespace platform {

// errno -> original number. EINPROGRESS is the original's would-block (a
// non-blocking connect under way) and EPIPE a reset.
int WsaFromErrno(int err);
// getaddrinfo/getnameinfo failure -> 11001..11004 (sysErrno for EAI_SYSTEM).
int WsaFromResolver(int eaiCode, int sysErrno);

}  // namespace platform

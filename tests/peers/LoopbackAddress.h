// 127.0.0.1:port as a socket address, for the peers' own sockets (kept out
// of PeerSupport.h: tests include that beside the platform's socket names).
#pragma once

#include <netinet/in.h>

namespace peers {

sockaddr_in Loopback(int port);

}  // namespace peers

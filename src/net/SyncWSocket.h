// TCustomSyncWSocket: helpers that pump the message loop until a flag is set.
//
// They run on the socket's thread and let every notification (of this socket
// and of any other) run while they wait. They give up with 12001 when
// SyncTimeout (milliseconds, 0 = none) has passed, when the application is
// terminating or when a quit message was seen. The flag must outlive the
// wait unless it belongs to this socket: when a handler destroys the socket,
// the wait ends with 12001 without reading the flag again.
#pragma once

#include <functional>

#include "net/LineWSocket.h"

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    explicit TCustomSyncWSocket(TComponent* AOwner = nullptr) : TCustomLineWSocket(AOwner) {}

    // 0 once Flag is true, 12001 when the wait was cut short.
    virtual int WaitForFlag(const bool& Flag);
    // Clears Flag, runs Proc (when given) and waits for Flag.
    virtual int RunAndWait(const std::function<void()>& Proc, bool& Flag);

    int SyncTimeout = 0;
};

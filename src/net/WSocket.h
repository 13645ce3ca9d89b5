// TWSocket: the socket component the rest of the program uses, at the end of
// the chain TCustomWSocket -> TCustomSocksWSocket -> TCustomSslWSocket ->
// TCustomLineWSocket -> TCustomSyncWSocket -> TWSocket. See CustomWSocket.h for its contract.
#pragma once

#include "net/SyncWSocket.h"
#include "net/WSocketErrors.h"
#include "net/WSocketLoader.h"
#include "net/WSocketResolve.h"

class TWSocket : public TCustomSyncWSocket {
public:
    explicit TWSocket(TComponent* AOwner = nullptr) : TCustomSyncWSocket(AOwner) {}
};

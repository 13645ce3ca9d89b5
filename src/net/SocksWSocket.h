// TCustomSocksWSocket: the SOCKS 4/4A/5 negotiation layer of the socket chain.
// For now it passes everything through to TCustomWSocket; the negotiation
// overrides Connect, Listen, ResetToDefaults, DoSessionConnected,
// DoDataAvailable, DoSessionClosed, RcvdCount and RawReceive.
#pragma once

#include "net/CustomWSocket.h"

class TCustomSocksWSocket : public TCustomWSocket {
public:
    explicit TCustomSocksWSocket(TComponent* AOwner = nullptr) : TCustomWSocket(AOwner) {}
};

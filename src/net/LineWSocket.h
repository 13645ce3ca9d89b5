// TCustomLineWSocket: the line-mode layer of the socket chain. For now it
// passes everything through to TCustomSocksWSocket; line mode overrides
// RcvdCount, RawReceive, DoDataAvailable, DoSessionClosed and
// HandleSocketMessage (WM_LINE_REDELIVER).
#pragma once

#include "net/SocksWSocket.h"

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomLineWSocket(TComponent* AOwner = nullptr) : TCustomSocksWSocket(AOwner) {}
};

// The vocabulary of the socket layer: states, options, event signatures,
// the private messages of a socket's hidden window and its exception class.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Component.h"
#include "base/Exceptions.h"
#include "platform/Messages.h"

enum TSocketState : std::uint8_t {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

enum TWSocketOption : unsigned {
    wsoNoReceiveLoop = 1u << 0,  // one data event per read notification
    wsoTcpNoDelay = 1u << 1,     // disable Nagle on connect
};
using TWSocketOptions = unsigned;  // a set of TWSocketOption bits

class ESocketException : public Exception {
public:
    using Exception::Exception;
};

// Event signatures; the error word is a platform error number, 0 for success.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TSessionConnected = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionClosed = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataSent = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TDnsLookupDone = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TChangeState =
    std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, Exception& E, bool& CanClose)>;

// Private messages of the hidden window.
constexpr platform::UINT WM_SOCKET_EVENT = platform::WM_USER + 1;
constexpr platform::UINT WM_HOST_BY_NAME_DONE = platform::WM_USER + 2;
constexpr platform::UINT WM_HOST_BY_ADDR_DONE = platform::WM_USER + 3;
constexpr platform::UINT WM_CLOSE_LATER = platform::WM_USER + 4;
constexpr platform::UINT WM_FREE_LATER = platform::WM_USER + 5;
constexpr platform::UINT WM_TEST_EXCEPTION = platform::WM_USER + 6;
constexpr platform::UINT WM_LINE_REDELIVER = platform::WM_USER + 20;
constexpr platform::UINT WM_TLS_WRITE_HELD = platform::WM_USER + 21;

// Result of the wait helpers when the wait was cut short.
constexpr int WSOCKET_WAIT_TIMEOUT = 12001;

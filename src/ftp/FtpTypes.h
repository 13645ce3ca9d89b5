// The vocabulary of the FTP engine: its enumerations (values in their fixed
// order), the event signatures, the exception class and the private messages
// of the engine's hidden window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Component.h"
#include "base/Exceptions.h"
#include "net/WSocketTypes.h"
#include "platform/Messages.h"

enum TFtpOption : unsigned {
    ftpAcceptLF = 1u << 0,        // a reply line may end in a bare LF
    ftpNoAutoResumeAt = 1u << 1,  // REST does not take the local file's size
};
using TFtpOptions = unsigned;  // a set of TFtpOption bits

enum TFtpShareMode {
    ftpShareCompat,
    ftpShareExclusive,
    ftpShareDenyWrite,
    ftpShareDenyRead,
    ftpShareDenyNone,
};

enum TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };

// Plain FTP, TLS after AUTH TLS on the clear connection, or TLS from the
// first byte (port 990 when the port is left at "ftp").
enum TFtpSecurity { ftpSecurityNone, ftpSecurityExplicit, ftpSecurityImplicit };

enum TFtpEngineState {
    fesNotConnected,
    fesReady,
    fesBetweenSteps,
    fesLookingUp,
    fesConnected,
    fesAborting,
    fesAwaitingGreeting,
    fesAwaitingReply,
};

enum TFtpRequest {
    ftpNone,
    ftpOpenAsync,
    ftpUserAsync,
    ftpPassAsync,
    ftpCwdAsync,
    ftpConnectAsync,
    ftpReceiveAsync,
    ftpDirAsync,
    ftpLsAsync,
    ftpPortAsync,
    ftpGetAsync,
    ftpDirectoryAsync,
    ftpListAsync,
    ftpSystemAsync,
    ftpSystAsync,
    ftpQuitAsync,
    ftpAborAsync,
    ftpSizeAsync,
    ftpPutAsync,
    ftpAppendAsync,
    ftpFileSizeAsync,
    ftpRqAbort,
    ftpMkdAsync,
    ftpRmdAsync,
    ftpRenameAsync,
    ftpDeleAsync,
    ftpRenAsync,
    ftpRenToAsync,
    ftpRenFromAsync,
    ftpDeleteAsync,
    ftpMkdirAsync,
    ftpRmdirAsync,
    ftpPwdAsync,
    ftpQuoteAsync,
    ftpCDupAsync,
    ftpDoQuoteAsync,
    ftpTransmitAsync,
    ftpTypeSetAsync,
    ftpRestAsync,
    ftpRestGetAsync,
    ftpRestartGetAsync,
    ftpRestPutAsync,
    ftpRestartPutAsync,
};

// The steps of a chain; a chain is a set of them (one bit per value).
enum TFtpStep {
    stepNone,
    stepOpen,
    stepUser,
    stepPass,
    stepCwd,
    stepSize,
    stepMkd,
    stepRmd,
    stepRenFrom,
    stepRenTo,
    stepGet,
    stepDir,
    stepQuit,
    stepSyst,
    stepDele,
    stepPwd,
    stepQuote,
    stepPut,
    stepTypeSet,
    stepRest,
    stepCDup,
    stepLs,
    stepAppend,
    stepPort,
    stepAbor,
};
using TFtpSteps = std::uint32_t;  // a set of TFtpStep bits
constexpr TFtpSteps StepBit(TFtpStep Step) { return TFtpSteps(1) << Step; }

class FtpException : public Exception {
public:
    using Exception::Exception;
};

// Event signatures; Sender is the engine.
using TFtpDisplay = std::function<void(TObject* Sender, std::string& Msg)>;
using TFtpCommand = std::function<void(TObject* Sender, std::string& Cmd)>;
using TFtpProgress = std::function<void(TObject* Sender, std::int64_t Count, bool& Abort)>;
using TFtpRequestDone =
    std::function<void(TObject* Sender, TFtpRequest RqType, std::uint16_t Error)>;
using TFtpReadyToTransmit = std::function<void(TObject* Sender, bool& bCancel)>;

// Private messages of the engine's hidden window.
constexpr platform::UINT WM_FTP_REQUEST_DONE = platform::WM_USER + 1;
constexpr platform::UINT WM_FTP_SENDDATA = platform::WM_USER + 2;
// The end of an upload's file was read: the close runs from the loop, after
// the messages queued (a posted message, not a timer of no delay: that armed
// and disarmed a kernel timer at every file).
constexpr platform::UINT WM_FTP_UPLOAD_END = platform::WM_USER + 3;
// Timer of the engine's hidden window: the wait for the server's data
// connection after the transfer command in active mode (PassiveFallback).
constexpr platform::UINT_PTR FTP_DATA_WAIT_TIMER = 2;
// Timer of the engine's hidden window: the wait for the answer to the NOOP
// sent after an abandoned transfer's ABOR.
constexpr platform::UINT_PTR FTP_FENCE_TIMER = 3;

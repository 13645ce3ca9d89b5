// TFtpClient: the engine as the program uses it: TCustomFtpCli plus
// synchronous forms of its requests.
//
// Contract: a synchronous call starts the asynchronous request and pumps the
// thread's message loop (sleeping in the loop's wait, never spinning) until
// the engine is ready again or Timeout seconds pass without progress; it
// returns true only when the request ended with 0. On time-out the session
// is dropped (CancelAsync), ErrorMessage reads "426 Timeout", ReplyCode
// 426 and TimedOut is set (a server's own 426 leaves it clear). Any other
// handler of the program may run while a call waits. The request's
// OnRequestDone may arrive after the call returned.
#pragma once

#include <cstdint>

#include "ftp/CustomFtpCli.h"

class TFtpClient : public TCustomFtpCli {
public:
    explicit TFtpClient(TComponent* AOwner = nullptr);

    // Longest wait of a synchronous call in seconds; 0 or less: no limit.
    int Timeout = 15;
    // Pump only the calling thread's own messages (the control socket's
    // PumpMessages) instead of the application's loop.
    bool MultiThreaded = false;
    // The last synchronous call ended because its time-out passed.
    bool TimedOut = false;

    bool Connect();
    bool Cwd();
    bool Pwd();
    bool TypeSet();
    bool TypeBinary();
    bool TypeAscii();
    bool Get();
    bool Put();
    bool Quit();
    bool Dir();
    bool Mkd();
    bool Ren();
    bool Dele();
    bool Rmd();

    // Any request in its synchronous form (SIZE, NLST, the REST chains, ...).
    using TRequestMethod = void (TCustomFtpCli::*)();
    virtual bool RunSync(TRequestMethod Method);
    // Starts a request without waiting for it. False when it was refused and
    // started nothing (no OnRequestDone follows then), whatever state the
    // engine is left in: a session closed under it stays between steps.
    bool StartRequest(TRequestMethod Method);

protected:
    bool Progress() override;

    virtual bool WaitForIdle();
    void PumpOnce();
    // Pumps until Outcome is filled (or, failing that, the engine is ready).
    bool WaitForOutcome(TSyncOutcome& Outcome);

    // Registers an outcome for the length of one synchronous call.
    class TOutcomeScope {
    public:
        TOutcomeScope(TFtpClient& Owner, TSyncOutcome& Outcome);
        ~TOutcomeScope();
        TOutcomeScope(const TOutcomeScope&) = delete;
        TOutcomeScope& operator=(const TOutcomeScope&) = delete;

    private:
        TFtpClient& FOwner;
        TSyncOutcome* FOutcome;
    };

    std::uint64_t Deadline = 0;
    bool ProgressSeen = false;  // a data event since the wait last read the clock
};

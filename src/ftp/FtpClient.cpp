// TFtpClient: synchronous calls that pump the message loop until the engine
// is ready again.
#include "ftp/FtpCli.h"

#include <algorithm>

#include "platform/Messages.h"

namespace {
// Longest single sleep of a waiting call: the loop also wakes on every event.
constexpr std::uint64_t kWaitSliceMs = 100;

}  // namespace

TFtpClient::TFtpClient(TComponent* AOwner) : TCustomFtpCli(AOwner) {}

bool TFtpClient::RunSync(TRequestMethod Method) {
    const unsigned refusals = RefusalCount;
    TimedOut = false;
    LocalFileFailed = false;
    TSyncOutcome outcome;
    TOutcomeScope scope(*this, outcome);
    try {
        (this->*Method)();
    } catch (...) {
        return false;
    }
    // A refusal handed to OnError raised nothing but started nothing either.
    if (RefusalCount != refusals && !RequestRunning()) return false;
    return WaitForOutcome(outcome);
}

bool TFtpClient::StartRequest(TRequestMethod Method) {
    const unsigned refusals = RefusalCount;
    (this->*Method)();
    return RefusalCount == refusals || RequestRunning();
}

bool TFtpClient::WaitForIdle() {
    TSyncOutcome outcome;
    TOutcomeScope scope(*this, outcome);
    return WaitForOutcome(outcome);
}

bool TFtpClient::WaitForOutcome(TSyncOutcome& Outcome) {
    Deadline = platform::GetTickCount64() + static_cast<std::uint64_t>(std::max(Timeout, 0)) * 1000;
    TimedOut = false;
    for (;;) {
        if (Outcome.Done) return Outcome.Success;
        // No completion of our own: a request that ended without one.
        if (FState == fesReady || FState == fesBetweenSteps) return StepResult == 0;
        if (platform::Terminated()) break;
        const std::uint64_t now = platform::GetTickCount64();
        if (ProgressSeen) {
            ProgressSeen = false;
            Deadline = now + static_cast<std::uint64_t>(std::max(Timeout, 0)) * 1000;
        }
        if (Timeout > 0 && Deadline < now) break;
        PumpOnce();
        if (Outcome.Done || FState == fesReady || FState == fesBetweenSteps) continue;
        std::uint64_t slice = kWaitSliceMs;
        if (Timeout > 0) slice = std::min(slice, Deadline >= now ? Deadline - now + 1 : 1);
        platform::AppWaitForEvents(static_cast<int>(slice));
    }
    CancelAsync();
    // Set only here, so that a caller can tell this from a server's 426.
    TimedOut = !platform::Terminated();
    FErrorMessage = "426 Timeout";
    FReplyCode = 426;
    return false;
}

void TFtpClient::PumpOnce() {
    if (MultiThreaded && ControlSocket)
        ControlSocket->PumpMessages();
    else
        platform::AppProcessMessages();
}

bool TFtpClient::Progress() {
    // During a transfer the limit counts from the last data event; the wait
    // moves the deadline when it next reads the clock, not at every block.
    ProgressSeen = true;
    return TCustomFtpCli::Progress();
}

bool TFtpClient::Connect() { return RunSync(&TCustomFtpCli::ConnectAsync); }
bool TFtpClient::Cwd() { return RunSync(&TCustomFtpCli::CwdAsync); }
bool TFtpClient::Pwd() { return RunSync(&TCustomFtpCli::PwdAsync); }
bool TFtpClient::TypeSet() { return RunSync(&TCustomFtpCli::TypeSetAsync); }

bool TFtpClient::TypeBinary() {
    SetBinary(true);
    return RunSync(&TCustomFtpCli::TypeSetAsync);
}

bool TFtpClient::TypeAscii() {
    SetBinary(false);
    return RunSync(&TCustomFtpCli::TypeSetAsync);
}

bool TFtpClient::Get() { return RunSync(&TCustomFtpCli::GetAsync); }
bool TFtpClient::Put() { return RunSync(&TCustomFtpCli::PutAsync); }
bool TFtpClient::Quit() { return RunSync(&TCustomFtpCli::QuitAsync); }
bool TFtpClient::Dir() { return RunSync(&TCustomFtpCli::DirAsync); }
bool TFtpClient::Mkd() { return RunSync(&TCustomFtpCli::MkdAsync); }
bool TFtpClient::Ren() { return RunSync(&TCustomFtpCli::RenAsync); }
bool TFtpClient::Dele() { return RunSync(&TCustomFtpCli::DeleAsync); }
bool TFtpClient::Rmd() { return RunSync(&TCustomFtpCli::RmdAsync); }

TFtpClient::TOutcomeScope::TOutcomeScope(TFtpClient& Owner, TSyncOutcome& Outcome)
    : FOwner(Owner), FOutcome(&Outcome) {
    FOwner.SyncOutcomes.push_back(FOutcome);
}

TFtpClient::TOutcomeScope::~TOutcomeScope() { std::erase(FOwner.SyncOutcomes, FOutcome); }

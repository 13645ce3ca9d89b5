#include "toolkit/LoopBridge.h"

#include <algorithm>
#include <cstdint>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/Messages.h"
#include "toolkit/Handler.h"

namespace {

// While platform messages wait, Qt has a turn at most this often.
constexpr std::uint64_t kQtTurnMs = 16;
std::uint64_t gLastQtTurn = 0;

void QtTurn(QEventLoop::ProcessEventsFlags flags) {
    QCoreApplication::processEvents(flags);
    gLastQtTurn = platform::GetTickCount64();
}

// Platform handlers are program code: their exceptions go to the error box,
// never into Qt.
void DispatchPlatform() {
    RunHandler([] { platform::ProcessMessages(); });
}

}  // namespace

TLoopBridge::TLoopBridge()
    : Notifier(std::make_unique<QSocketNotifier>(platform::LoopDescriptor(), QSocketNotifier::Read)) {
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, [] { DispatchPlatform(); });
    platform::SetAppHooks({&TLoopBridge::ProcessAll, &TLoopBridge::WaitForEvents});
}

TLoopBridge::~TLoopBridge() { platform::SetAppHooks({}); }

void TLoopBridge::ProcessAll() {
    // A loop that pumps at every platform event gives Qt a turn once a frame,
    // not once an event: each turn repaints whatever changed since the last.
    if (platform::PendingMessageCount() == 0 || platform::GetTickCount64() - gLastQtTurn >= kQtTurnMs)
        QtTurn(QEventLoop::AllEvents);
    DispatchPlatform();
}

void TLoopBridge::WaitForEvents(int timeoutMs) {
    if (platform::PendingMessageCount() > 0) {
        DispatchPlatform();
        return;
    }
    if (timeoutMs == 0) {
        ProcessAll();
        return;
    }
    // Qt had its turn this frame: until the frame ends, wait for the platform
    // alone. A synchronous request's next reply or connection follows within
    // microseconds, and Qt's wait would poll every descriptor and queue the
    // notifier's event for each one.
    const std::uint64_t sinceQt = platform::GetTickCount64() - gLastQtTurn;
    if (sinceQt < kQtTurnMs) {
        const std::uint64_t frameLeft = kQtTurnMs - sinceQt;
        const int wait = timeoutMs > 0 ? std::min(timeoutMs, static_cast<int>(frameLeft)) : static_cast<int>(frameLeft);
        if (platform::WaitMessage(wait) || wait == timeoutMs) return;
    }
    // The deadline is a precise timer: Qt's coarse timers may fire up to 5%
    // (tens of milliseconds) late or early.
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    if (timeoutMs > 0) deadline.start(timeoutMs);
    QtTurn(QEventLoop::WaitForMoreEvents);
}

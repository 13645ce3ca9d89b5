#include "toolkit/Timer.h"

#include <QTimer>

#include "toolkit/Handler.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FTimer(std::make_unique<QTimer>()) {
    FTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { FireEvent(OnTimer, this); });
    Restart();
}

TTimer::~TTimer() { BeginDestroy(); }

void TTimer::SetEnabled(bool value) {
    FEnabled = value;
    Restart();
}

void TTimer::SetInterval(int ms) {
    FInterval = ms;
    Restart();
}

void TTimer::Restart() {
    FTimer->stop();
    if (FEnabled && FInterval > 0) FTimer->start(FInterval);
}

// TTimer: runs OnTimer every Interval milliseconds while enabled. A handler
// that disables its timer makes it a one-shot. Precise: Qt's coarse timers
// may be tens of milliseconds off.
#pragma once

#include <memory>

#include "base/Component.h"
#include "toolkit/Types.h"

class QTimer;

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    int Interval() const { return FInterval; }
    void SetInterval(int ms);

    TNotifyEvent OnTimer;

private:
    void Restart();

    std::unique_ptr<QTimer> FTimer;
    bool FEnabled = true;
    int FInterval = 1000;
};

// The part the window benches share: the program's own start-up, the hand-over
// as from the site manager (host:port), the connect by Timer1, and once the
// remote list shows "..", one timed run of the caller's transfer; then the
// window closes. Prints the seconds on success.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <QApplication>
#include <QTimer>

#include "app/Project1.h"
#include "toolkit/Application.h"
#include "transfer/Unit1.h"

namespace bench {

inline int RemoteRowOf(const std::string& caption) {
    for (int i = 0; i < FrmFTP->ListView1->Count(); ++i)
        if (FrmFTP->ListView1->Caption(i) == caption) return i;
    return -1;
}

// argv: PROGRAM HOST PORT USER PASSWORD VERB NAME. Transfer(verb, name,
// seconds) runs the transfer, sets the seconds it took and says whether it
// succeeded. Returns the program's exit status: 0, 1 (usage), 2 (never
// connected) or 3 (the transfer failed).
inline int RunOnceConnected(int argc, char** argv, const char* usage,
                            const std::function<bool(const std::string&, const std::string&, double&)>& Transfer) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 1;
    }
    const std::string host = argv[1], port = argv[2], user = argv[3], password = argv[4], verb = argv[5],
                      name = argv[6];
    QApplication qt(argc, argv);
    TApplication application;
    StartUp();

    int status = 2;
    double seconds = 0;
    auto* poll = new QTimer;
    bool running = false;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject::connect(poll, &QTimer::timeout, [&] {
        if (running) return;
        const bool connected = FrmFTP->CmdConnect->Caption() == "Disconnect" && FrmFTP->ListView1->Enabled();
        if (!connected || RemoteRowOf("..") < 0) {
            if (std::chrono::steady_clock::now() > giveUp) FrmFTP->CmdExit->PerformClick();
            return;
        }
        running = true;
        poll->stop();
        FrmFTP->RadBinary->SetChecked(true);
        status = Transfer(verb, name, seconds) ? 0 : 3;
        FrmFTP->CmdExit->PerformClick();
    });
    poll->start(20);
    FrmFTP->HandOver(user, host + ":" + port, password);
    delete poll;
    if (status == 0) std::printf("%.6f\n", seconds);
    else std::fprintf(stderr, "%s %s %s failed (%d)\n", argv[0], verb.c_str(), name.c_str(), status);
    return status;
}

}  // namespace bench

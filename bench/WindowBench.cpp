// One transfer through the transfer window, for bench/transfer: the program's
// own start-up, the hand-over as from the site manager (host:port), the connect by
// Timer1, then a click on DOWNLOAD (the focused row) or UPLOAD (a
// highlighted file of the explorer view), timed from the click until the
// window has the request's completion. Prints the seconds on success.
//
//     tarn_window_bench HOST PORT USER PASSWORD get|put NAME
//
// The local side is the folder "Last DirBox" of the per-user settings file,
// which the caller prepares (XDG_CONFIG_HOME). Run it on a real display.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QTimer>

#include "app/Project1.h"
#include "toolkit/Application.h"
#include "transfer/Unit1.h"

namespace {

bool Connected() { return FrmFTP->CmdConnect->Caption() == "Disconnect" && FrmFTP->ListView1->Enabled(); }

int RowOf(const std::string& caption) {
    for (int i = 0; i < FrmFTP->ListView1->Count(); ++i)
        if (FrmFTP->ListView1->Caption(i) == caption) return i;
    return -1;
}

// The transfer's own success line, logged only when the request succeeded.
bool Succeeded() {
    for (const std::string& line : FrmFTP->ListInfo->Items())
        if (line == "SUCCESSFULLY Transferred Data. It is now displayed.") return true;
    return false;
}

int ItemOf(TListBox* list, const std::string& text) {
    for (int i = 0; i < list->Count(); ++i)
        if (list->Strings(i) == text) return i;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: tarn_window_bench HOST PORT USER PASSWORD get|put NAME\n");
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
        if (!Connected() || RowOf("..") < 0) {
            if (std::chrono::steady_clock::now() > giveUp) FrmFTP->CmdExit->PerformClick();
            return;
        }
        running = true;
        poll->stop();
        FrmFTP->RadBinary->SetChecked(true);
        const auto start = std::chrono::steady_clock::now();
        if (verb == "get") {
            const int row = RowOf(name);
            if (row >= 0) {
                FrmFTP->ListView1->SetSelected(row, true);
                FrmFTP->ListView1->SetItemFocused(row);
                FrmFTP->Image4->NotifyClick();
                status = Succeeded() ? 0 : 3;
            }
        } else {
            FrmFTP->RadExplorer->SetChecked(true);
            FrmFTP->FileListBox1->Update();
            const int item = ItemOf(FrmFTP->FileListBox1, name);
            if (item >= 0) {
                FrmFTP->FileListBox1->SetSelected(item, true);
                FrmFTP->Image5->NotifyClick();
                status = Succeeded() ? 0 : 3;
            }
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        FrmFTP->CmdExit->PerformClick();
    });
    poll->start(20);
    FrmFTP->HandOver(user, host + ":" + port, password);
    delete poll;
    if (status == 0) std::printf("%.6f\n", seconds);
    else std::fprintf(stderr, "window %s %s failed (%d)\n", verb.c_str(), name.c_str(), status);
    return status;
}

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
#include <string>

#include "WindowBenchRun.h"

namespace {

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

bool Transfer(const std::string& verb, const std::string& name, double& seconds) {
    bool ok = false;
    const auto start = std::chrono::steady_clock::now();
    if (verb == "get") {
        const int row = bench::RemoteRowOf(name);
        if (row >= 0) {
            FrmFTP->ListView1->SetSelected(row, true);
            FrmFTP->ListView1->SetItemFocused(row);
            FrmFTP->Image4->NotifyClick();
            ok = Succeeded();
        }
    } else {
        FrmFTP->RadExplorer->SetChecked(true);
        FrmFTP->FileListBox1->Update();
        const int item = ItemOf(FrmFTP->FileListBox1, name);
        if (item >= 0) {
            FrmFTP->FileListBox1->SetSelected(item, true);
            FrmFTP->Image5->NotifyClick();
            ok = Succeeded();
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunOnceConnected(argc, argv, "tarn_window_bench HOST PORT USER PASSWORD get|put NAME", Transfer);
}

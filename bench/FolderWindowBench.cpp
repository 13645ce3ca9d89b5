// One folder transfer through the transfer window, for bench/transfer, the way
// a user starts one: a right click on the folder's row of the remote list
// (down) or on the folder in the local folder list (up), "Download" or
// "Upload" chosen from the menu by the keyboard. The target holds nothing of
// the folder yet, so no question is asked. Timed from the choice until the
// window is idle again with "Download ended: " / "Upload ended: " logged (the
// one refresh of the lists at the end included). Prints the seconds on
// success (every file moved).
//
//     tarn_folder_window_bench HOST PORT USER PASSWORD down|up NAME
//
// Down fetches the remote folder NAME of the login folder into the local
// folder on view; up sends the folder NAME of the local folder on view. The
// local folder on view is "Last DirBox" of the per-user settings file, which
// the caller prepares (XDG_CONFIG_HOME). Run it on a real display.
#include <chrono>
#include <cstdio>
#include <string>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "WindowBenchRun.h"

namespace {

using Clock = std::chrono::steady_clock;

// The batch's closing line, when every file arrived.
bool EndedWhole(const std::string& verb) {
    for (const std::string& line : FrmFTP->ListInfo->Items())
        if (line.rfind(verb + " ended: ", 0) == 0) return line.find(" 0 skipped, 0 not moved.") != std::string::npos;
    return false;
}

// A right click at `at` on the viewport; once the menu is up, `item` is chosen
// with Return and the clock starts. Returns after the menu's action has run.
bool ChooseFromContextMenu(QWidget* viewport, const QPoint& at, const QString& item, Clock::time_point& start) {
    bool chosen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || chosen) return;
        for (QAction* action : menu->actions())
            if (action->text() == item) {
                chosen = true;
                poll.stop();  // no wake-ups of ours while the transfer runs
                menu->setActiveAction(action);
                start = Clock::now();
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(menu, &press);
                QApplication::sendEvent(menu, &release);
            }
    });
    poll.start(5);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &click);
    return chosen;
}

// Runs the menu's action and waits until the window is idle with the batch's
// closing line (the action may return before the batch ends).
bool RunFolderTransfer(const std::string& verb, const std::string& name, double& seconds) {
    Clock::time_point start;
    bool chosen = false;
    if (verb == "down") {
        const int row = bench::RemoteRowOf(name);
        if (row < 0) return false;
        auto* rows = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        FrmFTP->ListView1->SetSelected(row, true);
        FrmFTP->ListView1->SetItemFocused(row);
        const QPoint on = rows->visualItemRect(rows->topLevelItem(row)).center();
        chosen = ChooseFromContextMenu(rows->viewport(), on, "Download", start);
    } else {
        int index = -1;
        for (int i = 0; i < FrmFTP->DirectoryListBox1->Count(); ++i)
            if (FrmFTP->DirectoryListBox1->Strings(i) == name) index = i;
        if (index < 0) return false;
        FrmFTP->DirectoryListBox1->SetItemIndex(index);
        auto* folders = static_cast<QListWidget*>(FrmFTP->DirectoryListBox1->Widget());
        const QPoint on = folders->visualItemRect(folders->item(index)).center();
        chosen = ChooseFromContextMenu(folders->viewport(), on, "Upload", start);
    }
    if (!chosen) return false;
    const std::string closing = verb == "down" ? "Download" : "Upload";
    const auto giveUp = Clock::now() + std::chrono::minutes(10);
    while (!EndedWhole(closing) && Clock::now() < giveUp)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return EndedWhole(closing);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunOnceConnected(argc, argv, "tarn_folder_window_bench HOST PORT USER PASSWORD down|up NAME",
                                   RunFolderTransfer);
}

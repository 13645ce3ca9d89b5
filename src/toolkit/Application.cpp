#include "toolkit/Application.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFont>
#include <QIcon>

#include "platform/Messages.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Control.h"
#include "toolkit/Form.h"
#include "toolkit/LoopBridge.h"
#include "toolkit/Text.h"

TApplication* Application = nullptr;

TApplication::TApplication() {
    Application = this;
    // The main window's close ends the program, not the last window's (tests
    // and hidden windows would otherwise quit Qt's loop early).
    QApplication::setQuitOnLastWindowClosed(false);
    // The windows' design fonts, mapped to metric-compatible fonts.
    QFont::insertSubstitution("Arial", "Liberation Sans");
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("Courier New", "Liberation Mono");
    QFont::insertSubstitution("Times New Roman", "Liberation Serif");
    platform::SetTerminated(false);
    FLoopBridge = std::make_unique<TLoopBridge>();
}

TApplication::~TApplication() {
    BeginDestroy();
    // Windows first, while their handlers can still reach the application.
    while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
    SetCursor(crDefault);
    FLoopBridge.reset();
    Application = nullptr;
}

void TApplication::SetTitle(const std::string& title) {
    FTitle = title;
    QApplication::setApplicationDisplayName(QString::fromUtf8(title.c_str()));
}

void TApplication::SetIcon(const std::string& name) {
    const QDir folder(":/icons/" + ToQString(name));
    QIcon icon;
    for (const QString& file : folder.entryList(QDir::Files)) icon.addFile(folder.filePath(file));
    QApplication::setWindowIcon(icon);
}

void TApplication::AdoptForm(TForm* form) {
    form->DoCreate();
    if (FMainForm == nullptr) FMainForm = form;
}

void TApplication::Run() {
    if (FMainForm != nullptr && !FTerminated) FMainForm->Show();
    if (!FTerminated) QApplication::exec();
}

void TApplication::Terminate() {
    FTerminated = true;
    platform::SetTerminated(true);
    for (QEventLoop* loop : FModalLoops) loop->quit();
    QCoreApplication::quit();
}

void TApplication::LeaveModal(QEventLoop* loop) {
    FModalLoops.erase(std::remove(FModalLoops.begin(), FModalLoops.end(), loop), FModalLoops.end());
}

void TApplication::ProcessMessages() { TLoopBridge::ProcessAll(); }

void TApplication::WaitForEvents(int timeoutMs) { TLoopBridge::WaitForEvents(timeoutMs); }

void TApplication::SetCursor(TCursor cursor) {
    if (cursor == FCursor) return;
    if (FCursor != crDefault) QApplication::restoreOverrideCursor();
    if (cursor != crDefault) QApplication::setOverrideCursor(ToQCursor(cursor));
    FCursor = cursor;
}

void TApplication::ShowException(const std::exception& e) { ShowErrorBox(e.what()); }

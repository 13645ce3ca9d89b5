// The application object: title, main window, modal showing, message
// pumping, the application-wide cursor and the terminating flag.
//
// Contract:
//  - Needs a QApplication to exist first; runs on its (the user-interface)
//    thread. One TApplication at a time, reachable through `Application`.
//  - Owns the windows created by CreateForm; the first one becomes the main
//    window, and closing the main window terminates the application.
//  - ProcessMessages pumps Qt's events and the platform loop; it is also what
//    the platform's AppProcessMessages runs while this object exists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "toolkit/Types.h"

class QEventLoop;
class TForm;
class TLoopBridge;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& title);
    // The icon of every window: the pictures built into the program under
    // the resource folder ":/icons/<name>/", one file per size.
    void SetIcon(const std::string& name);

    // Creates a window owned by the application, sets ref before its creation
    // handler runs, then runs that handler (errors go to the error box and
    // skip the rest of the handler only).
    template <class T>
    void CreateForm(T*& ref) {
        ref = new T(this);
        AdoptForm(ref);
    }
    TForm* MainForm() const { return FMainForm; }

    // Shows the main window and runs the event loop until Terminate.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Handles pending Qt events and platform messages without waiting.
    void ProcessMessages();
    // Waits for the next Qt event or platform message, at most timeoutMs.
    void WaitForEvents(int timeoutMs);

    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor cursor);

    // The default error box for an exception no handler caught.
    void ShowException(const std::exception& e);

    // Modal loops in progress, innermost last (ended all at once by Terminate).
    void EnterModal(QEventLoop* loop) { FModalLoops.push_back(loop); }
    void LeaveModal(QEventLoop* loop);

private:
    void AdoptForm(TForm* form);

    std::string FTitle;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
    TCursor FCursor = crDefault;
    std::vector<QEventLoop*> FModalLoops;
    std::unique_ptr<TLoopBridge> FLoopBridge;
};

extern TApplication* Application;

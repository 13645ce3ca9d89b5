// TForm: a top-level window with its controls, shown normally or modally.
//
// How a window is declared: derive from TForm, give every control a member
// pointer named as designed, create the controls in the constructor (owner
// and parent `this` or a container), set their design values and attach the
// handlers, which are member functions named after control and event:
//
//     class TFrmExample : public TForm {
//     public:
//         explicit TFrmExample(TComponent* AOwner);
//         TButton* CmdOk;
//         void FormCreate(TObject* Sender);
//         void CmdOkClick(TObject* Sender);
//     };
//
// Application->CreateForm(FrmExample) then runs OnCreate once the window is
// built. Closing goes through Close(): OnCloseQuery may refuse; a modal window
// ends its ShowModal, another window hides, and the main window ends the
// program. The close box, the window manager's close, Esc, Close() and a
// modal result all take that path; nothing else ends a modal showing except
// the application's Terminate.
#pragma once

#include <initializer_list>
#include <string>

#include "toolkit/Control.h"

class QEventLoop;
class TButton;

class TForm : public TControl {
public:
    static constexpr const char* kFormProperty = "tarnForm";
    enum TPosition { poDesigned, poScreenCenter };

    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The window's size as placed (frame not included).
    void SetOuterSize(int width, int height);
    TPosition Position = poScreenCenter;

    void Show();
    void Hide();
    void SetVisible(bool value) override;
    void Close();
    TModalResult ShowModal();
    bool Modal() const { return FModalLoop != nullptr; }
    TModalResult ModalResult() const { return FModalResult; }
    // A non-zero result ends a modal showing (after the close query), once the
    // handler that set it has returned.
    void SetModalResult(TModalResult result);

    void SetTabOrder(std::initializer_list<TControl*> controls);
    // Enter clicks the default button unless a button has the focus; Esc
    // clicks the cancel button, or closes a modal window that has none.
    void SetDefaultButton(TButton* button) { FDefaultButton = button; }
    void SetCancelButton(TButton* button) { FCancelButton = button; }
    TButton* DefaultButton() const { return FDefaultButton; }

    // Runs OnCreate (used by TApplication::CreateForm).
    void DoCreate();
    // Runs OnCloseQuery; true when the window may close.
    bool CloseQuery();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnClose;

    // Called by the window's widget.
    void HandleCloseBox() { Close(); }
    bool HandleKey(int key);

private:
    void CenterOnScreen();
    void CheckModalEnd();

    TModalResult FModalResult = mrNone;
    QEventLoop* FModalLoop = nullptr;
    bool FModalEnding = false;
    TButton* FDefaultButton = nullptr;
    TButton* FCancelButton = nullptr;
};

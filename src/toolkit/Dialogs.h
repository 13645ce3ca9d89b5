// The dialog seam: every message box, input box and file-open dialog of the
// program goes through the installed TDialogs. The Qt implementation shows
// real dialogs; tests install TScriptedDialogs, which records each box and
// answers from a queue.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/Types.h"

// Captions of our own for some buttons of a box; the others keep the standard ones.
using TButtonCaptions = std::map<TMsgDlgBtn, std::string>;

struct TMessageBoxRequest {
    TMsgDlgType Kind = mtCustom;
    std::string Caption;
    std::string Text;
    unsigned Buttons = mbOK;
    TButtonCaptions Captions;
    // The button Return presses; 0 leaves the choice to the toolkit.
    unsigned DefaultButton = 0;
    // A check box under the text when CheckBox is not empty; *Checked holds
    // its state going in and, once the box is closed, as the user left it.
    std::string CheckBox;
    bool* Checked = nullptr;
};

struct TOpenFileRequest {
    std::string Title;
    std::string Filter;  // "Description|*.a;*.b|Other|*.*"
    int FilterIndex = 1;  // 1-based, as in the filter text
    std::string InitialDir;
    bool MultiSelect = false;
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // Shows a box; answers the modal result of the chosen button.
    virtual TModalResult MessageBox(const TMessageBoxRequest& request) = 0;
    // The one-line input box; false when cancelled (value is then untouched).
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
    // The same for a secret (a passphrase): the typed text is not shown.
    virtual bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) {
        return InputQuery(caption, prompt, value);
    }
    // The file-open dialog; false when cancelled.
    virtual bool OpenFiles(const TOpenFileRequest& request, std::vector<std::string>& files) = 0;
};

// The installed implementation (the Qt one unless replaced).
TDialogs& Dialogs();
// Installs an implementation (empty: back to Qt's); returns the previous one.
std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs);

// The notice box: titled with the application title, no icon, one OK button.
void ShowMessage(const std::string& text);
// A box of the given kind: "Confirm" with a question icon for mtConfirmation,
// "Error", "Warning", "Information"; the notice title for mtCustom.
TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons);
// The same with captions of our own and the button that Return presses.
TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons, const TButtonCaptions& captions,
                        TMsgDlgBtn defaultButton);
// The same with a check box of that caption under the text.
TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons, const TButtonCaptions& captions,
                        TMsgDlgBtn defaultButton, const std::string& checkBox, bool& checked);
// The default error box for an exception no handler caught.
void ShowErrorBox(const std::string& message);
// The input box: the typed text, or defaultValue when cancelled. A value
// that is not UTF-8 comes back byte for byte when left unchanged; an edit
// that cannot keep its bytes is refused with a box, as if cancelled.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue);
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value);

// The non-visual file-open dialog component.
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
    // True when the user chose; FileName() and Files() then hold the choice.
    bool Execute();
    const std::string& FileName() const { return FFileName; }
    const std::vector<std::string>& Files() const { return FFiles; }

    std::string Title;
    std::string Filter;
    int FilterIndex = 1;
    std::string InitialDir;
    bool MultiSelect = false;

private:
    std::string FFileName;
    std::vector<std::string> FFiles;
};

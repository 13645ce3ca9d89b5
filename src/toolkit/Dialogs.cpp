#include "toolkit/Dialogs.h"

#include "toolkit/Application.h"
#include "toolkit/QtDialogs.h"
#include "toolkit/Text.h"

namespace {

std::unique_ptr<TDialogs>& Installed() {
    static std::unique_ptr<TDialogs> dialogs;
    return dialogs;
}

// U+FFFD in UTF-8: what a control shows for a byte that is not UTF-8.
constexpr const char* kReplacementMark = "\xEF\xBF\xBD";
constexpr const char* kCannotKeepBytes =
    "This text holds characters that are not UTF-8 and are shown as \"\xEF\xBF\xBD\". They cannot be kept "
    "through an edit, so nothing was changed. To change it, type the whole text anew, without \"\xEF\xBF\xBD\".";

std::string ApplicationTitle() { return Application != nullptr ? Application->Title() : std::string(); }

TMessageBoxRequest BoxRequest(const std::string& text, TMsgDlgType kind, unsigned buttons) {
    static const char* const titles[] = {"Warning", "Error", "Information", "Confirm"};
    TMessageBoxRequest request;
    request.Kind = kind;
    request.Caption = kind == mtCustom ? ApplicationTitle() : titles[kind];
    request.Text = text;
    request.Buttons = buttons;
    return request;
}

}  // namespace

TDialogs& Dialogs() {
    std::unique_ptr<TDialogs>& dialogs = Installed();
    if (!dialogs) dialogs = std::make_unique<TQtDialogs>();
    return *dialogs;
}

std::unique_ptr<TDialogs> SetDialogs(std::unique_ptr<TDialogs> dialogs) {
    std::unique_ptr<TDialogs> previous = std::move(Installed());
    Installed() = std::move(dialogs);
    return previous;
}

TModalResult ModalResultOf(TMsgDlgBtn button) {
    switch (button) {
        case mbYes: return mrYes;
        case mbNo: return mrNo;
        case mbOK: return mrOk;
        case mbCancel: return mrCancel;
        case mbAbort: return mrAbort;
        case mbRetry: return mrRetry;
        case mbIgnore: return mrIgnore;
    }
    return mrNone;
}

void ShowMessage(const std::string& text) { MessageDlg(text, mtCustom, mbOK); }

TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons) {
    return Dialogs().MessageBox(BoxRequest(text, kind, buttons));
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons, const TButtonCaptions& captions,
                        TMsgDlgBtn defaultButton) {
    TMessageBoxRequest request = BoxRequest(text, kind, buttons);
    request.Captions = captions;
    request.DefaultButton = defaultButton;
    return Dialogs().MessageBox(request);
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, unsigned buttons, const TButtonCaptions& captions,
                        TMsgDlgBtn defaultButton, const std::string& checkBox, bool& checked) {
    TMessageBoxRequest request = BoxRequest(text, kind, buttons);
    request.Captions = captions;
    request.DefaultButton = defaultButton;
    request.CheckBox = checkBox;
    request.Checked = &checked;
    return Dialogs().MessageBox(request);
}

void ShowErrorBox(const std::string& message) {
    TMessageBoxRequest request;
    request.Kind = mtError;
    request.Caption = ApplicationTitle();
    request.Text = message;
    request.Buttons = mbOK;
    Dialogs().MessageBox(request);
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue) {
    std::string value = defaultValue;
    return InputQuery(caption, prompt, value) ? value : defaultValue;
}

// A box shows only UTF-8 text. A value that is not (a file name in Latin-1)
// is offered as shown; what comes back unchanged is the value itself, byte
// for byte. An edit that still holds a replacement mark would change bytes
// the user never saw: refused, the value left as it was.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    const std::string shown = AsShown(value);
    std::string answer = shown;
    if (!Dialogs().InputQuery(caption, prompt, answer)) return false;
    if (answer == shown) return true;
    if (shown != value && answer.find(kReplacementMark) != std::string::npos) {
        MessageDlg(kCannotKeepBytes, mtError, mbOK);
        return false;
    }
    value = std::move(answer);
    return true;
}

bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    return Dialogs().PasswordQuery(caption, prompt, value);
}

bool TOpenDialog::Execute() {
    const TOpenFileRequest request{Title, Filter, FilterIndex, InitialDir, MultiSelect};
    std::vector<std::string> files;
    if (!Dialogs().OpenFiles(request, files) || files.empty()) return false;
    FFiles = std::move(files);
    FFileName = FFiles.front();
    return true;
}

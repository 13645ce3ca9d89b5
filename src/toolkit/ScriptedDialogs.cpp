#include "toolkit/ScriptedDialogs.h"

bool TScriptedDialogs::Next(TScriptedAnswer& answer) {
    if (Answers.empty()) return false;
    answer = std::move(Answers.front());
    Answers.pop_front();
    return true;
}

void TScriptedDialogs::Opened(const TDialogRecord& record) {
    Records.push_back(record);
    if (WhileOpen) WhileOpen(record);
}

TModalResult TScriptedDialogs::MessageBox(const TMessageBoxRequest& request) {
    TDialogRecord record;
    record.Kind = TDialogRecord::dkMessage;
    record.Type = request.Kind;
    record.Caption = request.Caption;
    record.Text = request.Text;
    record.Buttons = request.Buttons;
    record.Captions = request.Captions;
    record.DefaultButton = request.DefaultButton;
    record.CheckBox = request.CheckBox;
    Opened(record);
    TScriptedAnswer answer;
    if (Next(answer)) {
        if (request.Checked != nullptr) *request.Checked = answer.Checked;
        return answer.Result;
    }
    if ((request.Buttons & request.DefaultButton) != 0)
        return ModalResultOf(static_cast<TMsgDlgBtn>(request.DefaultButton));
    if ((request.Buttons & mbOK) != 0 || request.Buttons == 0) return mrOk;
    for (unsigned bit = 1; bit <= mbIgnore; bit <<= 1)
        if ((request.Buttons & bit) != 0) return ModalResultOf(static_cast<TMsgDlgBtn>(bit));
    return mrOk;
}

bool TScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    TDialogRecord record;
    record.Kind = TDialogRecord::dkInput;
    record.Caption = caption;
    record.Text = prompt;
    record.Value = value;
    Opened(record);
    TScriptedAnswer answer;
    if (!Next(answer) || !answer.Accept) return false;
    value = answer.Value;
    return true;
}

bool TScriptedDialogs::OpenFiles(const TOpenFileRequest& request, std::vector<std::string>& files) {
    TDialogRecord record;
    record.Kind = TDialogRecord::dkOpenFile;
    record.Caption = request.Title;
    record.Text = request.Filter;
    record.Value = request.InitialDir;
    Opened(record);
    TScriptedAnswer answer;
    if (!Next(answer) || !answer.Accept) return false;
    files = answer.Files;
    return !files.empty();
}

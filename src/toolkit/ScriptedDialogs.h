// The dialogs of the tests: every box is recorded (kind, caption, text,
// buttons) and answered from a queue, without showing anything.
//
// Unanswered boxes get a default: a message box its default button, else its
// OK button, else its first one; an input box and a file dialog "cancelled".
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/Dialogs.h"

struct TDialogRecord {
    enum TKind { dkMessage, dkInput, dkOpenFile } Kind = dkMessage;
    TMsgDlgType Type = mtCustom;  // message boxes only
    std::string Caption;          // the title (the dialog's title for a file dialog)
    std::string Text;             // message, input prompt, or file filter
    unsigned Buttons = 0;
    TButtonCaptions Captions;     // message boxes: the captions of their own
    unsigned DefaultButton = 0;   // message boxes: the one Return presses
    std::string Value;            // input box: the value it opened with
    std::string CheckBox;         // message boxes: the check box's caption
};

struct TScriptedAnswer {
    TModalResult Result = mrOk;        // message boxes
    bool Accept = true;                // input boxes and file dialogs
    std::string Value;                 // input boxes
    std::vector<std::string> Files;    // file dialogs
    bool Checked = false;              // message boxes with a check box: its state
};

class TScriptedDialogs : public TDialogs {
public:
    TModalResult MessageBox(const TMessageBoxRequest& request) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool OpenFiles(const TOpenFileRequest& request, std::vector<std::string>& files) override;

    void Answer(TScriptedAnswer answer) { Answers.push_back(std::move(answer)); }
    void AnswerResult(TModalResult result, bool checked = false) { Answers.push_back({result, true, {}, {}, checked}); }
    void AnswerText(std::string value) { Answers.push_back({mrOk, true, std::move(value), {}, false}); }
    void AnswerFiles(std::vector<std::string> files) { Answers.push_back({mrOk, true, {}, std::move(files), false}); }

    // Runs while a box is "open", before it is answered (for example to check
    // what else keeps running under a modal box).
    std::function<void(const TDialogRecord&)> WhileOpen;

    std::vector<TDialogRecord> Records;
    std::deque<TScriptedAnswer> Answers;

private:
    bool Next(TScriptedAnswer& answer);
    void Opened(const TDialogRecord& record);
};

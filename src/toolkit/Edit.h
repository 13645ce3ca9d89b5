// TEdit: a one-line text box.
//
//  - MaxLength counts bytes of the UTF-8 text (the program stores texts in
//    byte fields); typing and pasting never exceed it and never split a
//    character. Text set from code is not limited, as with the original.
//  - CharCase upper: letters become capitals, typed, pasted or set from code.
//  - PasswordChar: every character is shown as that character.
//  - OnChange runs on every change of the text, typed or set from code.
//  - Enter applies the text: OnChange runs once more, as if it had just been
//    typed, and the key goes no further (never to the window's default
//    button).
#pragma once

#include <string>

#include "toolkit/Control.h"

class QLineEdit;

enum TEditCharCase { ecNormal, ecUpperCase };

class TEdit : public TControl {
public:
    TEdit(TComponent* AOwner, TControl* AParent);

    std::string Text() const;
    void SetText(const std::string& text);
    void Clear() { SetText(std::string()); }

    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int bytes);  // 0: no limit
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase value) { FCharCase = value; }
    void SetPasswordChar(char c);
    void SetReadOnly(bool value);

    // Inserts the clipboard's text at the caret (replacing the selection),
    // cut to what the length limit leaves room for.
    void PasteFromClipboard();
    void SelectAll();

    TNotifyEvent OnChange;

    // Used by the edit's widget.
    void NotifyDblClick() { DblClick(); }
    void NotifyEnter();

private:
    QLineEdit* Line() const;

    int FMaxLength = 0;
    TEditCharCase FCharCase = ecNormal;
};

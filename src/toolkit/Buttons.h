// Push buttons: TButton (caption, hint, default/cancel, modal result) and
// TBitBtn (the same with a glyph and a kind).
#pragma once

#include <string>

#include "toolkit/Control.h"

class QPushButton;

class TButton : public TControl {
public:
    TButton(TComponent* AOwner, TControl* AParent);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The window's default button (Enter) / cancel button (Esc).
    void SetDefault(bool value);
    void SetCancel(bool value);
    // A click sets this result on the window, which ends a modal showing.
    TModalResult ModalResult = mrNone;

    // A click as the user makes it: handler, then the modal result.
    void PerformClick();

protected:
    QPushButton* Button() const;
};

// Pictures for button glyphs (drawn from the style's standard icons).
enum TGlyph { glNone, glConnect, glAdd, glUpdate, glDelete, glWeb, glOk, glCancel, glSettings, glHelp, glUp, glDown };
enum TBitBtnKind { bkCustom, bkOK, bkCancel };

class TBitBtn : public TButton {
public:
    TBitBtn(TComponent* AOwner, TControl* AParent);
    void SetGlyph(TGlyph glyph);
    TGlyph Glyph() const { return FGlyph; }
    // bkOK: caption "OK", modal result OK, the OK glyph; bkCancel likewise.
    void SetKind(TBitBtnKind kind);
    TBitBtnKind Kind() const { return FKind; }

private:
    TGlyph FGlyph = glNone;
    TBitBtnKind FKind = bkCustom;
};

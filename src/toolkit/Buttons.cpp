#include "toolkit/Buttons.h"

#include <QApplication>
#include <QPushButton>
#include <QStyle>

#include "toolkit/Form.h"
#include "toolkit/Text.h"

TButton::TButton(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new QPushButton(AParent->ClientWidget())) {
    QObject::connect(Button(), &QPushButton::clicked, Button(), [this] { PerformClick(); });
}

QPushButton* TButton::Button() const { return static_cast<QPushButton*>(Widget()); }

std::string TButton::Caption() const { return FromQString(Button()->text()); }
void TButton::SetCaption(const std::string& caption) { Button()->setText(ToQString(caption)); }

void TButton::SetDefault(bool value) {
    if (TForm* form = ParentForm()) form->SetDefaultButton(value ? this : nullptr);
    Button()->setDefault(value);
}

void TButton::SetCancel(bool value) {
    if (TForm* form = ParentForm()) form->SetCancelButton(value ? this : nullptr);
}

void TButton::PerformClick() {
    if (!Enabled() || !Visible()) return;
    TForm* form = ParentForm();
    Click();
    if (ModalResult != mrNone && form != nullptr) form->SetModalResult(ModalResult);
}

TBitBtn::TBitBtn(TComponent* AOwner, TControl* AParent) : TButton(AOwner, AParent) {}

void TBitBtn::SetGlyph(TGlyph glyph) {
    static constexpr QStyle::StandardPixmap kPixmaps[] = {
        QStyle::SP_CustomBase,          QStyle::SP_DriveNetIcon,       QStyle::SP_FileDialogNewFolder,
        QStyle::SP_BrowserReload,       QStyle::SP_TrashIcon,          QStyle::SP_DirHomeIcon,
        QStyle::SP_DialogOkButton,      QStyle::SP_DialogCancelButton, QStyle::SP_FileDialogDetailedView,
        QStyle::SP_MessageBoxQuestion,  QStyle::SP_ArrowUp,            QStyle::SP_ArrowDown,
    };
    FGlyph = glyph;
    Button()->setIcon(glyph == glNone ? QIcon() : QApplication::style()->standardIcon(kPixmaps[glyph]));
}

void TBitBtn::SetKind(TBitBtnKind kind) {
    FKind = kind;
    if (kind == bkOK) {
        SetCaption("OK");
        ModalResult = mrOk;
        SetGlyph(glOk);
    } else if (kind == bkCancel) {
        SetCaption("Cancel");
        ModalResult = mrCancel;
        SetGlyph(glCancel);
    }
}

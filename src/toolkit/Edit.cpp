#include "toolkit/Edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProxyStyle>
#include <QValidator>

#include "toolkit/Handler.h"
#include "toolkit/Text.h"

namespace {

class EditWidget : public QLineEdit {
public:
    EditWidget(TEdit* edit, QWidget* parent) : QLineEdit(parent), Edit(edit) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QLineEdit::mouseDoubleClickEvent(event);
        Edit->NotifyDblClick();
    }
    void keyPressEvent(QKeyEvent* event) override {
        // Qt would refuse a paste that does not fit as a whole; the box takes
        // what fits instead.
        if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
            Edit->PasteFromClipboard();
            return;
        }
        // Qt passes Enter on to the window, whose default button would take
        // it: it belongs to the box.
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            Edit->NotifyEnter();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    TEdit* Edit;
};

// Typing: forced capitals and the byte limit.
class EditValidator : public QValidator {
public:
    EditValidator(TEdit* edit, QObject* parent) : QValidator(parent), Edit(edit) {}
    State validate(QString& input, int& pos) const override {
        if (Edit->CharCase() == ecUpperCase) input = input.toUpper();
        pos = std::min(pos, static_cast<int>(input.size()));
        if (Edit->MaxLength() > 0 && input.toUtf8().size() > Edit->MaxLength()) return Invalid;
        return Acceptable;
    }

private:
    TEdit* Edit;
};

class PasswordStyle : public QProxyStyle {
public:
    explicit PasswordStyle(char c) : Char(c) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return Char;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    char Char;
};

}  // namespace

TEdit::TEdit(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new EditWidget(this, AParent->ClientWidget())) {
    Line()->setValidator(new EditValidator(this, Line()));
    QObject::connect(Line(), &QLineEdit::textChanged, Line(), [this] { FireEvent(OnChange, this); });
}

QLineEdit* TEdit::Line() const { return static_cast<QLineEdit*>(Widget()); }

std::string TEdit::Text() const { return FromQString(Line()->text()); }
void TEdit::SetText(const std::string& text) { Line()->setText(ToQString(text)); }

void TEdit::SetMaxLength(int bytes) { FMaxLength = bytes; }

void TEdit::SetPasswordChar(char c) {
    if (c == 0) {
        Line()->setEchoMode(QLineEdit::Normal);
        return;
    }
    auto* style = new PasswordStyle(c);
    style->setParent(Line());
    Line()->setStyle(style);
    Line()->setEchoMode(QLineEdit::Password);
}

void TEdit::SetReadOnly(bool value) { Line()->setReadOnly(value); }

void TEdit::PasteFromClipboard() {
    QString clip = QApplication::clipboard()->text();
    clip.replace('\n', ' ').remove('\r');
    if (FCharCase == ecUpperCase) clip = clip.toUpper();
    if (FMaxLength > 0) {
        QString rest = Line()->text();
        if (Line()->hasSelectedText()) rest.remove(Line()->selectionStart(), Line()->selectedText().size());
        const qsizetype used = rest.toUtf8().size();
        clip = used >= FMaxLength ? QString() : CutToUtf8Bytes(clip, static_cast<std::size_t>(FMaxLength - used));
    }
    if (!clip.isEmpty()) Line()->insert(clip);
}

void TEdit::SelectAll() { Line()->selectAll(); }

void TEdit::NotifyEnter() { FireEvent(OnChange, this); }

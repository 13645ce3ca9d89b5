#include "toolkit/Control.h"

#include <cmath>

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QVariant>

#include "toolkit/Form.h"
#include "toolkit/Handler.h"
#include "toolkit/Text.h"

TControl::TControl(TComponent* AOwner, QWidget* widget) : TComponent(AOwner), FWidget(widget) {
    FWidget->setFont(ToQFont(FFont));
}

TControl::~TControl() {
    BeginDestroy();
    delete FWidget.data();
}

void TControl::SetBounds(int left, int top, int width, int height) { FWidget->setGeometry(left, top, width, height); }
int TControl::Left() const { return FWidget->x(); }
int TControl::Top() const { return FWidget->y(); }
int TControl::Width() const { return FWidget->width(); }
int TControl::Height() const { return FWidget->height(); }

void TControl::SetVisible(bool value) {
    FVisible = value;
    FWidget->setVisible(value);
}

bool TControl::Enabled() const { return FWidget->isEnabled(); }
void TControl::SetEnabled(bool value) { FWidget->setEnabled(value); }

void TControl::SetHint(const std::string& hint) {
    FHint = hint;
    FWidget->setToolTip(ToQString(hint));
}

bool TControl::TabStop() const { return (FWidget->focusPolicy() & Qt::TabFocus) != 0; }
void TControl::SetTabStop(bool value) { FWidget->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus); }

void TControl::SetFocus() { FWidget->setFocus(Qt::OtherFocusReason); }
bool TControl::Focused() const { return FWidget->hasFocus(); }

void TControl::SetFont(const TFont& font) {
    FFont = font;
    FWidget->setFont(ToQFont(font));
    if (font.Color != clDefault) {
        QPalette palette = FWidget->palette();
        palette.setColor(QPalette::WindowText, ToQColor(font.Color));
        palette.setColor(QPalette::Text, ToQColor(font.Color));
        palette.setColor(QPalette::ButtonText, ToQColor(font.Color));
        FWidget->setPalette(palette);
    }
}

void TControl::SetColor(TColor color) {
    FColor = color;
    if (color == clDefault) return;
    QPalette palette = FWidget->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    // Lists and edits paint their own area in Base. Set only on them: Qt
    // hands explicit roles down to children, and the other controls' edits
    // keep the style's white.
    if (qobject_cast<QAbstractScrollArea*>(FWidget.data()) != nullptr || qobject_cast<QLineEdit*>(FWidget.data()) != nullptr)
        palette.setColor(QPalette::Base, ToQColor(color));
    FWidget->setPalette(palette);
    FWidget->setAutoFillBackground(true);
}

void TControl::SetCursor(TCursor cursor) {
    FCursor = cursor;
    if (cursor == crDefault) FWidget->unsetCursor();
    else FWidget->setCursor(ToQCursor(cursor));
}

TForm* TControl::ParentForm() const {
    QWidget* top = FWidget->window();
    return top != nullptr ? static_cast<TForm*>(top->property(TForm::kFormProperty).value<void*>()) : nullptr;
}

void TControl::FireEventIfAny(const TNotifyEvent& event) { FireEvent(event, this); }

QColor ToQColor(TColor color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

Qt::CursorShape ToQCursor(TCursor cursor) {
    switch (cursor) {
        case crHourGlass: return Qt::WaitCursor;
        case crHandPoint: return Qt::PointingHandCursor;
        case crDefault:
        case crArrow: break;
    }
    return Qt::ArrowCursor;
}

QFont ToQFont(const TFont& font) {
    QFont f(ToQString(font.Name));
    // Points as designed at 96 dots per inch, so that layouts hold on any screen.
    f.setPixelSize(static_cast<int>(std::lround(font.Size * 96.0 / 72.0)));
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    return f;
}

#include "toolkit/RadioButton.h"

#include <QRadioButton>

#include "toolkit/Text.h"

TRadioButton::TRadioButton(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new QRadioButton(AParent->ClientWidget())) {
    QObject::connect(Radio(), &QRadioButton::toggled, Radio(), [this](bool checked) {
        if (checked) Click();
    });
}

QRadioButton* TRadioButton::Radio() const { return static_cast<QRadioButton*>(Widget()); }

std::string TRadioButton::Caption() const { return FromQString(Radio()->text()); }
void TRadioButton::SetCaption(const std::string& caption) { Radio()->setText(ToQString(caption)); }

bool TRadioButton::Checked() const { return Radio()->isChecked(); }

void TRadioButton::SetChecked(bool value) {
    if (value) {
        Radio()->setChecked(true);
        return;
    }
    // Qt keeps one of a group checked; the windows may uncheck them all.
    Radio()->setAutoExclusive(false);
    Radio()->setChecked(false);
    Radio()->setAutoExclusive(true);
}

// TRadioButton: one of the radio buttons sharing a parent. OnClick runs each
// time it becomes checked, whether by the user or from code (the windows rely
// on checking from code running the handler).
#pragma once

#include <string>

#include "toolkit/Control.h"

class QRadioButton;

class TRadioButton : public TControl {
public:
    TRadioButton(TComponent* AOwner, TControl* AParent);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Checked() const;
    void SetChecked(bool value);

private:
    QRadioButton* Radio() const;
};

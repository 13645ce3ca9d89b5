// TLabel: static text, optionally word-wrapped, sized to its text unless
// AutoSize is off (then the designed size is kept). A click runs OnClick.
#pragma once

#include <string>

#include "toolkit/Control.h"

class QLabel;

class TLabel : public TControl {
public:
    TLabel(TComponent* AOwner, TControl* AParent);

    std::string Caption() const { return FCaption; }
    void SetCaption(const std::string& caption);
    void SetWordWrap(bool value);
    void SetAutoSize(bool value);
    void SetTransparent(bool value);
    // Left, centre or right, as Qt::Alignment flags.
    void SetAlignment(int alignment);

    // Used by the label's widget: a click runs OnClick.
    void NotifyClick() { Click(); }

private:
    QLabel* Label() const;
    void Fit();

    std::string FCaption;
    bool FAutoSize = true;
};

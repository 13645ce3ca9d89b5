// Controls that hold other controls: TPanel (with a bevel), TGroupBox (with a
// title) and TScrollBox (scrolls its content when it outgrows the box).
#pragma once

#include <string>

#include "toolkit/Control.h"

class QScrollArea;

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TControl {
public:
    TPanel(TComponent* AOwner, TControl* AParent);
    void SetBevelOuter(TBevelCut bevel);
    // Text centred in the panel (empty: none).
    void SetCaption(const std::string& caption);

private:
    class QLabel* FCaption = nullptr;
};

class TGroupBox : public TControl {
public:
    TGroupBox(TComponent* AOwner, TControl* AParent);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
};

class TScrollBox : public TControl {
public:
    TScrollBox(TComponent* AOwner, TControl* AParent);
    QWidget* ClientWidget() const override { return FContent; }
    // Makes the scrollable area as large as the children need.
    void FitContent();

private:
    QScrollArea* Area() const;
    QWidget* FContent;
};

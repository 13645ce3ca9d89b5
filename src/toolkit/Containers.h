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

// The scroll box scrolls a content area (where its children sit) that is
// either fitted to the children or given a fixed range. Scrolling follows the
// thumb while it is dragged.
class TScrollBox : public TControl {
public:
    TScrollBox(TComponent* AOwner, TControl* AParent);
    QWidget* ClientWidget() const override { return FContent; }
    // Makes the scrollable area as large as the children need.
    void FitContent();
    // A fixed scrollable area of width x height.
    void SetRange(int width, int height);
    int RangeWidth() const;
    int RangeHeight() const;
    // Thickness of both scroll bars in pixels.
    void SetScrollBarSize(int pixels);
    // Places the box so that its visible area (inside frame and scroll bars)
    // is width x height.
    void SetVisibleArea(int left, int top, int width, int height);
    int VisibleWidth() const;
    int VisibleHeight() const;

private:
    QScrollArea* Area() const;
    QWidget* FContent;
    int FBarSize = 0;
};

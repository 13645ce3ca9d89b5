#include "toolkit/Containers.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include "toolkit/Text.h"

namespace {

// The scroll area reserves a bar's size hint, so the thickness goes there.
class SizedScrollBar : public QScrollBar {
public:
    SizedScrollBar(Qt::Orientation orientation, int thickness) : QScrollBar(orientation), Thickness(thickness) {
        setTracking(true);
    }
    QSize sizeHint() const override {
        const QSize hint = QScrollBar::sizeHint();
        return orientation() == Qt::Vertical ? QSize(Thickness, hint.height()) : QSize(hint.width(), Thickness);
    }

private:
    int Thickness;
};

}  // namespace

TPanel::TPanel(TComponent* AOwner, TControl* AParent) : TControl(AOwner, new QFrame(AParent->ClientWidget())) {
    SetBevelOuter(bvRaised);
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
    auto* frame = static_cast<QFrame*>(Widget());
    switch (bevel) {
        case bvNone: frame->setFrameStyle(QFrame::NoFrame); break;
        case bvLowered: frame->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
        case bvRaised: frame->setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    }
}

void TPanel::SetCaption(const std::string& caption) {
    if (FCaption == nullptr) {
        FCaption = new QLabel(Widget());
        FCaption->setAlignment(Qt::AlignCenter);
        FCaption->lower();
    }
    FCaption->setText(ToQString(caption));
    FCaption->setGeometry(0, 0, Width(), Height());
}

TGroupBox::TGroupBox(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new QGroupBox(AParent->ClientWidget())) {}

std::string TGroupBox::Caption() const { return FromQString(static_cast<QGroupBox*>(Widget())->title()); }
void TGroupBox::SetCaption(const std::string& caption) { static_cast<QGroupBox*>(Widget())->setTitle(ToQString(caption)); }

TScrollBox::TScrollBox(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new QScrollArea(AParent->ClientWidget())), FContent(new QWidget) {
    Area()->setWidget(FContent);
    Area()->setWidgetResizable(false);
    Area()->verticalScrollBar()->setTracking(true);
    Area()->horizontalScrollBar()->setTracking(true);
}

QScrollArea* TScrollBox::Area() const { return static_cast<QScrollArea*>(Widget()); }

void TScrollBox::SetRange(int width, int height) { FContent->resize(width, height); }
int TScrollBox::RangeWidth() const { return FContent->width(); }
int TScrollBox::RangeHeight() const { return FContent->height(); }

void TScrollBox::SetScrollBarSize(int pixels) {
    FBarSize = pixels;
    Area()->setVerticalScrollBar(new SizedScrollBar(Qt::Vertical, pixels));
    Area()->setHorizontalScrollBar(new SizedScrollBar(Qt::Horizontal, pixels));
}

void TScrollBox::SetVisibleArea(int left, int top, int width, int height) {
    const int frame = 2 * Area()->frameWidth();
    const int vbar = FBarSize > 0 ? FBarSize : Area()->verticalScrollBar()->sizeHint().width();
    const int hbar = FBarSize > 0 ? FBarSize : Area()->horizontalScrollBar()->sizeHint().height();
    // The bars show when the range exceeds the area.
    const bool showV = RangeHeight() > height;
    const bool showH = RangeWidth() > width;
    SetBounds(left, top, width + frame + (showV ? vbar : 0), height + frame + (showH ? hbar : 0));
}

int TScrollBox::VisibleWidth() const { return Area()->viewport()->width(); }
int TScrollBox::VisibleHeight() const { return Area()->viewport()->height(); }

void TScrollBox::FitContent() {
    QRect bounds;
    for (const QObject* child : FContent->children())
        if (const auto* w = qobject_cast<const QWidget*>(child)) bounds |= w->geometry();
    const QSize viewport = Area()->viewport()->size();
    FContent->resize(std::max(bounds.right() + 1, viewport.width()), std::max(bounds.bottom() + 1, viewport.height()));
}

#include "toolkit/Label.h"

#include <QLabel>
#include <QMouseEvent>

#include "toolkit/Text.h"

namespace {

class LabelWidget : public QLabel {
public:
    LabelWidget(TLabel* label, QWidget* parent) : QLabel(parent), Label(label) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Label->NotifyClick();
    }

private:
    TLabel* Label;
};

}  // namespace

TLabel::TLabel(TComponent* AOwner, TControl* AParent)
    : TControl(AOwner, new LabelWidget(this, AParent->ClientWidget())) {
    Label()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label()->setTextFormat(Qt::PlainText);
}

QLabel* TLabel::Label() const { return static_cast<QLabel*>(Widget()); }

void TLabel::SetCaption(const std::string& caption) {
    FCaption = caption;
    Label()->setText(ToQString(caption));
    Fit();
}

void TLabel::SetWordWrap(bool value) {
    Label()->setWordWrap(value);
    Fit();
}

void TLabel::SetAutoSize(bool value) {
    FAutoSize = value;
    Fit();
}

void TLabel::SetTransparent(bool value) { Label()->setAutoFillBackground(!value); }

void TLabel::SetAlignment(int alignment) { Label()->setAlignment(Qt::Alignment(alignment) | Qt::AlignTop); }

void TLabel::Fit() {
    if (!FAutoSize) return;
    if (Label()->wordWrap()) {
        // A wrapping label keeps its width and grows downwards.
        const int width = Width();
        Label()->resize(width, Label()->heightForWidth(width));
    } else {
        Label()->adjustSize();
    }
}

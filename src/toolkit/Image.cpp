#include "toolkit/Image.h"

#include <algorithm>

#include <QLabel>
#include <QMouseEvent>

namespace {

class ImageWidget : public QLabel {
public:
    ImageWidget(TImage* image, QWidget* parent) : QLabel(parent), Image(image) { setAlignment(Qt::AlignCenter); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Image->NotifyClick();
    }
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Image->NotifyResize();
    }

private:
    TImage* Image;
};

}  // namespace

TImage::TImage(TComponent* AOwner, TControl* AParent) : TControl(AOwner, new ImageWidget(this, AParent->ClientWidget())) {}

void TImage::SetPicture(TPicture picture) {
    FPicture = picture;
    NotifyResize();
}

void TImage::NotifyResize() {
    const int size = std::max(1, std::min(Width(), Height()));
    static_cast<QLabel*>(Widget())->setPixmap(FPicture == piNone ? QPixmap() : PicturePixmap(FPicture, size));
}

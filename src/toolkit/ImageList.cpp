#include "toolkit/ImageList.h"

int TImageList::Add(TPicture picture) {
    FPictures.push_back(picture);
    FIcons.clear();
    return Count() - 1;
}

TPicture TImageList::Picture(int index) const {
    return index >= 0 && index < Count() ? FPictures[static_cast<size_t>(index)] : piNone;
}

QPixmap TImageList::Pixmap(int index) const {
    return index >= 0 && index < Count() ? PicturePixmap(Picture(index), FSize) : QPixmap();
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count()) return QIcon();
    if (FIcons.empty()) FIcons.resize(FPictures.size());
    QIcon& icon = FIcons[static_cast<size_t>(index)];
    if (icon.isNull()) icon = QIcon(Pixmap(index));
    return icon;
}

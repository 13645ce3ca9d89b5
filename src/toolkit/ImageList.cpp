#include "toolkit/ImageList.h"

int TImageList::Add(TPicture picture) {
    FPictures.push_back(picture);
    return Count() - 1;
}

TPicture TImageList::Picture(int index) const {
    return index >= 0 && index < Count() ? FPictures[static_cast<size_t>(index)] : piNone;
}

QPixmap TImageList::Pixmap(int index) const {
    return index >= 0 && index < Count() ? PicturePixmap(Picture(index), FSize) : QPixmap();
}

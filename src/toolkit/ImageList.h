// TImageList: a non-visual list of small pictures of one size, used by list
// views for their row images.
#pragma once

#include <vector>

#include <QIcon>
#include <QPixmap>

#include "base/Component.h"
#include "toolkit/Pictures.h"

class TImageList : public TComponent {
public:
    TImageList(TComponent* AOwner, int size = 16) : TComponent(AOwner), FSize(size) {}

    int Add(TPicture picture);
    int Count() const { return static_cast<int>(FPictures.size()); }
    int Size() const { return FSize; }
    TPicture Picture(int index) const;
    // An empty pixmap for an index outside the list.
    QPixmap Pixmap(int index) const;
    // The picture as an icon, drawn once per index: a list of thousands of
    // rows shares a handful of them.
    QIcon Icon(int index) const;

private:
    int FSize;
    std::vector<TPicture> FPictures;
    mutable std::vector<QIcon> FIcons;
};

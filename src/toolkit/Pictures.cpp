#include "toolkit/Pictures.h"

#include <QApplication>
#include <QPainter>
#include <QPolygonF>
#include <QStyle>

namespace {

QPixmap Blank(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap Arrow(int size, bool right) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    // Shaft from 10% to 55%, head to 92%, drawn pointing right.
    QPolygonF shape({{0.08 * s, 0.36 * s}, {0.52 * s, 0.36 * s}, {0.52 * s, 0.14 * s}, {0.92 * s, 0.5 * s},
                     {0.52 * s, 0.86 * s}, {0.52 * s, 0.64 * s}, {0.08 * s, 0.64 * s}});
    if (!right)
        for (QPointF& point : shape) point.setX(s - point.x());
    p.setPen(QPen(QColor(0x10, 0x30, 0x70), std::max(1.0, s / 24)));
    p.setBrush(QColor(0x2E, 0x6B, 0xC6));
    p.drawPolygon(shape);
    return pixmap;
}

QPixmap Outline(int size) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.drawRect(QRectF(size * 0.2, size * 0.1, size * 0.6 - 1, size * 0.8 - 1));
    return pixmap;
}

QPixmap Standard(QStyle::StandardPixmap which, int size) {
    return QApplication::style()->standardIcon(which).pixmap(size, size);
}

}  // namespace

QPixmap PicturePixmap(TPicture picture, int size) {
    switch (picture) {
        case piNone: return Blank(size);
        case piArrowRight: return Arrow(size, true);
        case piArrowLeft: return Arrow(size, false);
        case piHelp: return Standard(QStyle::SP_MessageBoxQuestion, size);
        case piFolderOpen: return Standard(QStyle::SP_DirOpenIcon, size);
        case piFolderClosed: return Standard(QStyle::SP_DirClosedIcon, size);
        case piDocument: return Standard(QStyle::SP_FileIcon, size);
        case piOutline: return Outline(size);
    }
    return Blank(size);
}

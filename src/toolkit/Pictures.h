// The pictures of images, image lists and glyphs, drawn at any size (the
// originals were bitmaps; here they are drawn or taken from the style).
#pragma once

#include <QPixmap>

enum TPicture {
    piNone,
    piArrowRight,   // a broad arrow pointing right
    piArrowLeft,    // the same pointing left
    piHelp,         // a question mark
    piFolderOpen,   // an open folder
    piFolderClosed, // a closed folder
    piDocument,     // a document page
    piOutline,      // a plain outline
};

QPixmap PicturePixmap(TPicture picture, int size);

#pragma once

#include <QColor>
#include <QSize>

#include "CMemDC.h"

// A memory surface holding one image, drawn elsewhere with one colour left
// out (the caption buttons and icon of the main window). In the copy
// operations a right or bottom corner of 0 stands for the image's width or
// height.
class CMemBmpDC : public CMemDC {
  public:
    void SelectImage(const QImage& image);
    // Loads an image resource; a missing one leaves the surface empty.
    bool LoadImageResource(const QString& path);
    // Draws the source corners onto the destination corners leaving out every
    // pixel of the transparent colour.
    void TransparentTo(QPainter& dest, const QRect& destCorners, QRect sourceCorners,
                       QColor transparent) const;
    QSize GetImageSize() const { return Surface().size(); }
};

#include "CMemBmpDC.h"

void CMemBmpDC::SelectImage(const QImage& image) {
    m_dib.Reset(image.convertToFormat(QImage::Format_ARGB32));
}

bool CMemBmpDC::LoadImageResource(const QString& path) {
    ReleaseBitmap();
    return m_dib.Load(path);
}

void CMemBmpDC::TransparentTo(QPainter& dest, const QRect& destCorners, QRect sourceCorners,
                              QColor transparent) const {
    if (Surface().isNull()) {
        return;
    }
    if (sourceCorners.right() < sourceCorners.left()) {
        sourceCorners.setRight(Surface().width() - 1);
    }
    if (sourceCorners.bottom() < sourceCorners.top()) {
        sourceCorners.setBottom(Surface().height() - 1);
    }
    QImage part = Surface().copy(sourceCorners);
    const QRgb key = transparent.rgb();
    for (int y = 0; y < part.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key) {
                line[x] = 0;
            }
        }
    }
    dest.drawImage(destCorners, part);
}

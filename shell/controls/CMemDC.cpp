#include "CMemDC.h"

CMemDC::~CMemDC() = default;

bool CMemDC::Create(int width, int height) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    QImage surface(width, height, QImage::Format_ARGB32);
    surface.fill(Qt::black);
    m_dib.Reset(std::move(surface));
    return true;
}

void CMemDC::StretchFrom(const CMemDC& source, const QRect& destCorners,
                         const QRect& sourceCorners) {
    if (Surface().isNull() || source.Surface().isNull()) {
        return;
    }
    QPainter dc(&Surface());
    // A copy: the source's pixels replace ours (alpha included).
    dc.setCompositionMode(QPainter::CompositionMode_Source);
    dc.setRenderHint(QPainter::SmoothPixmapTransform, false);
    dc.drawImage(destCorners, source.Surface(), sourceCorners);
}

void CMemDC::StretchTo(QPainter& dest, const QRect& destCorners, const QRect& sourceCorners) const {
    if (Surface().isNull()) {
        return;
    }
    dest.drawImage(destCorners, Surface(), sourceCorners);
}

void CMemDC::ReleaseBitmap() {
    m_dib.Reset(QImage());
}

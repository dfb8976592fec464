#pragma once

#include <QPainter>
#include <QRect>

#include "CDib.h"

// A drawing surface in memory with its own image. Rectangles are given by
// their corners (left, top, right, bottom), as the callers work in corners.
class CMemDC {
  public:
    CMemDC() = default;
    virtual ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // A surface of the given size (opaque black until drawn on).
    virtual bool Create(int width, int height);
    // Copies with stretching from another surface's corners into ours; the
    // copied pixels replace ours.
    virtual void StretchFrom(const CMemDC& source, const QRect& destCorners,
                             const QRect& sourceCorners);
    // Copies with stretching from our corners onto a painter.
    virtual void StretchTo(QPainter& dest, const QRect& destCorners,
                           const QRect& sourceCorners) const;
    virtual void ReleaseBitmap();

    QImage& Surface() { return m_dib.Image(); }
    const QImage& Surface() const { return m_dib.Image(); }

    // A rectangle from corners (right and bottom exclusive).
    static QRect FromCorners(int left, int top, int right, int bottom) {
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }

  protected:
    CDib m_dib;
};
